"""varelo-convert on whole trees of recordings: output directories, parallel jobs, reruns that
skip what is converted, reports, interruptions and the Slurm array script.

    test_batch.py BIN_DIR SCRIPTS_DIR
"""
import json
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time
import unittest

BIN = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/bin")
SCRIPTS = pathlib.Path(sys.argv[2] if len(sys.argv) > 2 else "scripts")
NOBODY = 65534


def synth(directory, *options):
    subprocess.run([BIN / "varelo-synth", "--channels", "2", "--duration", "1", "--events", "3", *options, directory],
                   check=True, stdout=subprocess.DEVNULL)


def convert(*arguments, user=None):
    command = [str(BIN / "varelo-convert"), *map(str, arguments)]
    if user is not None:
        command = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups", *command]
    return subprocess.run(command, capture_output=True, text=True)


def report(directory):
    return json.loads((pathlib.Path(directory) / "VareloReport.json").read_text())


def comparable(entry, out):
    """A report without what differs from run to run: times, the output root, the job count."""
    entry = json.loads(json.dumps(entry).replace(str(out), "OUT"))
    entry.pop("wall_time_s")
    entry["options"].pop("jobs")
    return entry


def edf_files(root):
    return {str(p.relative_to(root)): p.read_bytes() for p in sorted(pathlib.Path(root).rglob("*.edf"))}


