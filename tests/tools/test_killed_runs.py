"""Runs of varelo-convert killed (SIGKILL) at random moments leave no file with an .edf name that is
not a complete conversion, and change nothing that was there before; the run after each completes.
The trials take turns: the usual names (--classic), the flat names, and the flat names of parts
(--split).

A complete conversion is recognised by its bytes: every file of a run that is not disturbed is
the same as the file of its segment written once beforehand into a directory of its own (the
bytes do not depend on the name, the time or the run).

    test_killed_runs.py BIN_DIR [TRIALS]      (default: 20 trials)
"""
import hashlib
import pathlib
import random
import shutil
import signal
import subprocess
import sys
import tempfile
import time

SYNTH = ["--channels", "16", "--duration", "20", "--gap", "300:100000", "--gap", "700:100000", "--gap",
         "1000:200000", "--events", "50"]
MODES = {"classic": ["--classic"], "flat": [], "split": ["--split", "1.5"]}


def digest(path):
    return hashlib.sha256(path.read_bytes()).hexdigest()


def edf_files(directory):
    return {path.name: digest(path) for path in directory.glob("*.edf")}


def header_is_final(path):
    """The header holds a record count (not the -1 of a file being written) that the size agrees with."""
    data = path.read_bytes()
    if len(data) < 256:
        return False
    header_bytes = int(data[184:192])
    records = int(data[236:244])
    signals = int(data[252:256])
    sizes = data[256 + 216 * signals: 256 + 224 * signals]
    per_record = sum(int(sizes[8 * i: 8 * i + 8]) for i in range(signals)) * 2
    return records >= 1 and len(data) == header_bytes + records * per_record


def check(directory, before, complete):
    """The failure's text when an .edf file is not a complete conversion or one from before changed."""
    now = edf_files(directory)
    for name, content in before.items():
        if now.get(name) != content:
            return f"{name}, there before the run, changed or vanished"
    for name, content in now.items():
        if name not in before and content not in complete:
            header = "final" if header_is_final(directory / name) else "not final"
            return f"{name} is not a complete conversion (its header is {header})"
    return None


def main():
    bin_dir = pathlib.Path(sys.argv[1])
    trials = int(sys.argv[2]) if len(sys.argv) > 2 else 20
    convert = str(bin_dir / "varelo-convert")
    chance = random.Random()
    seed = chance.randrange(1 << 30)
    chance.seed(seed)
    with tempfile.TemporaryDirectory(prefix="varelo-killed-") as work:
        work = pathlib.Path(work)
        source = work / "source"
        subprocess.run([bin_dir / "varelo-synth", *SYNTH, source], check=True, stdout=subprocess.DEVNULL)
        complete, recordings, longest = {}, {}, 0.0
        for mode, options in MODES.items():
            reference = work / f"reference-{mode}"
            shutil.copytree(source, reference)
            started = time.monotonic()
            subprocess.run([convert, "-q", *options, reference], check=True, stdout=subprocess.DEVNULL)
            longest = max(longest, time.monotonic() - started)
            complete[mode] = set(edf_files(reference).values())
            recordings[mode] = work / mode
            shutil.copytree(source, recordings[mode])
        for number in range(trials):
            mode = list(MODES)[number % len(MODES)]
            directory = recordings[mode]
            before = edf_files(directory)
            process = subprocess.Popen([convert, "-q", *MODES[mode], directory], stdout=subprocess.DEVNULL)
            time.sleep(chance.uniform(0, longest * 1.2))
            process.send_signal(signal.SIGKILL)
            process.wait()
            failure = check(directory, before, complete[mode])
            if failure is None:
                before = edf_files(directory)
                rerun = subprocess.run([convert, "-q", *MODES[mode], directory], capture_output=True, text=True)
                if rerun.stdout != "Conversion Complete\n":
                    failure = f"the rerun did not complete: {rerun.stdout}{rerun.stderr}"
                else:
                    failure = check(directory, before, complete[mode])
                    added = [content for name, content in edf_files(directory).items() if name not in before]
                    if failure is None and (len(added) != len(complete[mode]) or set(added) != complete[mode]):
                        failure = f"the rerun wrote {len(added)} files, not the {len(complete[mode])} of a conversion"
            if failure:
                print(f"trial {number + 1} of {trials} ({mode}, seed {seed}): {failure}")
                return 1
    print(f"{trials} runs killed at random moments: every .edf file complete, nothing earlier changed, "
          "every rerun complete")
    return 0


if __name__ == "__main__":
    sys.exit(main())
