"""Lab output, varelo-convert's default, as an independent EDF+ reader, MNE-Python, reads it.

One group of conversions: 1, 8, 32 and 128 channels at 2, 30 and 32 kHz, each recording with two
gaps, 500 events and events with ISO 8859-1 letters in texts longer than 40 bytes. For every file:
the rate that MNE derives is the sampling frequency exactly, every sample is the input's sample ×
its step (input range / A/D maximum) within half a step, in volts, every event's onset is its
timestamp's offset from the file's first sample within 1 µs and its text is whole, and the channels
come in the natural order of their names. The recordings last 20 s where that keeps a case below
4 million samples, and are shorter where it would not (1 s at 128 channels × 32 kHz), to keep the
group's run time sane. A recording converted with --split gives parts that, read one after the
other, hold the samples and annotations of the unsplit files, each starting where the one before
ended. Run by ctest (VARELO_BIN names the programs' folder); exits with 77,
which ctest counts as skipped, where MNE-Python is not installed.
"""
import calendar
import os
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
from test_read_with_mne import Recording, WALL_CLOCK, header_field, mne, numpy, read_channel, read_edf  # noqa: E402

BIN = pathlib.Path(os.environ.get("VARELO_BIN", "build/bin"))
SAMPLES_PER_CASE = 4_000_000  # per case, over all channels
RECORD_SAMPLES = 512  # of a channel file's record
FIRST = WALL_CLOCK + 123457  # an odd microsecond into the second
LONG_TEXTS = ["naïve µ text with é, and more than forty bytes after it", "Ångström ÿ ß ½ ¿ « » ° ± × ÷ - a whole text"]


def natural_key(name):
    return [int(part) if part.isdigit() else part for part in re.split(r"(\d+)", name)]


