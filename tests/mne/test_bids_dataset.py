"""varelo-convert --bids: a dataset of 2 subjects x 2 sessions, written in one run with -j 2, checked
by the BIDS validator (npm's bids-validator, which scripts/setup installs) and read back by MNE.

Every channels.tsv must list its EDF+ file's channels in order with their rate and unit, every
events.tsv the events that MNE reads from the file's annotations (onset within 1 µs, text). A
second conversion into the dataset must add files without changing a byte of those there (the
tables only grow); one whose run exists already, and usage errors, must write nothing. Exits with
77 (skipped) where MNE or the validator is missing, except in CI (CI=true), where that fails.
"""
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile
import unittest

BIN = pathlib.Path(os.environ.get("VARELO_BIN", "build/bin"))
CACHE = pathlib.Path(os.environ.get("XDG_CACHE_HOME", pathlib.Path.home() / ".cache"))
VALIDATOR = os.environ.get("VARELO_BIDS_VALIDATOR") or shutil.which("bids-validator") or str(
    CACHE / "varelo/bids-validator/node_modules/.bin/bids-validator")
WALL_CLOCK = 1_500_000_000_123_457  # µs: 2017-07-14T02:40:00.123457 UTC
RECORDINGS = {  # path below the archive: varelo-synth options
    "sub-01/ses-01": ["--channels", "3", "--frequency", "2000", "--duration", "3", "--gap", "3:500000",
                      "--events", "6", f"--first-timestamp={WALL_CLOCK}"],
    "sub-01/ses-02": ["--channels", "2", "--frequency", "1000", "--duration", "2", "--events", "3"],
    "sub-02/ses-01": ["--channels", "2", "--frequency", "1000", "--duration", "2", "--no-event-file"],
    "sub-02/ses-02": ["--channels", "4", "--frequency", "30000", "--duration", "1", "--events", "2",
                      "--channel-rate=3:2000", "--channel-rate=4:2000"],  # channels of two rates in one file
}


def run(*arguments):
    return subprocess.run([str(a) for a in arguments], capture_output=True, text=True)


def snapshot(root):
    return {p.relative_to(root): p.read_bytes() for p in sorted(root.rglob("*")) if p.is_file()}


def header_rates(edf):
    """Each signal's rate as the EDF header gives it: samples per data record / record duration."""
    header = edf.read_bytes()
    count = int(header[252:256])
    duration = float(header[244:252])
    start = 256 + count * (16 + 80 + 8 + 8 + 8 + 8 + 8 + 80)
    return [int(header[start + 8 * s:start + 8 * s + 8]) / duration for s in range(count - 1)]  # no annotations


def table(path):
    header, *rows = [line.split("\t") for line in path.read_text(encoding="utf-8").splitlines()]
    return [dict(zip(header, row)) for row in rows]


