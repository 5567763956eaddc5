"""varelo-convert on recordings whose directories hold traps where its own files go: links, a
FIFO and a directory under the names of the log file, the EDF file and the report, and links
inside the output tree. Nothing may be written through a link, nothing may hang, and every
refusal names the file and the reason. Then: an interrupted batch still prints what finished.

    test_hostile_directories.py BIN_DIR
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
HANG_SECONDS = 60  # far beyond any run here: only a hung run reaches it
KEPT = b"kept: must not change\n"


def synth(directory, *options):
    subprocess.run([BIN / "varelo-synth", "--channels", "2", "--duration", "1", "--events", "3", *options, directory],
                   check=True, stdout=subprocess.DEVNULL)


def convert_bounded(*arguments):
    """Runs varelo-convert; a run that has not ended by itself is sent SIGINT and must end within 2 s.
    Returns (exit status, standard output, whether it ended by itself)."""
    process = subprocess.Popen([str(BIN / "varelo-convert"), *map(str, arguments)], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, text=True)
    try:
        output, _ = process.communicate(timeout=HANG_SECONDS)
        return process.returncode, output, True
    except subprocess.TimeoutExpired:
        process.send_signal(signal.SIGINT)
        try:
            output, _ = process.communicate(timeout=2)
        except subprocess.TimeoutExpired:
            process.kill()
            output, _ = process.communicate()
            return None, output, False
        return process.returncode, output, False


class HostileDirectories(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory(prefix="varelo-hostile-")
        self.root = pathlib.Path(self.work.name)
        self.outside = self.root / "outside.txt"  # what a link points to

    def tearDown(self):
        self.work.cleanup()

    def test_files_beside_the_data_are_never_written_through_a_link_or_into_anything_but_a_file(self):
        log, edf, report = "VareloLogFile.txt", "DevOutput.edf", "VareloReport.json"
        link_reason = "it is a symbolic link, which is not followed."
        # (trap, the name it takes, how it is laid, the log's reason; None when the log opens)
        cases = [
            ("a link to a file outside", log, "link", link_reason),
            ("a dangling link", log, "dangling", link_reason),
            ("a FIFO", log, "fifo", "it is a FIFO, not a regular file."),
            ("a directory", log, "directory", "it is a directory, not a regular file."),
            ("a link to a file outside", edf, "link", None),
            ("a dangling link", edf, "dangling", None),
            ("a link to a file outside", report, "link", None),
            ("a dangling link", report, "dangling", None),
        ]
        for in_place in (True, False):
            for what, name, trap, log_reason in cases:
                with self.subTest(trap=what, name=name, in_place=in_place):
                    case = self.root / f"{name}-{trap}-{in_place}"
                    recording = case / "rec"
                    synth(recording)
                    output = recording if in_place else case / "out"
                    output.mkdir(exist_ok=True)
                    outside = case / "outside.txt"
                    self.lay(trap, output / name, outside)
                    # the usual names, which a trap can take ahead of the run
                    arguments = ["--classic", recording] if in_place else ["--classic", "-o", output, recording]

                    status, stdout, by_itself = convert_bounded(*arguments)

                    if trap == "link":
                        self.assertEqual(outside.read_bytes(), KEPT)
                    else:
                        self.assertFalse(outside.exists(), "something was created through the link")
                    self.assertTrue(by_itself, "the run hung")
                    self.assertEqual(status, 0, stdout)
                    self.assertEqual(stdout.splitlines()[-2 if log_reason else -1], "Conversion Complete")
                    if log_reason is not None:
                        path = output.resolve() / log
                        messages = [line.split(" - ", 1)[-1] for line in stdout.splitlines()]
                        self.assertEqual(messages[:4], ["Unable to create set log file name.", f"{path}: {log_reason}",
                                                        "Unable to open log file.", f"{path}: {log_reason}"])
                        self.assertEqual(messages[-1], "Unable to close log file.")
                    else:
                        self.assertTrue((output / log).is_file())
                    edfs = sorted(p.name for p in output.glob("*.edf") if not p.is_symlink())
                    self.assertEqual(edfs, ["DevOutput_01.edf" if name == edf else "DevOutput.edf"])
                    written = json.loads((output / report).read_text())  # a new file in the link's place
                    self.assertFalse((output / report).is_symlink())
                    self.assertEqual(written["result"], "complete")

    def lay(self, trap, path, outside):
        if trap == "link":
            outside.write_bytes(KEPT)
            path.symlink_to(outside)
        elif trap == "dangling":
            path.symlink_to(outside)
        elif trap == "fifo":
            os.mkfifo(path)
        else:
            path.mkdir()

    def test_a_link_inside_the_output_tree_is_not_written_through(self):
        tree = self.root / "tree"
        for name in ("a", "b/c", "d"):
            synth(tree / name)
        out = self.root / "out"
        elsewhere = self.root / "elsewhere"
        elsewhere.mkdir()
        out.mkdir()
        (out / "a").symlink_to(elsewhere)  # the recording's own directory
        (out / "b").symlink_to(elsewhere)  # a directory above one
        (out / "d").symlink_to(self.root / "gone")  # dangling

        status, stdout, by_itself = convert_bounded("--classic", "-q", "-r", "-o", out, "--report", self.root / "batch.jsonl", tree)

        self.assertTrue(by_itself, "the run hung")
        self.assertEqual(status, 1)
        # a quiet batch names each recording before its result
        self.assertEqual([line.rsplit(": ", 1)[-1] for line in stdout.splitlines()], ["Conversion Failed"] * 3)
        self.assertEqual(list(elsewhere.iterdir()), [])
        self.assertFalse((self.root / "gone").exists())
        lines = [json.loads(line) for line in (self.root / "batch.jsonl").read_text().splitlines()]
        self.assertEqual([line["messages"][-1]["text"] for line in lines], [
            f"cannot create the output directory {out}/{part}: it is a symbolic link, which is not followed"
            for part in ("a", "b", "d")])


class Interrupted(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory(prefix="varelo-interrupted-")
        self.root = pathlib.Path(self.work.name)
        self.tree = self.root / "tree"
        synth(self.tree / "0")  # done at once
        for name in ("a", "b"):  # still under way when the signal comes
            subprocess.run([BIN / "varelo-synth", "--channels", "32", "--duration", "60", self.tree / name],
                           check=True, stdout=subprocess.DEVNULL)

    def tearDown(self):
        self.work.cleanup()

    def test_a_stopped_batch_still_prints_what_finished(self):
        for signal_number in (signal.SIGINT, signal.SIGTERM):
            with self.subTest(signal=signal_number.name):
                out = self.root / f"out-{signal_number.name}"
                report = self.root / f"{signal_number.name}.jsonl"
                process = subprocess.Popen(
                    [str(BIN / "varelo-convert"), "--classic", "-q", "-r", "-j", "2", "-o", str(out), "--report", str(report),
                     str(self.tree)], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
                # recording 0 finished, recording a under way (its file not yet complete)
                under_way = out / "a" / ".DevOutput.edf.partial"
                while not ((out / "0" / "VareloReport.json").exists() and under_way.exists()):
                    self.assertIsNone(process.poll(), "the batch ended before it could be stopped")
                    time.sleep(0.001)
                process.send_signal(signal_number)
                try:
                    output, errors = process.communicate(timeout=2)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.communicate()
                    self.fail("the batch did not end after the signal")
                self.assertEqual(process.returncode, 1)
                lines = output.splitlines()
                self.assertTrue(lines[0].endswith(": Conversion Complete"), lines[0])  # the recording that finished
                self.assertEqual({line.rsplit(": ", 1)[-1] for line in lines[1:]}, {"Conversion Failed"})
                self.assertIn("interrupted", errors)
                reported = [json.loads(line) for line in report.read_text().splitlines()]
                self.assertEqual(pathlib.Path(reported[0]["recording"]).name, "0")
                self.assertEqual(reported[0]["result"], "complete")
                self.assertEqual({line["result"] for line in reported[1:]}, {"failed"})


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
