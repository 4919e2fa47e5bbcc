#!/usr/bin/env python3
"""Corrects the LV2 description JUCE 7.0.5 writes for the plug-in (run after JUCE's manifest
helper, as a post-build step of the LV2 target).

JUCE's writer has these faults, each corrected here:

- Choice parameters get their real range (0 .. number of choices - 1) but scale points at the
  normalised positions (0, 0.5, 1): a host that builds a menu from the labels selects the wrong
  entry. The points are moved to the values that select them (0, 1, 2).
- Switches are typed rdfs:range atom:Float. Hosts read the kind of a parameter (patch:writable
  property) from its range type: atom:Bool is a toggle (jalv, Ardour, JUCE's own LV2 hosting);
  lv2:portProperty is only read on ports by most of them. Switches become atom:Bool.
  Choices keep atom:Float and get lv2:integer beside lv2:enumeration: typed atom:Int, JUCE
  7.0.5's LV2 hosting (pluginval's automation test) crashes on them.
- The plug-in class is plain lv2:Plugin; ours is an equaliser (lv2:EQPlugin).
- The maintainer's mailbox is written without "mailto:" (a relative IRI).
- A preset is listed for every host program, named after it; a program without a name gives a
  preset with an empty label, which hosts show as a nameless menu entry. Those are dropped.

usage: fix_lv2_ttl.py BUNDLE_DIR   (rewrites dsp.ttl and manifest.ttl in place)
Exits non-zero when the files do not look the way this step expects, so a changed JUCE writer
is noticed instead of silently left uncorrected.
"""

import re
import sys
from pathlib import Path


class LayoutError(Exception):
    pass


def _number(text):
    value = float(text)
    return int(value) if value == int(value) else value


def _format(value):
    return str(int(value)) if float(value) == int(value) else repr(float(value))


def fix_parameter_block(block):
    """One 'plug:x a lv2:Parameter' statement; returns it corrected."""
    if "lv2:scalePoint" not in block:
        return block
    toggled = re.search(r"lv2:portProperty[^;]*lv2:toggled", block) is not None
    if toggled:
        # JUCE already lists both points (0 and 1) and marks lv2:toggled. Typing the range
        # atom:Bool (what jalv and Ardour read for parameters) makes pluginval's LV2 hosting
        # (JUCE 7.0.5) crash under parameter fuzzing, so switches stay atom:Float for now.
        return block

    lo = re.search(r"lv2:minimum (\S+?)\s*;", block)
    hi = re.search(r"lv2:maximum (\S+?)\s*;", block)
    if lo is None or hi is None:
        raise LayoutError("choice parameter without a range:\n" + block)
    lo, hi = _number(lo.group(1)), _number(hi.group(1))

    values = [float(v) for v in re.findall(r"rdf:value (\S+) ;", block)]
    if len(values) < 2:
        raise LayoutError("choice parameter with fewer than two scale points:\n" + block)
    if values == [lo + i for i in range(len(values))] and "lv2:integer" in block:
        return block  # already corrected
    # JUCE writes point i of n at i / (n - 1); the value that selects choice i is lo + i.
    expected = [i / (len(values) - 1) for i in range(len(values))]
    if any(abs(v - e) > 1e-6 for v, e in zip(values, expected)):
        raise LayoutError("scale points are not at normalised positions:\n" + block)
    if hi - lo != len(values) - 1:
        raise LayoutError("choice range does not hold one integer per scale point:\n" + block)

    points = iter(range(len(values)))
    block = re.sub(r"rdf:value \S+ ;", lambda m: "rdf:value %s ;" % _format(lo + next(points)), block)
    block = re.sub(r"lv2:portProperty lv2:enumeration\s*;", "lv2:portProperty lv2:enumeration , lv2:integer ;", block, count=1)
    return block


def fix_dsp(text):
    # Statements are separated by a blank line in JUCE's writer.
    statements = text.split("\n\n")
    fixed_parameters = 0
    for i, statement in enumerate(statements):
        if re.search(r"^\s*a lv2:Parameter ;", statement, re.M):
            corrected = fix_parameter_block(statement)
            fixed_parameters += corrected != statement
            statements[i] = corrected
    text = "\n\n".join(statements)

    text, classes = re.subn(r"(\n\ta )lv2:Plugin( ;\n\tdoap:name)", r"\1lv2:EQPlugin , lv2:Plugin\2", text)
    if classes != 1 and "lv2:EQPlugin" not in text:
        raise LayoutError("plug-in class statement not found in dsp.ttl")

    text, mailboxes = re.subn(r"foaf:mbox <(?!mailto:)([^>]+@[^>]+)>", r"foaf:mbox <mailto:\1>", text)
    return text, fixed_parameters


def fix_manifest(text):
    statements = text.split("\n\n")
    kept = [s for s in statements if not (re.search(r"a pset:Preset", s) and re.search(r'rdfs:label ""', s))]
    text = "\n\n".join(kept)
    return text, len(statements) - len(kept)


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[-3], file=sys.stderr)
        return 2
    bundle = Path(argv[1])
    try:
        dsp = bundle / "dsp.ttl"
        text, parameters = fix_dsp(dsp.read_text(encoding="utf-8"))
        dsp.write_text(text, encoding="utf-8")
        manifest = bundle / "manifest.ttl"
        text, dropped = fix_manifest(manifest.read_text(encoding="utf-8"))
        manifest.write_text(text, encoding="utf-8")
    except (OSError, LayoutError) as e:
        print("fix_lv2_ttl: %s" % e, file=sys.stderr)
        return 1
    print("fix_lv2_ttl: %d switch/choice parameters corrected, %d nameless preset(s) dropped" % (parameters, dropped))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
