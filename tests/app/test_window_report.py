"""The window writes the same VareloReport.json as varelo-convert for the same options: the same
recording converted by both (the window unattended, with its Options unticked, against
varelo-convert --classic) gives reports that differ only in the paths and the wall time, and the
same EDF+ files.

    test_window_report.py BIN_DIR
"""
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

BIN = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/bin")


class WindowReport(unittest.TestCase):
    def test_the_window_reports_what_the_command_line_reports(self):
        self.maxDiff = None
        with tempfile.TemporaryDirectory(prefix="varelo-window-report-") as work:
            work = pathlib.Path(work)
            # a gap, a label too long for its field and a channel that ends early
            synth = ["--channels", "3", "--names", "CSC1,CSC2,A-label-longer-than-16", "--frequency", "2000",
                     "--duration", "6", "--gap", "4:100000", "--missing-records", "2:1", "--events", "3"]
            for name in ("window", "command"):
                subprocess.run([BIN / "varelo-synth", *synth, work / name], check=True, stdout=subprocess.DEVNULL)
            environment = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=str(work / "config"),
                               XDG_RUNTIME_DIR=str(work))
            window = subprocess.run([BIN / "varelo", "--convert", work / "window", "--screenshot", work / "shot.png"],
                                    env=environment, capture_output=True, text=True)
            self.assertEqual(window.returncode, 0, window.stderr)
            command = subprocess.run([BIN / "varelo-convert", "--classic", "-q", work / "command"],
                                     capture_output=True, text=True)
            self.assertEqual(command.returncode, 0, command.stderr)

            reports = {}
            for name in ("window", "command"):
                text = (work / name / "VareloReport.json").read_text().replace(str(work / name), "RECORDING")
                reports[name] = json.loads(text)
                del reports[name]["wall_time_s"]
                for entry in reports[name]["inputs"]:
                    del entry["modified"]  # the two copies were written one after the other
            self.assertEqual(reports["window"], reports["command"])
            self.assertEqual(len(reports["window"]["outputs"]), 2)
            self.assertIn("Warning", [message["type"] for message in reports["window"]["messages"]])
            for output in reports["window"]["outputs"]:
                name = pathlib.Path(output["file"]).name
                self.assertEqual((work / "window" / name).read_bytes(), (work / "command" / name).read_bytes())


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