class BidsDataset(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.TemporaryDirectory(prefix="varelo-bids-")
        cls.archive = pathlib.Path(cls.work.name) / "archive"
        for path, options in RECORDINGS.items():
            done = run(BIN / "varelo-synth", *options, cls.archive / path)
            assert done.returncode == 0, done.stderr
        cls.root = pathlib.Path(cls.work.name) / "dataset"
        cls.converted = run(BIN / "varelo-convert", "-q", "-r", "-j", "2", "--bids", cls.root, "--task", "rest",
                            "--bids-pattern", "sub-{subject}/ses-{session}", "--line-frequency", "50",
                            "--channel-type", "CSC1=ECOG", cls.archive)

    @classmethod
    def tearDownClass(cls):
        cls.work.cleanup()

    def test_validator_finds_no_error(self):
        self.assertEqual(self.converted.returncode, 0, self.converted.stderr)
        checked = run(VALIDATOR, "--json", self.root)
        issues = json.loads(checked.stdout)["issues"]
        self.assertEqual([e["key"] for e in issues["errors"]], [], checked.stdout)
        # the warnings that README.md lists, and no other
        self.assertLessEqual({w["key"] for w in issues["warnings"]}, {"INCONSISTENT_SUBJECTS", "NO_AUTHORS"})

    def test_sidecars_match_the_edf_files_as_mne_reads_them(self):
        mixed = self.root / "sub-02/ses-02/ieeg/sub-02_ses-02_task-rest_run-1_channels.tsv"
        self.assertEqual([c["sampling_frequency"] for c in table(mixed)], ["30000", "30000", "2000", "2000"])
        edf_files = sorted(self.root.glob("sub-*/ses-*/ieeg/*_ieeg.edf"))
        # the recording with a gap gives two runs (and a second conversion of it may have added two)
        self.assertIn(self.root / "sub-01/ses-01/ieeg/sub-01_ses-01_task-rest_run-2_ieeg.edf", edf_files)
        self.assertIn(len(edf_files), (5, 7))
        for edf in edf_files:
            with self.subTest(edf=edf.name):
                raw = mne.io.read_raw_edf(edf, verbose="error")
                stem = str(edf)[: -len("_ieeg.edf")]
                channels = table(pathlib.Path(stem + "_channels.tsv"))
                self.assertEqual([c["name"] for c in channels], raw.ch_names)
                rates = [float(c["sampling_frequency"]) for c in channels]
                self.assertEqual(rates, header_rates(edf))
                self.assertEqual(max(rates), raw.info["sfreq"])  # MNE reads every channel at the highest rate
                self.assertEqual([c["units"] for c in channels], [raw._orig_units[name] for name in raw.ch_names])
                self.assertEqual(channels[0]["type"], "ECOG")
                self.assertEqual({c["type"] for c in channels[1:]}, {"SEEG"})
                read = [(onset, text) for onset, text in zip(raw.annotations.onset, raw.annotations.description)
                        if text not in ("Recording starts", "Recording ends")]
                events = table(pathlib.Path(stem + "_events.tsv"))
                self.assertEqual([e["trial_type"] for e in events], [text for _, text in read])
                for event, (onset, _) in zip(events, read):
                    self.assertLessEqual(abs(float(event["onset"]) - onset), 1e-6)
                    self.assertEqual(int(event["sample"]), round(float(event["onset"]) * raw.info["sfreq"]))
                sidecar = json.loads(pathlib.Path(stem + "_ieeg.json").read_text())
                self.assertEqual(sidecar["SamplingFrequency"], raw.info["sfreq"])
                second = "ses-01_task-rest_run-3" in edf.name or "ses-01_task-rest_run-4" in edf.name
                self.assertEqual(sidecar["PowerLineFrequency"], "n/a" if second else 50)  # no --line-frequency
                self.assertAlmostEqual(sidecar["RecordingDuration"], raw.n_times / raw.info["sfreq"], places=6)
        scans = table(self.root / "sub-01/ses-01/sub-01_ses-01_scans.tsv")
        self.assertEqual([s["filename"] for s in scans][:2], ["ieeg/sub-01_ses-01_task-rest_run-1_ieeg.edf",
                                                          "ieeg/sub-01_ses-01_task-rest_run-2_ieeg.edf"])
        self.assertEqual(scans[0]["acq_time"], "2017-07-14T02:40:00.123457")

    def test_second_run_adds_and_a_colliding_one_writes_nothing(self):
        before = snapshot(self.root)
        again = ["--bids", self.root, "--subject", "01", "--session", "01", "--task", "rest",
                 "--channel-type", "CSC1=ECOG", self.archive / "sub-01/ses-01"]
        collide = run(BIN / "varelo-convert", "--run", "2", *again)
        self.assertEqual(collide.returncode, 1)
        self.assertIn("run 2 of sub-01_ses-01_task-rest exists already", collide.stderr)
        self.assertEqual(snapshot(self.root), before)
        added = run(BIN / "varelo-convert", "-q", *again)
        self.assertEqual(added.returncode, 0, added.stderr)
        after = snapshot(self.root)
        for path, data in before.items():
            self.assertTrue(after[path].startswith(data) if path.suffix == ".tsv" else after[path] == data, path)
        self.assertIn(pathlib.Path("sub-01/ses-01/ieeg/sub-01_ses-01_task-rest_run-4_ieeg.edf"), after)
        self.assertEqual(after[pathlib.Path("participants.tsv")], b"participant_id\nsub-01\nsub-02\n")

    def test_skip_converted_passes_over_what_the_dataset_holds(self):
        before = sorted(self.root.rglob("*")), snapshot(self.root)
        again = run(BIN / "varelo-convert", "-r", "--skip-converted", "--bids", self.root, "--task", "rest",
                    "--bids-pattern", "sub-{subject}/ses-{session}", "--line-frequency", "50",
                    "--channel-type", "CSC1=ECOG", self.archive)
        self.assertEqual(again.returncode, 0, again.stderr)
        self.assertEqual(again.stdout.count("Skipping "), len(RECORDINGS), again.stdout)
        self.assertEqual((sorted(self.root.rglob("*")), snapshot(self.root)), before)

    def test_usage_errors_name_the_option_and_write_nothing(self):
        root = pathlib.Path(self.work.name) / "never"
        recording = self.archive / "sub-01/ses-02"
        for options, named in [(["--subject", "0_1", "--task", "rest"], "--subject 0_1: not a BIDS label"),
                               (["--subject", "01"], "--bids needs --task"),
                               (["--task", "rest"], "--bids needs --subject"),
                               (["--subject", "01", "--task", "rest", "--split", "60"], "--split is not for --bids"),
                               (["--subject", "01", "--task", "rest", "--line-frequency", "55"],
                                "--line-frequency 55: expected 50 or 60"),
                               (["--subject", "01", "--task", "rest", "--channel-type", "CSC1=BRAIN"],
                                "--channel-type CSC1=BRAIN: \"BRAIN\" is not a BIDS channel type")]:
            with self.subTest(options=options):
                done = run(BIN / "varelo-convert", "--bids", root, *options, recording)
                self.assertEqual(done.returncode, 2)
                self.assertIn(named, done.stderr.splitlines()[0])
                self.assertFalse(root.exists())


if __name__ == "__main__":
    try:
        import mne
    except ImportError:
        sys.exit(77)
    if not os.access(VALIDATOR, os.X_OK):
        print(f"the BIDS validator is not installed at {VALIDATOR}: run scripts/setup")
        sys.exit(1 if os.environ.get("CI") == "true" else 77)
    unittest.main()
