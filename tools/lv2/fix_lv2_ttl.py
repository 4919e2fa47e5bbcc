#!/usr/bin/env python3
"""Corrects the LV2 description JUCE 7.0.5 writes for the plug-in (run after JUCE's manifest
helper, as a post-build step of the LV2 target).

JUCE's writer has these faults, each corrected here:

- Choice parameters get their real range (0 .. number of choices - 1) but scale points at the
  normalised positions (0, 0.5, 1): a host that builds a menu from the labels selects the wrong
  entry. The points are moved to the values that select them (0, 1, 2).
- Switches and choices are typed rdfs:range atom:Float. Hosts read the kind of a parameter
  (patch:writable property) from its range type: atom:Bool is a toggle, atom:Int steps in whole
  numbers (jalv, Ardour, JUCE's own LV2 hosting); lv2:portProperty is read on ports by most of
  them, not on parameters. Switches become atom:Bool; choices become atom:Int and get
  lv2:integer beside lv2:enumeration. The wrapper accepts Bool and Int values in patch:Set
  messages as well as Float, and still reports values as Float, which hosts accept for any
  numeric range.
- The plug-in class is plain lv2:Plugin; ours is an equaliser (lv2:EQPlugin).
- The maintainer's mailbox is written without "mailto:" (a relative IRI).
- A preset is listed for every host program, named after it; a program without a name gives a
  preset with an empty label, which hosts show as a nameless menu entry. Those are dropped. With
  --single-program (a plug-in with one program) every program preset is dropped: loading one
  selects the program that is already selected, so it does nothing, yet a host lists it as if it
  restored something.

usage: fix_lv2_ttl.py [--check] [--single-program] BUNDLE_DIR
  rewrites dsp.ttl and manifest.ttl in place; with --check, changes nothing and fails when the
  bundle's description is not (or no longer) the corrected one.
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
        # JUCE already lists both points (0 and 1) and marks lv2:toggled; only the type is wrong.
        return _typed(block, "atom:Bool")

    lo = re.search(r"lv2:minimum (\S+?)\s*;", block)
    hi = re.search(r"lv2:maximum (\S+?)\s*;", block)
    if lo is None or hi is None:
        raise LayoutError("choice parameter without a range:\n" + block)
    lo, hi = _number(lo.group(1)), _number(hi.group(1))

    values = [float(v) for v in re.findall(r"rdf:value (\S+) ;", block)]
    if len(values) < 2:
        raise LayoutError("choice parameter with fewer than two scale points:\n" + block)
    if values == [lo + i for i in range(len(values))] and "lv2:integer" in block:
        return _typed(block, "atom:Int")  # already corrected
    # JUCE writes point i of n at i / (n - 1); the value that selects choice i is lo + i.
    expected = [i / (len(values) - 1) for i in range(len(values))]
    if any(abs(v - e) > 1e-6 for v, e in zip(values, expected)):
        raise LayoutError("scale points are not at normalised positions:\n" + block)
    if hi - lo != len(values) - 1:
        raise LayoutError("choice range does not hold one integer per scale point:\n" + block)

    points = iter(range(len(values)))
    block = re.sub(r"rdf:value \S+ ;", lambda m: "rdf:value %s ;" % _format(lo + next(points)), block)
    block = re.sub(r"lv2:portProperty lv2:enumeration\s*;", "lv2:portProperty lv2:enumeration , lv2:integer ;", block, count=1)
    return _typed(block, "atom:Int")


def _typed(block, atom_type):
    if re.search(r"rdfs:range %s ;" % atom_type, block):
        return block
    block, count = re.subn(r"rdfs:range atom:Float ;", "rdfs:range %s ;" % atom_type, block)
    if count != 1:
        raise LayoutError("parameter without a float range:\n" + block)
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


def fix_manifest(text, single_program=False):
    statements = text.split("\n\n")

    def dropped(s):
        if not re.search(r"a pset:Preset", s):
            return False
        return re.search(r'rdfs:label ""', s) is not None or (single_program and re.search(r":Program> ", s) is not None)

    kept = [s for s in statements if not dropped(s)]
    text = "\n\n".join(kept)
    return text, len(statements) - len(kept)


def main(argv):
    args = argv[1:]
    check = "--check" in args
    single_program = "--single-program" in args
    args = [a for a in args if a not in ("--check", "--single-program")]
    if len(args) != 1:
        print("usage: fix_lv2_ttl.py [--check] [--single-program] BUNDLE_DIR", file=sys.stderr)
        return 2
    bundle = Path(args[0])
    try:
        dsp = bundle / "dsp.ttl"
        manifest = bundle / "manifest.ttl"
        dsp_text = dsp.read_text(encoding="utf-8")
        manifest_text = manifest.read_text(encoding="utf-8")
        fixed_dsp, parameters = fix_dsp(dsp_text)
        fixed_manifest, dropped = fix_manifest(manifest_text, single_program)
        if check:
            if fixed_dsp != dsp_text or fixed_manifest != manifest_text:
                print("fix_lv2_ttl: %s holds an uncorrected description" % bundle, file=sys.stderr)
                return 1
            print("fix_lv2_ttl: %s is corrected" % bundle)
            return 0
        dsp.write_text(fixed_dsp, encoding="utf-8")
        manifest.write_text(fixed_manifest, encoding="utf-8")
    except (OSError, LayoutError) as e:
        print("fix_lv2_ttl: %s" % e, file=sys.stderr)
        return 1
    print("fix_lv2_ttl: %d switch/choice parameters corrected, %d preset(s) dropped" % (parameters, dropped))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