class LabOutputWithMne(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.TemporaryDirectory(prefix="varelo-lab-mne-")

    def tearDown(self):
        self.work.cleanup()

    def convert(self, channels, rate):
        duration = min(20.0, SAMPLES_PER_CASE / (channels * rate))
        records = int(duration * rate) // RECORD_SAMPLES
        record_us = RECORD_SAMPLES * 1e6 / rate
        # the long texts in the first and the last segment, at microseconds that 100 µs units would cut
        at = [FIRST + int(record_us) * (records // 6) + 37, FIRST + int(record_us * records * 0.9) + 91]
        directory = pathlib.Path(self.work.name) / f"lab{channels}x{rate}"
        synth = ["--channels", str(channels), "--frequency", str(rate), "--duration", f"{duration:.6f}",
                 "--events", "500", f"--first-timestamp={FIRST}", "--gap", f"{records // 3}:50000",
                 "--gap", f"{2 * records // 3}:120013", *[f"--event={t}:{text}" for t, text in zip(at, LONG_TEXTS)]]
        subprocess.run([BIN / "varelo-synth", *synth, directory], check=True, stdout=subprocess.DEVNULL)
        run = subprocess.run([BIN / "varelo-convert", directory], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        self.assertTrue(run.stdout.endswith("Conversion Complete\n"), run.stdout)
        marker = "EDF file complete: "  # the name a file gets once the run has written it whole
        written = [pathlib.Path(line.split(marker, 1)[1]) for line in run.stdout.splitlines() if marker in line]
        return directory, written

    def check_file(self, path, recording, segment, rate):
        raw = read_edf(self, path)
        count = len(recording.names)
        self.assertEqual(raw.ch_names, recording.names, path)
        self.assertEqual(raw.info["sfreq"], float(rate), path)

        header = path.read_bytes()[: 256 * (count + 2)]
        n = int(header_field(header, 256 + 216 * (count + 1), 8))
        step_v = 1000 / 32767 * 1e-6  # varelo-synth's input range and A/D maximum, in volts
        data = raw.get_data()
        for c in range(count):
            expected = recording.samples(segment, c).astype(float)
            expected = numpy.concatenate([expected, numpy.zeros(-len(expected) % n)])  # the last record's padding
            self.assertEqual(data.shape[1], len(expected), path)
            worst = numpy.max(numpy.abs(data[c] - expected * step_v))
            self.assertLess(worst, step_v / 2, f"{path} {recording.names[c]}")

        start, end = recording.window(segment)
        wanted = [(0, "Recording starts")] + [(t - start, text) for t, text in recording.events if start <= t <= end]
        wanted.append((end - start, "Recording ends"))
        read = list(zip(raw.annotations.onset, raw.annotations.description))
        self.assertEqual(sorted(text for _, text in read), sorted(text for _, text in wanted), path)
        for (onset, text), (offset_us, wanted_text) in zip(sorted(read), sorted(wanted)):
            self.assertLessEqual(abs(onset * 1e6 - offset_us), 1, f"{path}: {text}")
        return [text for _, text in read]

    def test_every_sample_event_and_rate_as_mne_reads_them(self):
        for channels in (1, 8, 32, 128):
            for rate in (2000, 30000, 32000):
                with self.subTest(channels=channels, rate=rate):
                    directory, written = self.convert(channels, rate)
                    recording = Recording(directory, rate)
                    recording.names.sort(key=natural_key)
                    recording.channels = [read_channel(directory / f"{name}.ocs") for name in recording.names]
                    self.assertEqual(len(recording.segments), 3)
                    self.assertEqual(len(written), 3)
                    texts = []
                    for path, segment in zip(written, recording.segments):
                        texts += self.check_file(path, recording, segment, rate)
                    for text in LONG_TEXTS:
                        self.assertIn(text, texts)

    def test_chosen_channels_labels_identification_and_filters_as_mne_reads_them(self):
        """A subset in a chosen order (a name, a range backwards), labels from the option and from a
        file, the patient as MNE's subject_info reads it, the recording field, and the filters."""
        directory = pathlib.Path(self.work.name) / "chosen"
        subprocess.run([BIN / "varelo-synth", "--channels", "6", "--frequency", "2000", "--duration", "2",
                        "--low-cut", "0.1", "--high-cut", "900", directory], check=True, stdout=subprocess.DEVNULL)
        labels = pathlib.Path(self.work.name) / "labels.tsv"
        labels.write_text("# channel\tlabel\nCSC3\tCz\n\nCSC2\tPz\n")
        run = subprocess.run([BIN / "varelo-convert", "--channels", "CSC5,CSC3-CSC2", "--label", "CSC5=Fp1",
                              "--labels", labels, "--patient",
                              "code=MCH-0234567,sex=F,birthdate=02-MAY-1951,name=Haagse Harry",
                              "--recording", "admincode=EMR-1,technician=J. Doe,equipment=Rig 3", directory],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        path = directory / "DevOutput_run01_seg1of1.edf"
        raw = read_edf(self, path)
        self.assertEqual(raw.ch_names, ["Fp1", "Cz", "Pz"])
        recording = Recording(directory, 2000)
        step_v = 1000 / 32767 * 1e-6
        for c, name in enumerate(["CSC5", "CSC3", "CSC2"]):
            expected = recording.samples(recording.segments[0], recording.names.index(name)).astype(float)
            data = raw.get_data()[c][: len(expected)]
            self.assertLess(numpy.max(numpy.abs(data - expected * step_v)), step_v / 2, name)
        # MNE 1.3 keeps the patient beside the info, later versions in it
        subject = raw.info["subject_info"] or raw._raw_extras[0]["subject_info"]
        self.assertEqual(subject["id"] if "id" in subject else subject["his_id"], "MCH-0234567")
        self.assertIn(subject["sex"], ("F", 2))
        self.assertEqual((subject["birthday"].year, subject["birthday"].month, subject["birthday"].day),
                         (1951, 5, 2))
        header = path.read_bytes()[:256]
        self.assertEqual(header_field(header, 8, 80), "MCH-0234567 F 02-MAY-1951 Haagse_Harry")
        self.assertEqual(header_field(header, 88, 80), "Startdate 03-JUL-2017 EMR-1 J._Doe Rig_3")
        self.assertEqual((raw.info["highpass"], raw.info["lowpass"]), (0.1, 900.0))

    def test_channels_of_two_rates_each_at_its_own(self):
        """4 channels at 32 kHz and 4 at 2 kHz, a gap where a record of both begins: MNE reads the
        channels of each rate at that rate, each channel's samples from its first at or after the
        file's start up to the end of the time all channels cover."""
        directory = pathlib.Path(self.work.name) / "mixed"
        rates = [32000] * 4 + [2000] * 4
        synth = ["--channels", "8", "--duration", "6", "--events", "20", f"--first-timestamp={FIRST}",
                 "--offset", "5:217", "--gap", "192:40000", *[f"--channel-rate={c}:2000" for c in range(5, 9)]]
        subprocess.run([BIN / "varelo-synth", *synth, directory], check=True, stdout=subprocess.DEVNULL)
        run = subprocess.run([BIN / "varelo-convert", directory], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        written = sorted(directory.glob("*.edf"))
        self.assertEqual(len(written), 2)
        names = [f"CSC{c}" for c in range(1, 9)]
        # each channel's samples with their timestamps, split where its timestamps leave a gap
        stretches = []
        for name, rate in zip(names, rates):
            timestamps, valid, samples = read_channel(directory / f"{name}.ocs")
            at = numpy.concatenate([t + (numpy.arange(v) * 1e6 / rate).astype(numpy.uint64)
                                    for t, v in zip(timestamps, valid)])
            values = numpy.concatenate([s[:v] for s, v in zip(samples, valid)])
            cut = numpy.flatnonzero(numpy.diff(at.astype(float)) > 1.5e6 / rate) + 1
            stretches.append(list(zip(numpy.split(at, cut), numpy.split(values, cut))))
        step_v = 1000 / 32767 * 1e-6
        for segment, path in enumerate(written):
            start = max(int(stretches[c][segment][0][0]) for c in range(8))
            end = min(int(stretches[c][segment][0][-1]) + int(numpy.ceil(1e6 / rates[c])) - 1 for c in range(8))
            header = path.read_bytes()[: 256 * 10]
            per_record = [int(header_field(header, 256 + 216 * 9 + 8 * c, 8)) for c in range(8)]
            duration = float(header_field(header, 244, 8))
            self.assertEqual([n / duration for n in per_record], [float(r) for r in rates], path)
            for rate in (32000, 2000):
                channels = [c for c in range(8) if rates[c] == rate]
                raw = mne.io.read_raw_edf(path, include=[names[c] for c in channels], preload=True, verbose="error")
                self.assertEqual(raw.info["sfreq"], float(rate), path)
                data = raw.get_data()
                for row, c in enumerate(channels):
                    at, values = stretches[c][segment]
                    kept = values[(at >= start) & (at <= end)].astype(float)
                    self.assertLess(int(at[at >= start][0]) - start, 1e6 / rate, f"{path} {names[c]}")
                    expected = numpy.concatenate([kept, numpy.zeros(data.shape[1] - len(kept))])  # the padding
                    worst = numpy.max(numpy.abs(data[row] - expected * step_v))
                    self.assertLess(worst, step_v / 2, f"{path} {names[c]}")
    def test_split_parts_read_one_after_the_other_are_the_unsplit_files(self):
        # 2048 Hz: 1 s data records, so --split 3 gives parts of 3 records; segments of 10 s and 4 s
        start = WALL_CLOCK + 123457
        cut = start + 3_000_000  # where the first segment's second part starts: its event goes there
        directory = pathlib.Path(self.work.name) / "split"
        synth = ["--channels", "3", "--frequency", "2048", "--duration", "14", "--events", "30",
                 f"--first-timestamp={start}", "--gap", "40:70000", f"--event={cut}:at the cut",
                 f"--event={cut - 1}:before the cut"]
        subprocess.run([BIN / "varelo-synth", *synth, directory], check=True, stdout=subprocess.DEVNULL)
        for extra in ([], ["--resample", "1024"]):
            with self.subTest(extra=extra):
                out = pathlib.Path(self.work.name) / f"out{len(extra)}"
                whole = self.converted(directory, out / "whole", extra)
                parts = self.converted(directory, out / "parts", [*extra, "--split", "3"])
                self.assertEqual([p.name for p in whole], ["DevOutput_run01_seg1of2.edf", "DevOutput_run01_seg2of2.edf"])
                self.assertEqual([p.name for p in parts], [f"DevOutput_run01_seg1of2_part{k}of4.edf" for k in "1234"]
                                 + [f"DevOutput_run01_seg2of2_part{k}of2.edf" for k in "12"])
                for unsplit, split in ((whole[0], parts[:4]), (whole[1], parts[4:])):
                    self.assert_parts_continue(unsplit, split)
                second = read_edf(self, parts[1])
                self.assertEqual(list(second.annotations.description).count("at the cut"), 1)
                self.assertEqual(second.annotations.onset[list(second.annotations.description).index("at the cut")], 0)

    def converted(self, directory, output, options):
        run = subprocess.run([BIN / "varelo-convert", "-o", output, *options, directory], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        return sorted(output.glob("*.edf"))

    def assert_parts_continue(self, unsplit, parts):
        """The parts' samples and annotations, one part after the other, are the unsplit file's,
        and each part starts to the microsecond where the one before ended."""
        whole = read_edf(self, unsplit)
        data, annotations, at = [], [], first_record_us(unsplit)
        for part in parts:
            raw = read_edf(self, part)
            self.assertEqual(first_record_us(part), at, part)
            self.assertLessEqual(raw.n_times / raw.info["sfreq"], 3, part)
            data.append(raw.get_data())
            annotations += [(at + round(o * 1e6), d) for o, d in zip(raw.annotations.onset, raw.annotations.description)]
            self.assertEqual(raw.n_times * 1_000_000 % int(raw.info["sfreq"]), 0)
            at += raw.n_times * 1_000_000 // int(raw.info["sfreq"])
        self.assertTrue(numpy.array_equal(numpy.concatenate(data, axis=1), whole.get_data()), unsplit)
        start = first_record_us(unsplit)
        self.assertEqual(annotations, [(start + round(o * 1e6), d) for o, d in
                                       zip(whole.annotations.onset, whole.annotations.description)], unsplit)


def first_record_us(path):
    """When the file's first data record starts, µs since 1970: the header's start second and the
    offset of the first record's time-keeping annotation from it."""
    data = path.read_bytes()
    day, month, year = (int(x) for x in header_field(data, 168, 8).split("."))
    hour, minute, second = (int(x) for x in header_field(data, 176, 8).split("."))
    seconds = calendar.timegm((2000 + year if year < 85 else 1900 + year, month, day, hour, minute, second))
    header_bytes, signals = int(header_field(data, 184, 8)), int(header_field(data, 252, 4))
    per_record = [int(header_field(data, 256 + 216 * signals + 8 * s, 8)) for s in range(signals)]
    slot = header_bytes + 2 * sum(per_record[:-1])
    whole, _, fraction = data[slot + 1 : data.index(b"\x14", slot)].decode("ascii").partition(".")
    return (seconds + int(whole)) * 1_000_000 + int((fraction + "000000")[:6])


if __name__ == "__main__":
    unittest.main(verbosity=2)
