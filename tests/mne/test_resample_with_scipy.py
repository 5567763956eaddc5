"""--resample against an independent resampler, SciPy's resample_poly.

Random signals whose content lies below 0.35 x the output rate are written into the channel files
of a varelo-synth recording, converted with --resample and resampled by resample_poly with a
filter that SciPy designs itself (firwin, Kaiser window, 100 dB, transition 0.4 to 0.5 x the
output rate). Away from the ends of the segment, where the two treat the edges differently, every
output sample lies within one digital unit of SciPy's. Cases: 32 kHz to 1 kHz and 30 kHz to 256 Hz.
Run by ctest (VARELO_BIN names the programs' folder); exits with 77, which ctest counts as
skipped, where SciPy is not installed.
"""
import math
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

try:
    import numpy
    from scipy import signal
except ImportError:
    print("skipped: SciPy is not installed (Debian package python3-scipy)")
    sys.exit(77)

BIN = pathlib.Path(os.environ.get("VARELO_BIN", "build/bin"))
HEADER_BYTES = 16384
RECORD_BYTES = 1044  # timestamp, channel, rate, valid count, 512 samples
RECORD_SAMPLES = 512
EDGE = 120  # output samples left out of the comparison at either end


def band_limited(count, rate, highest, seed):
    """Random samples, about 3,000 digital units RMS, with no content at or above `highest` Hz."""
    spectrum = numpy.fft.rfft(numpy.random.default_rng(seed).standard_normal(count))
    spectrum[numpy.fft.rfftfreq(count, 1 / rate) >= highest] = 0
    samples = numpy.fft.irfft(spectrum, count)
    return numpy.round(samples * 3000 / samples.std()).astype("<i2")


def replace_samples(path, samples):
    """The channel file's samples, record by record, replaced by `samples`."""
    raw = bytearray(path.read_bytes())
    records = (len(raw) - HEADER_BYTES) // RECORD_BYTES
    assert records * RECORD_SAMPLES == len(samples)
    for r in range(records):
        at = HEADER_BYTES + r * RECORD_BYTES + 20
        raw[at : at + 2 * RECORD_SAMPLES] = samples[r * RECORD_SAMPLES : (r + 1) * RECORD_SAMPLES].tobytes()
    path.write_bytes(bytes(raw))


def edf_signal(path, signal_index):
    """The digital samples of one signal of an EDF file, record after record."""
    raw = path.read_bytes()
    signals = int(raw[252:256])
    records = int(raw[236:244])
    counts = [int(raw[256 + 216 * signals + 8 * i : 256 + 216 * signals + 8 * i + 8]) for i in range(signals)]
    data = numpy.frombuffer(raw[256 * (signals + 1) :], dtype="<i2").reshape(records, sum(counts))
    first = sum(counts[:signal_index])
    return data[:, first : first + counts[signal_index]].ravel()


class ResampleWithScipy(unittest.TestCase):
    def check(self, rate, output_rate, seconds):
        with tempfile.TemporaryDirectory(prefix="varelo-resample-") as work:
            directory = pathlib.Path(work) / "recording"
            count = int(rate * seconds) // RECORD_SAMPLES * RECORD_SAMPLES
            subprocess.run([BIN / "varelo-synth", "--channels", "2", "--frequency", str(rate), "--samples", str(count),
                            "--no-event-file", directory], check=True, stdout=subprocess.DEVNULL)
            inputs = [band_limited(count, rate, 0.35 * output_rate, seed) for seed in (1, 2)]
            for name, samples in zip(("CSC1", "CSC2"), inputs):
                replace_samples(directory / f"{name}.ocs", samples)
            run = subprocess.run([BIN / "varelo-convert", "--resample", str(output_rate), directory],
                                 capture_output=True, text=True)
            self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
            written = sorted(directory.glob("*.edf"))
            self.assertEqual(len(written), 1)
            gcd = math.gcd(rate, output_rate)
            up, down = output_rate // gcd, rate // gcd
            # SciPy's own filter at up x rate: 100 dB, from 0.4 to 0.5 x the output rate
            taps, beta = signal.kaiserord(100, 0.1 * output_rate / (up * rate / 2))
            taps |= 1  # odd: a whole sample of delay, which resample_poly takes out
            window = signal.firwin(taps, 0.45 * output_rate, window=("kaiser", beta), fs=up * rate)
            for index, samples in enumerate(inputs):
                expected = signal.resample_poly(samples.astype(float), up, down, window=window)
                converted = edf_signal(written[0], index).astype(float)
                self.assertGreaterEqual(len(converted), len(expected) - 1)
                middle = slice(EDGE, len(expected) - EDGE)
                difference = numpy.abs(converted[middle] - expected[middle])
                self.assertLessEqual(difference.max(), 1.0, f"largest at {difference.argmax() + EDGE}")

    def test_32_khz_to_1_khz(self):
        self.check(32000, 1000, 20)

    def test_30_khz_to_256_hz(self):
        self.check(30000, 256, 20)


if __name__ == "__main__":
    unittest.main()
