"""scripts/plot-bench draws the benchmark's CSV file, and refuses one it cannot draw with a
message that names the file.

    test_plot_bench.py SCRIPTS_DIR
"""
import pathlib
import subprocess
import sys
import tempfile

COLUMNS = ("measurement,name,channels,seconds,events,gaps,megabytes,cache,kernel_copy_s,buffered_copy_s,"
           "convert_s,convert_ms_per_mb,peak_resident_mib")


def recording(channels, seconds, cache, convert="0.120000"):
    return (f'recording,"{channels} ch {seconds} s",{channels},{seconds},20,0,{channels * seconds * 0.07:.3f},'
            f"{cache},0.001000,0.002000,{convert},1.0,4.5")


VARIANT = 'variant,"32 ch 60 s --classic",32,60,20,0,126.000,cached,,,0.060000,0.47,6.0'
BOTH_PANELS = [recording(c, 10, cache) for c in (4, 32, 128, 256) for cache in ("cached", "disk")] + [
    recording(32, s, "cached") for s in (60, 600)] + [VARIANT]

# (name, CSV lines (None: no file), exit status, texts the plot holds or the message says)
CASES = [
    ("both panels", [COLUMNS] + BOTH_PANELS, 0,
     ["10 s at 32 kHz", "32 channels at 32 kHz", "conversion, page cache", "kernel copy, disk", ">256<", ">600<"]),
    ("with the read-back", [COLUMNS + ",verified_s"] + [recording(c, 10, "cached") + ",0.150000" for c in (4, 32)], 0,
     ["conversion and read-back, page cache", "conversion, page cache"]),
    ("one cache state only", [COLUMNS, recording(4, 10, "disk"), recording(32, 10, "disk")], 0,
     ["conversion, disk", ">32<"]),
    ("only variants", [COLUMNS, VARIANT], 1, ["no recording of 10 s or of 32 channels"]),
    ("a column missing", [COLUMNS.replace(",convert_s", ""), recording(4, 10, "cached")], 1, ["bench.csv"]),
    ("not a number", [COLUMNS, recording(4, 10, "cached", convert="fast")], 1, ["bench.csv", "fast"]),
    ("no such file", None, 1, ["bench.csv"]),
]


def main():
    script = pathlib.Path(sys.argv[1]) / "plot-bench"
    failures = 0
    usage = subprocess.run([script], capture_output=True, text=True)
    if usage.returncode != 2 or "usage:" not in usage.stderr:
        print(f"without arguments: exit {usage.returncode}, {usage.stderr!r}")
        failures += 1
    for name, lines, status, texts in CASES:
        with tempfile.TemporaryDirectory() as scratch:
            csv_path = pathlib.Path(scratch) / "bench.csv"
            plot = pathlib.Path(scratch) / "plot.svg"
            if lines is not None:
                csv_path.write_text("\n".join(lines) + "\n")
            run = subprocess.run([script, csv_path, plot], capture_output=True, text=True)
            seen = plot.read_text() if status == 0 and plot.exists() else run.stderr
            missing = [text for text in texts if text not in seen]
            if run.returncode != status or missing or (status != 0 and plot.exists()):
                print(f"{name}: exit {run.returncode} (expected {status}), missing {missing}: {run.stderr.strip()}")
                failures += 1
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