class Batch(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory(prefix="varelo-batch-")
        self.root = pathlib.Path(self.work.name)
        os.chmod(self.root, 0o755)

    def tearDown(self):
        for path in self.root.rglob("*"):  # give back what a test took away, so that it can go
            if path.is_dir() and not path.is_symlink():
                os.chmod(path, 0o755)
        self.work.cleanup()

    def test_read_only_tree_into_an_output_directory(self):
        tree = self.root / "archive"
        for name in ("day1/rec1", "day1/rec2", "day2/rec1"):
            synth(tree / name)
        for path in [tree, *tree.rglob("*")]:
            os.chmod(path, 0o555 if path.is_dir() else 0o444)
        out = self.root / "out"
        as_root = os.geteuid() == 0
        if as_root:  # root may write anywhere: the run must be a user that may only read the tree
            out.mkdir()
            os.chmod(out, 0o777)
        run = convert("-q", "-r", "-o", out, tree, user=NOBODY if as_root else None)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout, "".join(f"{tree / name}: Conversion Complete\n"
                                             for name in ("day1/rec1", "day1/rec2", "day2/rec1")))
        for name in ("day1/rec1", "day1/rec2", "day2/rec1"):
            self.assertEqual(sorted(p.name for p in (out / name).iterdir()),
                             ["DevOutput_run01_seg1of1.edf", "VareloLogFile.txt", "VareloReport.json"])
            self.assertEqual(report(out / name)["result"], "complete")
        self.assertEqual(list(tree.rglob("*.edf")) + list(tree.rglob("*.txt")), [])

    def test_two_jobs_write_what_one_job_writes(self):
        tree = self.root / "tree"
        for i in range(20):
            synth(tree / f"session{i:02}", "--seed", str(i + 1), *(["--gap", "20:100000"] if i % 3 == 0 else []))
        (tree / "session07" / "CSC2.ocs").write_bytes(b"no header")  # one that fails
        results = {}
        for jobs in (1, 2):
            out = self.root / f"out{jobs}"
            run = convert("-r", "-j", jobs, "-o", out, "--report", self.root / f"batch{jobs}.jsonl", tree)
            self.assertEqual(run.returncode, 1)
            lines = [json.loads(line) for line in (self.root / f"batch{jobs}.jsonl").read_text().splitlines()]
            results[jobs] = (edf_files(out), [comparable(line, out) for line in lines],
                             [line.split(" - ", 1)[-1].replace(str(out), "OUT") for line in run.stdout.splitlines()])
        self.assertEqual(len(results[1][1]), 20)
        self.assertEqual(results[1][0], results[2][0])
        self.assertEqual(results[1][1], results[2][1])
        self.assertEqual(results[1][2], results[2][2])  # the same lines, in the same order

    def test_rerun_converts_only_what_is_new_or_changed(self):
        tree = self.root / "tree"
        for name in ("a", "b", "c"):
            synth(tree / name)
        out = self.root / "out"
        self.assertEqual(convert("-q", "-r", "-o", out, "--skip-converted", tree).returncode, 0)
        synth(tree / "d")
        os.utime(tree / "b" / "CSC1.ocs", (1, 1))  # changed since
        run = convert("-r", "-o", out, "--skip-converted", "--report", self.root / "rerun.jsonl", tree)
        self.assertEqual(run.returncode, 0, run.stderr)
        results = {pathlib.Path(line["recording"]).name: line["result"]
                   for line in map(json.loads, (self.root / "rerun.jsonl").read_text().splitlines())}
        self.assertEqual(results, {"a": "skipped", "b": "complete", "c": "skipped", "d": "complete"})
        self.assertEqual(sorted(p.name for p in (out / "b").glob("*.edf")),
                         ["DevOutput_run01_seg1of1.edf", "DevOutput_run02_seg1of1.edf"])
        self.assertEqual(sorted(p.name for p in (out / "a").glob("*.edf")), ["DevOutput_run01_seg1of1.edf"])

    def test_interrupted_run_resumes(self):
        tree = self.root / "tree"
        for name in ("a", "b"):
            # long enough that the conversions are still under way when the signal comes
            subprocess.run([BIN / "varelo-synth", "--channels", "32", "--duration", "60", tree / name], check=True,
                           stdout=subprocess.DEVNULL)
        out = self.root / "out"
        command = [str(BIN / "varelo-convert"), "-q", "-r", "-j", "2", "-o", str(out), "--skip-converted", str(tree)]
        process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        while not any(p.name.endswith(".edf.partial") for p in out.rglob("*")):  # the conversions are under way
            self.assertIsNone(process.poll(), "the batch ended before it could be interrupted")
            time.sleep(0.0005)
        process.send_signal(signal.SIGINT)
        output, errors = process.communicate()
        self.assertEqual(process.returncode, 1)
        self.assertIn("interrupted", errors)
        interrupted = [report(out / name) for name in ("a", "b") if (out / name / "VareloReport.json").exists()]
        self.assertTrue(interrupted)
        for entry in interrupted:
            self.assertEqual(entry["result"], "failed")
            unfinished = entry["outputs"][-1]
            self.assertFalse(unfinished["complete"] or unfinished["named"])
            # left under its unfinished name, with as many records as the report says
            self.assertTrue(unfinished["file"].endswith(".edf.partial"), unfinished["file"])
            self.assertEqual(int(pathlib.Path(unfinished["file"]).read_bytes()[236:244]), unfinished["records"])
            self.assertIn("Conversion interrupted: the run was asked to stop.",
                          [m["text"] for m in entry["messages"]])
        self.assertEqual(subprocess.run(command, capture_output=True).returncode, 0)
        for name in ("a", "b"):
            self.assertEqual(report(out / name)["result"], "complete")

    def test_failing_recording_names_its_error(self):
        tree = self.root / "tree"
        synth(tree / "good")
        synth(tree / "bad", "--uuid", "session-a", "--channel-uuid", "2:session-b")
        run = convert("-q", "-r", "-o", self.root / "out", "--report", self.root / "batch.jsonl", tree)
        self.assertEqual(run.returncode, 1)
        lines = [json.loads(line) for line in (self.root / "batch.jsonl").read_text().splitlines()]
        self.assertEqual([pathlib.Path(line["recording"]).name for line in lines], ["bad", "good"])
        self.assertEqual(lines[0]["result"], "failed")
        bad = tree / "bad"
        self.assertEqual(lines[0]["messages"][-2:], [
            {"type": "Error", "text": "Error, Session UUIDs do not match between CSC files.  Current UUID: session-b, "
                                      "Previous UUID: session-a"},
            {"type": "Error", "text": f"{bad}/CSC2.ocs: its -SessionUUID differs from that of {bad}/CSC1.ocs."}])
        self.assertEqual(report(self.root / "out" / "bad"), lines[0])

    def test_slurm_array_converts_one_recording_per_task(self):
        tree = self.root / "tree"
        for name in ("x/1", "x/2", "y"):
            synth(tree / name)
        listing = convert("--list", tree)
        (self.root / "list.txt").write_text(listing.stdout)
        out = self.root / "out"
        environment = dict(os.environ, VARELO_CONVERT=str(BIN / "varelo-convert"), VARELO_OPTIONS="-q")
        for task in (1, 2, 3, 2):  # task 2 once more, as a rerun of the array would
            run = subprocess.run([SCRIPTS / "slurm-convert", self.root / "list.txt", tree, out], capture_output=True,
                                 text=True, env=dict(environment, SLURM_ARRAY_TASK_ID=str(task)))
            self.assertEqual(run.returncode, 0, run.stderr)
        subprocess.run([SCRIPTS / "slurm-convert", "--merge", out], check=True, capture_output=True)
        merged = [json.loads(line) for line in (out / "report.jsonl").read_text().splitlines()]
        self.assertEqual([(pathlib.Path(m["output_directory"]).relative_to(out).as_posix(), m["result"]) for m in merged],
                         [("x/1", "complete"), ("x/2", "complete"), ("x/2", "skipped"), ("y", "complete")])
        self.assertEqual(sorted(edf_files(out)), ["x/1/DevOutput_run01_seg1of1.edf", "x/2/DevOutput_run01_seg1of1.edf",
                                                  "y/DevOutput_run01_seg1of1.edf"])

    def test_reports_name_the_samples_clipped_and_the_texts_cut(self):
        # CSC2's header says its samples reach 1,000 at most, but they do not stay within it; one
        # event text is longer than 40 bytes. --classic clips and cuts and says so; lab output loses
        # nothing, so its report lists nothing.
        text = "a text with \u00e9 that runs on for more than forty bytes"
        timestamp = 12000000 + 500000
        for options, clipping, cut in ((["--classic"], True, True), ([], False, False)):
            with self.subTest(options=options):
                directory = self.root / ("classic" if options else "lab")
                synth(directory, "--channel-ad-max", "2:1000", f"--event={timestamp}:{text}")
                run = convert(*options, "-q", directory)
                self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
                entry = report(directory)
                clipped = {i["channel"]: i["samples_clipped"] for i in entry["inputs"] if i["kind"] == "channel"}
                self.assertEqual(clipped["CSC1"], 0)
                self.assertEqual(clipped["CSC2"] > 0, clipping, clipped)
                self.assertEqual(entry["event_texts_cut"], [{"timestamp_us": timestamp, "text": text}] if cut else [])
                warnings = [m["text"] for m in entry["messages"] if m["type"] == "Warning"]
                self.assertEqual(any("clipped to the digital range: CSC2 " in w for w in warnings), clipping, warnings)
                self.assertEqual(any("event text was cut" in w for w in warnings), cut, warnings)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
