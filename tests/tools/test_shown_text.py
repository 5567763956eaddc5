"""What varelo-convert prints and logs is what the recording holds, with its control characters
escaped: an escape sequence in a channel name, an event text or a directory name never reaches
the terminal or the log as one. Names that are not UTF-8 are kept exactly in the report, so that
--skip-converted recognises a recording it converted before.

    test_shown_text.py BIN_DIR
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

BIN = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/bin")
OSC52 = "\x1b]52;c;SGVsbG8=\x07"  # sets the terminal's clipboard when printed raw
RAW_CONTROLS = (b"\x1b", b"\x07", b"\x9b", b"\xc2\x9b")


def synth(directory, *options):
    subprocess.run([str(BIN / "varelo-synth"), "--channels", "2", "--duration", "1", *options, directory],
                   check=True, stdout=subprocess.DEVNULL)


def convert(*arguments):
    return subprocess.run([os.fsencode(BIN / "varelo-convert"), *map(os.fsencode, arguments)], capture_output=True)


class ShownText(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory(prefix="varelo-shown-")
        self.root = pathlib.Path(self.work.name)

    def tearDown(self):
        self.work.cleanup()

    def assertNoRawControls(self, what, data):
        for control in RAW_CONTROLS:
            self.assertNotIn(control, data, f"{what}: {data!r}")

    def test_escape_sequences_are_shown_escaped(self):
        cases = [
            # (recording directory name, varelo-synth options, text the log must show)
            ("channel", ["--names", "CSC1" + OSC52 + ",CSC2"],
             b"CSC1\\x1b]52;c;SGVsbG8=\\x07"),
            ("event", ["--event", "1:" + OSC52 + "\u009b2J"], None),
            ("rec" + OSC52, [], b"rec\\x1b]52;c;SGVsbG8=\\x07"),
            ("csi\u009b2J", [], b"csi\\x9b2J"),
        ]
        for number, (name, options, shown) in enumerate(cases):
            with self.subTest(name=name):
                tree = self.root / f"tree{number}"
                recording = tree / name
                synth(recording, *options)
                for arguments in (["-r", tree], ["-r", "-j", "2", tree], ["--list", "-r", tree], [recording]):
                    run = convert(*arguments)
                    self.assertEqual(run.returncode, 0, run.stderr)
                    self.assertNoRawControls(f"stdout of {arguments}", run.stdout)
                    self.assertNoRawControls(f"stderr of {arguments}", run.stderr)
                    log = (recording / "VareloLogFile.txt").read_bytes()
                    self.assertNoRawControls("log", log)
                    if shown is not None and arguments[0] != "--list":
                        self.assertIn(shown, log)
                        self.assertIn(shown, run.stdout)
                    for edf in recording.glob("*.edf"):
                        edf.unlink()
                report = json.loads((recording / "VareloReport.json").read_text())
                if name == "event":  # before the first sample: in no file, listed as it is
                    self.assertEqual(report["events_left_out_list"],
                                     [{"timestamp_us": 1, "text": OSC52 + "\u009b2J"}])

    def test_latin1_names_are_kept_exactly_and_skipped_the_second_time(self):
        tree = self.root / "tree"
        recording = os.fsencode(tree) + b"/caf\xe9"
        synth(os.fsdecode(recording))
        os.rename(recording + b"/CSC1.ocs", recording + b"/\xe9l\xe9ment.ocs")
        out = self.root / "out"
        runs = []
        for number in (1, 2):
            runs.append(convert("-r", "-o", out, "--skip-converted", "--report", self.root / f"run{number}.jsonl",
                                tree))
            self.assertEqual(runs[-1].returncode, 0, runs[-1].stderr)
        first, second = (json.loads((self.root / f"run{n}.jsonl").read_text()) for n in (1, 2))
        self.assertEqual(first["result"], "complete")
        self.assertEqual(second["result"], "skipped", second)
        self.assertIn(b"Skipping " + os.fsencode(tree) + b"/caf\\xe9: its last conversion completed", runs[1].stdout)
        self.assertNoRawControls("stdout", runs[0].stdout + runs[1].stdout)
        # The text with U+FFFD for display, the exact bytes in hex beside it.
        self.assertEqual(first["recording"], os.fsencode(tree).decode() + "/caf\ufffd")
        self.assertEqual(bytes.fromhex(first["recording_bytes"]), recording)
        kept = {bytes.fromhex(entry["file_bytes"]) if "file_bytes" in entry else os.fsencode(entry["file"])
                for entry in first["inputs"]}
        self.assertEqual(kept, {recording + b"/\xe9l\xe9ment.ocs", recording + b"/CSC2.ocs",
                                recording + b"/Events.oev"})
        self.assertNotIn("output_dir_bytes", first["options"])  # a UTF-8 path has its text only
        # A changed file is converted again.
        os.utime(recording + b"/CSC2.ocs", ns=(0, 0))
        third = convert("-r", "-o", out, "--skip-converted", "--report", self.root / "run3.jsonl", tree)
        self.assertEqual(third.returncode, 0, third.stderr)
        self.assertEqual(json.loads((self.root / "run3.jsonl").read_text())["result"], "complete")


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
