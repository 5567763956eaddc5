"""Runs of varelo-convert started at once on one directory never share an output file: each run
reports names no other run reports, and every file is complete (all runs convert the same
recording, so every file of one segment holds the same bytes). Both with the usual names
(--classic), given as a file is opened, and with the flat names, given once a run is complete.

    test_concurrent_runs.py BIN_DIR [TRIALS [RUNS]]      (defaults: 10 trials of 8 runs)
"""
import pathlib
import subprocess
import sys
import tempfile

MARKERS = {("--classic",): "EDF File Opened Successfully: ", (): "EDF file complete: "}


def trial(bin_dir, recording, runs, options):
    """Names reported by each run; the failure's text when something is wrong."""
    for old in recording.glob("*.edf"):
        old.unlink()
    processes = [subprocess.Popen([bin_dir / "varelo-convert", *options, recording], stdout=subprocess.PIPE, text=True)
                 for _ in range(runs)]
    marker = MARKERS[options]
    reported = []
    for process in processes:
        output, _ = process.communicate()
        if process.returncode != 0:
            return f"a run failed:\n{output}"
        reported.append([line.split(marker, 1)[1] for line in output.splitlines() if marker in line])
    names = [name for run in reported for name in run]
    if len(set(names)) != len(names):
        return f"a name was reported twice: {sorted(names)}"
    written = sorted(str(path) for path in recording.glob("*.edf"))
    if written != sorted(names):
        return f"files written {written} differ from those reported {sorted(names)}"
    left = sorted(path.name for path in recording.glob(".*"))
    if left:
        return f"files left behind: {left}"
    segments = len(reported[0])
    for segment in range(segments):
        contents = {pathlib.Path(run[segment]).read_bytes() for run in reported}
        if len(contents) != 1:
            return f"the files of segment {segment} differ between runs"
    return None


def main():
    bin_dir = pathlib.Path(sys.argv[1])
    trials = int(sys.argv[2]) if len(sys.argv) > 2 else 10
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 8
    with tempfile.TemporaryDirectory(prefix="varelo-concurrent-") as work:
        recording = pathlib.Path(work) / "recording"
        subprocess.run([bin_dir / "varelo-synth", "--channels", "4", "--duration", "1", "--gap", "30:100000",
                        "--events", "5", recording], check=True, stdout=subprocess.DEVNULL)
        for number in range(trials):
            for options in MARKERS:
                failure = trial(bin_dir, recording, runs, options)
                if failure:
                    print(f"trial {number + 1} of {trials} {options}: {failure}")
                    return 1
    print(f"{trials} trials of {runs} runs at once: every name reported once, every file complete")
    return 0


if __name__ == "__main__":
    sys.exit(main())
