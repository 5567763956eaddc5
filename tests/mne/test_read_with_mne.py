"""The converter's classic output as an independent EDF+ reader, MNE-Python, reads it.

Each case writes a recording with varelo-synth, converts it with varelo-convert and reads every
EDF+ file written with MNE. What MNE reads is compared with what the channel and event files
hold, read here on their own: channel names, the sampling rate that MNE derives from the header,
every sample (scaled as the header says), every annotation (onset and text) and the start date;
and MNE must not warn about the file. Run by ctest (VARELO_BIN names the programs' folder);
exits with 77, which ctest counts as skipped, where MNE-Python is not installed.
"""
import datetime
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest
import warnings

try:
    import mne
    import numpy
except ImportError:
    print("skipped: MNE-Python is not installed (Debian package python3-mne)")
    sys.exit(77)

BIN = pathlib.Path(os.environ.get("VARELO_BIN", "build/bin"))
WALL_CLOCK = 1499077353000000  # 2017-07-03 10:22:33 UTC, µs
HEADER_BYTES = 16384


def read_channel(path):
    """Timestamps, valid counts and samples of a channel file's records."""
    raw = numpy.fromfile(path, dtype=numpy.uint8)[HEADER_BYTES:]
    records = raw[: len(raw) // 1044 * 1044].reshape(-1, 1044)
    timestamps = records[:, 0:8].copy().view("<u8").ravel()
    valid = records[:, 16:20].copy().view("<u4").ravel()
    samples = records[:, 20:].copy().view("<i2")
    return timestamps, valid, samples


def read_events(path):
    raw = pathlib.Path(path).read_bytes()[HEADER_BYTES:]
    events = []
    for at in range(0, len(raw) - 183, 184):
        timestamp = int.from_bytes(raw[at + 6 : at + 14], "little")
        text = raw[at + 56 : at + 184].split(b"\0")[0].decode("latin-1")
        events.append((timestamp, text))
    return events


def read_edf(test, path):
    """The file as MNE reads it, which must not warn about it."""
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        raw = mne.io.read_raw_edf(path, preload=True, verbose="warning")
    test.assertEqual([str(w.message) for w in caught], [], path)
    return raw


def header_field(header, offset, width):
    return header[offset : offset + width].decode("ascii").strip()


class Recording:
    """The segments of a recording whose channels start together and whose gaps lie between
    records, as the converter must split them: lists of record indexes."""

    def __init__(self, directory, frequency):
        self.names = sorted(p.stem for p in directory.glob("*.ocs"))  # CSC1 .. CSCn sort alike here
        self.channels = [read_channel(directory / f"{name}.ocs") for name in self.names]
        self.events = read_events(directory / "Events.oev")
        interval = 1e6 / frequency
        timestamps, valid, _ = self.channels[0]
        self.segments = [[0]]
        for r in range(1, len(timestamps)):
            last = timestamps[r - 1] + int((valid[r - 1] - 1) * interval)
            if timestamps[r] - last > 1.5 * interval:
                self.segments.append([])
            self.segments[-1].append(r)
        self.interval = interval

    def samples(self, segment, channel):
        _, valid, samples = self.channels[channel]
        return numpy.concatenate([samples[r, : valid[r]] for r in segment])

    def window(self, segment):
        timestamps, valid, _ = self.channels[0]
        last = segment[-1]
        return int(timestamps[segment[0]]), int(timestamps[last] + int((valid[last] - 1) * self.interval))


class ReadWithMne(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory(prefix="varelo-mne-")

    def tearDown(self):
        self.work.cleanup()

    def convert(self, synth_options, convert_options=("--classic",), name="recording"):
        directory = pathlib.Path(self.work.name) / name
        subprocess.run([BIN / "varelo-synth", *synth_options, directory], check=True, stdout=subprocess.DEVNULL)
        run = subprocess.run([BIN / "varelo-convert", "--classic", *convert_options, directory], capture_output=True,
                             text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertTrue(run.stdout.endswith("Conversion Complete\n"), run.stdout)
        marker = "EDF File Opened Successfully: "
        self.written = [pathlib.Path(line.split(marker, 1)[1]) for line in run.stdout.splitlines() if marker in line]
        return directory, run.stdout

    def read(self, path):
        return read_edf(self, path)

    def check_file(self, path, recording, segment, samples_per_second, unit_scale=1.0, exact=False):
        """Every sample, annotation and header value of one output file."""
        raw = self.read(path)
        header = path.read_bytes()[: 256 * (len(recording.names) + 2)]
        count = len(recording.names)
        n = int(header_field(header, 256 + 216 * (count + 1), 8))
        duration = float(header_field(header, 244, 8))
        self.assertEqual(raw.ch_names, recording.names)
        self.assertAlmostEqual(raw.info["sfreq"], n / duration, places=6)
        if exact:
            self.assertEqual(raw.info["sfreq"], samples_per_second)
        else:
            self.assertAlmostEqual(raw.info["sfreq"], samples_per_second, delta=samples_per_second * 2e-4)

        start, end = recording.window(segment)
        start_date = datetime.datetime.fromtimestamp(start // 1000000, datetime.timezone.utc)
        self.assertEqual(raw.info["meas_date"], start_date)

        data = raw.get_data()
        for c in range(count):
            physical = [float(header_field(header, 256 + (104 + k) * (count + 1) + 8 * c, 8)) for k in (0, 8)]
            digital = [int(header_field(header, 256 + (120 + k) * (count + 1) + 8 * c, 8)) for k in (0, 8)]
            expected = numpy.clip(recording.samples(segment, c), digital[0], digital[1]).astype(float)
            expected = numpy.concatenate([expected, numpy.zeros(-len(expected) % n)])  # the last record's padding
            gain = (physical[1] - physical[0]) / (digital[1] - digital[0])
            expected = ((expected - digital[0]) * gain + physical[0]) * unit_scale
            self.assertEqual(data.shape[1], len(expected), path)
            numpy.testing.assert_allclose(data[c], expected, rtol=0, atol=abs(gain * unit_scale) * 1e-3)

        # onsets in 100 µs units from the first instant; to the microsecond with exact timing
        unit = 1 if exact else 100
        wanted = [(0.0, "Recording starts")]
        wanted += [((t - start) // unit * unit / 1e6, text) for t, text in recording.events if start <= t <= end]
        wanted.append(((end - start) // unit * unit / 1e6, "Recording ends"))
        wanted = [(round(onset, 6), text) for onset, text in wanted]
        read = sorted(zip(raw.annotations.onset.round(6), raw.annotations.description))
        self.assertEqual(read, sorted(wanted), path)
        return raw

    def check_recording(self, directory, frequency, **checks):
        recording = Recording(directory, frequency)
        files = self.written  # in the order written
        self.assertEqual(sorted(files), sorted(directory.glob("*.edf")))
        self.assertEqual(len(files), len(recording.segments))
        for path, segment in zip(files, recording.segments):
            self.check_file(path, recording, segment, frequency, **checks)
        return recording

    def test_many_events_in_a_few_long_records(self):
        # 1 channel at 32 kHz: 0.5 s records, 120 of them, and 600 events
        directory, _ = self.convert(["--channels", "1", "--duration", "60", "--events", "600", f"--first-timestamp={WALL_CLOCK}"])
        recording = self.check_recording(directory, 32000)
        self.assertEqual(len(recording.events), 601)

    def test_event_train_over_one_second_records(self):
        # 4 channels at 2 kHz: 1 s records; a 20 Hz train over 30 s
        directory, _ = self.convert(["--channels", "4", "--frequency", "2000", "--duration", "30", "--events", "600",
                                     f"--first-timestamp={WALL_CLOCK}"])
        self.check_recording(directory, 2000)

    def test_gaps_with_events_inside_them(self):
        # 32 channels at 32 kHz; record 100 starts 0.25 s late, record 200 0.5 s; one event in each
        # gap, one before the recording and one after it, which no file can hold
        gap1 = WALL_CLOCK + 100 * 16000 + 100000
        gap2 = WALL_CLOCK + 200 * 16000 + 250000 + 200000
        options = ["--channels", "32", "--duration", "4", "--events", "40", f"--first-timestamp={WALL_CLOCK}",
                   "--gap", "100:250000", "--gap", "200:500000", "--event", f"{gap1}:in the first gap",
                   "--event", f"{gap2}:in the second gap", "--event", f"{WALL_CLOCK - 5}:before",
                   "--event", f"{WALL_CLOCK + 10**8}:after"]
        directory, output = self.convert(options)
        recording = self.check_recording(directory, 32000)
        self.assertEqual(len(recording.segments), 3)
        self.assertIn(f"4 events lie in no EDF+ file: before the first sample instant, in a gap or after the last "
                      f"one (timestamps from {WALL_CLOCK - 5} \u00b5s to {WALL_CLOCK + 10**8} \u00b5s).", output)

    def test_two_hundred_segments(self):
        gaps = [option for r in range(1, 201) for option in ("--gap", f"{r}:100000")]
        directory, _ = self.convert(["--channels", "2", "--frequency", "2000", "--samples", str(512 * 201),
                                     "--events", "300", f"--first-timestamp={WALL_CLOCK}", *gaps])
        self.check_recording(directory, 2000)

    def test_exact_timing_gives_readers_the_true_rate(self):
        # Rates whose usual records drift (1998.02, 31995.92, 31903.49 and 29984 Hz for MNE),
        # converted with exact records and microvolt units, then verified
        for channels, rate in ((32, 2000), (32, 32000), (128, 32000), (32, 30011)):
            with self.subTest(channels=channels, rate=rate):
                directory, output = self.convert(
                    ["--channels", str(channels), "--frequency", str(rate), "--duration", "1.5", "--events", "7",
                     f"--first-timestamp={WALL_CLOCK + 250000}"], ["--classic", "--exact-timing", "--unit", "uV", "--verify"],
                    name=f"rate{channels}x{rate}")
                self.check_recording(directory, rate, unit_scale=1e-6, exact=True)
                self.assertIn("Verified 1 EDF files: every sample and annotation matches.", output)
                raw = self.read(self.written[0])
                self.assertEqual(raw._orig_units["CSC1"], "µV")  # the 1,000 µV input range reads as 0.001 V

    def test_events_land_on_their_samples_after_an_hour(self):
        # 4 channels at 32 kHz for an hour, the first sample 0.123456 s into its second; an event
        # at sample 100 and one 10 samples before the end. Sample k of the synthetic recording lies
        # at floor(k / 512) × 16,000 + floor(k mod 512 × 31.25) µs.
        samples = 32000 * 3600
        first = WALL_CLOCK + 123456
        at = lambda k: first + k // 512 * 16000 + (k % 512) * 3125 // 100
        events = {100: "early", samples - 10: "late"}
        directory, _ = self.convert(["--channels", "4", "--samples", str(samples), f"--first-timestamp={first}",
                                     *[f"--event={at(k)}:{text}" for k, text in events.items()]],
                                    ["--classic", "--quiet", "--exact-timing"])
        raw = mne.io.read_raw_edf(directory / "DevOutput.edf", preload=False, verbose="error")
        self.assertEqual(raw.info["sfreq"], 32000.0)
        onsets = dict(zip(raw.annotations.description, raw.annotations.onset))
        for k, text in events.items():
            self.assertLessEqual(abs(onsets[text] * raw.info["sfreq"] - k), 1, text)


if __name__ == "__main__":
    unittest.main(verbosity=2)
