"""The flat names of varelo-convert: one file per segment, DevOutput_run<RR>_seg<KK>of<NN>.edf, KK
zero-padded to the digits of NN, the names in segment order when sorted, a rerun's files under the
next run number, nothing overwritten, and short names whatever the number of gaps.

    test_flat_names.py BIN_DIR
"""
import hashlib
import json
import pathlib
import subprocess
import sys
import tempfile
import unittest

BIN = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/bin")


def gaps(count):
    return [option for record in range(2, 2 * count + 1, 2) for option in ("--gap", f"{record}:50000")]


class FlatNames(unittest.TestCase):
    def test_names_sort_in_segment_order_and_reruns_take_the_next_run_number(self):
        # (gaps, the name of the first file, of the last)
        cases = [(0, "DevOutput_run01_seg1of1.edf", "DevOutput_run01_seg1of1.edf"),
                 (8, "DevOutput_run01_seg1of9.edf", "DevOutput_run01_seg9of9.edf"),
                 (9, "DevOutput_run01_seg01of10.edf", "DevOutput_run01_seg10of10.edf"),
                 (120, "DevOutput_run01_seg001of121.edf", "DevOutput_run01_seg121of121.edf")]
        with tempfile.TemporaryDirectory(prefix="varelo-names-") as work:
            for count, first, last in cases:
                with self.subTest(gaps=count):
                    directory = pathlib.Path(work) / f"gaps{count}"
                    subprocess.run([BIN / "varelo-synth", "--channels", "2", "--frequency", "2000", "--samples",
                                    str(1024 * (2 * count + 2)), *gaps(count), directory], check=True,
                                   stdout=subprocess.DEVNULL)
                    runs = []
                    for _ in range(2):
                        run = subprocess.run([BIN / "varelo-convert", "-q", directory], capture_output=True, text=True)
                        self.assertEqual(run.stdout, "Conversion Complete\n", run.stderr)
                        report = json.loads((directory / "VareloReport.json").read_text())
                        runs.append([pathlib.Path(output["file"]).name for output in report["outputs"]])
                        for output in report["outputs"]:
                            self.assertTrue(output["complete"] and output["named"], output)
                    written, again = runs
                    self.assertEqual(len(written), count + 1)
                    self.assertEqual((written[0], written[-1]), (first, last))
                    self.assertEqual(sorted(written), written)  # the report lists them in segment order
                    self.assertEqual(again, [name.replace("_run01_", "_run02_") for name in written])
                    self.assertTrue(all(len(name) <= len(last) for name in written))
                    on_disk = sorted(path.name for path in directory.iterdir() if path.suffix == ".edf")
                    self.assertEqual(on_disk, sorted(written + again))
                    self.assertEqual([path.name for path in directory.glob(".*")], [])  # nothing left behind
                    # the rerun wrote the same files under other names; the first run's stay as they were
                    digest = lambda name: hashlib.sha256((directory / name).read_bytes()).hexdigest()
                    self.assertEqual([digest(name) for name in written], [digest(name) for name in again])


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
