#!/usr/bin/python3
"""Copies and subsets the editor's fonts into resources/editor/fonts/.

Sources are Debian packages (installed by scripts/setup-tools):
  fonts-play      Play Regular / Bold (SIL OFL 1.1), copied unchanged
  fonts-noto-cjk  Noto Sans CJK JP Regular (SIL OFL 1.1), subset for the Japanese help texts
  kanjidic        only read here, to list the Joyo kanji (grades 1-8)

The Japanese face keeps ASCII, Latin-1, general punctuation, arrows, CJK symbols and
punctuation, hiragana, katakana, half-/full-width forms, the Joyo kanji and the JIS X 0208
level-1 kanji (which holds nearly all of them plus the common non-Joyo ones). The output is
deterministic: fontTools does not stamp the time when subsetting.

Run:  /usr/bin/python3 tools/artwork/make_fonts.py
"""
import hashlib
import os
import re
import shutil
import sys

from fontTools import subset

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
OUT = os.path.join(ROOT, "resources", "editor", "fonts")

PLAY_DIR = "/usr/share/fonts/truetype/play"
NOTO_CJK = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
NOTO_CJK_JP_INDEX = 0  # face 0 of the collection is "Noto Sans CJK JP"
KANJIDIC = "/usr/share/edict/kanjidic"
JP_OUT_NAME = "NotoSansCJKjpRegularSubset.otf"  # CFF outlines, hence .otf

LICENCES = {
    "LICENSE-Play.txt": "/usr/share/doc/fonts-play/copyright",
    "LICENSE-NotoSansCJK.txt": "/usr/share/doc/fonts-noto-cjk/copyright",
}

# Code point ranges kept in the Japanese subset.
RANGES = [
    (0x0020, 0x007E),  # ASCII
    (0x00A0, 0x00FF),  # Latin-1 supplement (°, ±, ×, ...)
    (0x2010, 0x206F),  # general punctuation (dashes, quotes, ellipsis, ‰)
    (0x2100, 0x214F),  # letterlike symbols (℃, №)
    (0x2190, 0x21FF),  # arrows
    (0x2200, 0x22FF),  # mathematical operators (≤, ≥, ≈, −)
    (0x2460, 0x24FF),  # enclosed numbers (①)
    (0x25A0, 0x25FF),  # geometric shapes (▲▼●○■□)
    (0x3000, 0x303F),  # CJK symbols and punctuation (、。「」々〜)
    (0x3040, 0x309F),  # hiragana
    (0x30A0, 0x30FF),  # katakana
    (0x31F0, 0x31FF),  # katakana phonetic extensions
    (0xFF00, 0xFFEF),  # half-width and full-width forms
]

# Joyo kanji of the 2010 list that lie outside JIS X 0208 and so are missing from kanjidic.
EXTRA_JOYO = "\U00020B9F塡剝頰"


def joyo_kanji():
    text = open(KANJIDIC, "rb").read().decode("euc_jp")
    chars = set()
    for line in text.splitlines()[1:]:
        m = re.search(r" G(\d+) ", line)
        if m and int(m.group(1)) <= 8:
            chars.add(line[0])
    if len(chars) < 2100:
        sys.exit("kanjidic lists only %d Joyo kanji; wrong file?" % len(chars))
    return chars | set(EXTRA_JOYO)


def jis_level1_kanji():
    chars = set()
    for hi in range(0xB0, 0xD0):
        for lo in range(0xA1, 0xFF):
            try:
                chars.add(bytes([hi, lo]).decode("euc_jp"))
            except UnicodeDecodeError:
                pass
    return chars


def code_points():
    cps = set()
    for a, b in RANGES:
        cps.update(range(a, b + 1))
    cps.update(ord(c) for c in joyo_kanji() | jis_level1_kanji())
    return sorted(cps)


def sha(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()[:16]


def main():
    os.makedirs(OUT, exist_ok=True)
    for style in ("Regular", "Bold"):
        shutil.copyfile(os.path.join(PLAY_DIR, "Play-%s.ttf" % style),
                        os.path.join(OUT, "Play%s.ttf" % style))
    for name, src in LICENCES.items():
        shutil.copyfile(src, os.path.join(OUT, name))

    cps = code_points()
    jp_out = os.path.join(OUT, JP_OUT_NAME)
    args = [
        NOTO_CJK,
        "--font-number=%d" % NOTO_CJK_JP_INDEX,
        "--unicodes=" + ",".join("%04X" % c for c in cps),
        "--layout-features+=palt,halt,vert,vrt2",
        "--name-IDs=*",
        "--name-languages=*",
        "--notdef-outline",
        "--no-hinting",  # the editor draws glyph outlines itself; hints are never used
        "--output-file=" + jp_out,
    ]
    subset.main(args)
    for f in sorted(os.listdir(OUT)):
        p = os.path.join(OUT, f)
        print("%-34s %9d  %s" % (f, os.path.getsize(p), sha(p)))
    print("Japanese subset: %d code points requested" % len(cps))


if __name__ == "__main__":
    main()
