#!/usr/bin/env python3
"""Unit test of tools/lv2/fix_lv2_ttl.py on a small bundle written the way JUCE 7.0.5 does."""

import re
import shutil
import subprocess
import sys
import tempfile
import unittest
from pathlib import Path

HERE = Path(__file__).resolve().parent
SCRIPT = HERE.parents[1] / "tools" / "lv2" / "fix_lv2_ttl.py"


def statement(text, subject):
    for s in text.split("\n\n"):
        if s.startswith(subject + "\n"):
            return s
    raise AssertionError("no statement for " + subject)


def scale_points(block):
    return [(label, float(value)) for label, value in re.findall(r'rdfs:label "([^"]*)" ;\s*rdf:value (\S+) ;', block)]


class FixTurtle(unittest.TestCase):
    def setUp(self):
        self.dir = Path(tempfile.mkdtemp())
        for name in ("dsp.ttl", "manifest.ttl"):
            shutil.copy(HERE / "fixture" / name, self.dir / name)

    def tearDown(self):
        shutil.rmtree(self.dir)

    def run_fix(self, *options):
        return subprocess.run([sys.executable, str(SCRIPT), *options, str(self.dir)], capture_output=True, text=True)

    def test_corrects_the_description(self):
        self.assertEqual(self.run_fix().returncode, 0)
        dsp = (self.dir / "dsp.ttl").read_text()
        # A choice of four over 0..3: each label at the integer that selects it.
        shape = statement(dsp, "plug:shape")
        self.assertEqual(scale_points(shape), [("Sine", 0), ("Triangle", 1), ("Square", 2), ("Saw", 3)])
        self.assertIn("rdfs:range atom:Int ;", shape)
        self.assertRegex(shape, r"lv2:portProperty lv2:enumeration , lv2:integer ;")
        self.assertIn("lv2:default 2 ;", shape)
        # A switch keeps its points, which were already right, and is typed as a toggle.
        power = statement(dsp, "plug:power")
        self.assertEqual(scale_points(power), [("Off", 0), ("On", 1)])
        self.assertIn("rdfs:range atom:Bool ;", power)
        # A continuous parameter is left alone.
        self.assertEqual(statement(dsp, "plug:level"), statement((HERE / "fixture" / "dsp.ttl").read_text(), "plug:level"))
        # Class and mailbox.
        plugin = statement(dsp, "<https://example.org/plugins/fixture>")
        self.assertRegex(plugin, r"\n\ta lv2:EQPlugin , lv2:Plugin ;")
        self.assertIn("foaf:mbox <mailto:help@example.org> ;", plugin)
        self.assertIn("foaf:homepage <https://example.org> ;", plugin)
        # The nameless preset is gone, the named one stays.
        manifest = (self.dir / "manifest.ttl").read_text()
        self.assertNotIn('rdfs:label ""', manifest)
        self.assertNotIn("fixture:preset1>", manifest)
        self.assertIn('rdfs:label "Warm"', manifest)

    def test_the_programs_of_a_single_program_plugin_are_no_presets(self):
        self.assertEqual(self.run_fix("--single-program").returncode, 0)
        fixed = (self.dir / "manifest.ttl").read_text()
        self.assertNotIn("pset:Preset", fixed)
        self.assertIn("<https://example.org/plugins/fixture>", fixed)
        self.assertEqual(self.run_fix("--check", "--single-program").returncode, 0)

    def test_running_twice_changes_nothing_more(self):
        self.assertEqual(self.run_fix().returncode, 0)
        once = [(self.dir / n).read_text() for n in ("dsp.ttl", "manifest.ttl")]
        self.assertEqual(self.run_fix().returncode, 0)
        self.assertEqual([(self.dir / n).read_text() for n in ("dsp.ttl", "manifest.ttl")], once)

    def test_check_tells_a_corrected_bundle_from_an_uncorrected_one(self):
        self.assertNotEqual(self.run_fix("--check").returncode, 0)
        self.assertEqual(self.run_fix().returncode, 0)
        self.assertEqual(self.run_fix("--check").returncode, 0)

    def test_unexpected_layout_fails_loudly(self):
        dsp = self.dir / "dsp.ttl"
        dsp.write_text(dsp.read_text().replace("rdf:value 0.333333 ;", "rdf:value 0.25 ;"))
        result = self.run_fix()
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("scale points", result.stderr)


if __name__ == "__main__":
    unittest.main()
