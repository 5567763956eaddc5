"""Input that the EDF+ files do not hold is told, in both modes, by one Warning per kind, with the
files concerned and how much, and listed in the report; a recording without such loss gets none.

    test_losses.py BIN_DIR
"""
import json
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

BIN = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/bin")
BASE = ["--channels", "3", "--duration", "2", "--events", "4"]  # 32 kHz: 125 records of 512 samples


def copy_events(directory):
    shutil.copy(directory / "Events.oev", directory / "Later.oev")


# (what, synth options, change to the recording, Warning texts with {d} for the directory,
#  report entries: key -> value)
CASES = [
    ("clean", [], None, [], {"channels_cut": [], "partial_records_ignored": [], "event_files_not_used": []}),
    # the last 5 records of CSC2 missing: 2,560 samples of CSC1 and CSC3 at 32 kHz are 0.08 s
    ("unequal length", ["--missing-records", "2:5"], None,
     ["Channels of unequal length: 2 channels hold samples that the other channels lack, which are in no EDF+ "
      "file: CSC1 ({d}/CSC1.ocs) 2560 samples, 0.08 s; CSC3 ({d}/CSC3.ocs) 2560 samples, 0.08 s."],
     {"channels_cut": [
         {"file": "{d}/CSC1.ocs", "channel": "CSC1", "samples": 2560, "seconds": 0.08},
         {"file": "{d}/CSC3.ocs", "channel": "CSC3", "samples": 2560, "seconds": 0.08}]}),
    # 500 bytes of one more record: its 20-byte head and 240 samples
    ("partial last record", ["--truncate-last", "3:500"], None,
     ["1 file ends in a partial record, which is ignored: {d}/CSC3.ocs 500 bytes (240 samples, 0.0075 s)."],
     {"partial_records_ignored": [
         {"file": "{d}/CSC3.ocs", "channel": "CSC3", "samples": 240, "seconds": 0.0075, "bytes": 500}],
      "channels_cut": []}),
    ("second event file", [], copy_events,
     ["1 event file is not used: only the first, {d}/Events.oev, gives the annotations. Not used: "
      "{d}/Later.oev."],
     {"event_files_not_used": ["{d}/Later.oev"]}),
]


def filled(value, directory):
    return json.loads(json.dumps(value).replace("{d}", str(directory)))


class Losses(unittest.TestCase):
    def test_each_loss_has_its_warning_and_report_entry(self):
        with tempfile.TemporaryDirectory(prefix="varelo-losses-") as work:
            for what, options, change, warnings, entries in CASES:
                for mode in (["--classic"], []):
                    with self.subTest(what=what, mode=mode):
                        directory = pathlib.Path(work) / f"{what}{len(mode)}".replace(" ", "-")
                        subprocess.run([BIN / "varelo-synth", *BASE, *options, directory], check=True,
                                       stdout=subprocess.DEVNULL)
                        if change:
                            change(directory)
                        run = subprocess.run([BIN / "varelo-convert", *mode, directory], capture_output=True,
                                             text=True)
                        self.assertEqual(run.returncode, 0, run.stdout)
                        printed = [line.split(" - ", 1)[1] for line in run.stdout.splitlines()
                                   if line.startswith("-* WARNING *-")]
                        self.assertEqual(printed, filled(warnings, directory))
                        report = json.loads((directory / "VareloReport.json").read_text())
                        for key, value in filled(entries, directory).items():
                            self.assertEqual(report[key], value, key)
                        messages = [m["text"] for m in report["messages"] if m["type"] == "Warning"]
                        self.assertEqual(messages, printed)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
