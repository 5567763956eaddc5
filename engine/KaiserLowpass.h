#pragma once

#include <cstdint>
#include <vector>

// A linear-phase lowpass FIR designed as a windowed sinc with a Kaiser window, from Kaiser's
// formulas: for a stopband attenuation A dB, beta = 0.1102 (A - 8.7) above 50 dB, and the
// length N = (A - 7.95) / (2.285 * 2 pi * transition) + 1, made odd so that the filter delays by
// a whole number of samples, (N - 1) / 2. The window's ripple is the same in the passband and the
// stopband: 90 dB of attenuation also holds the passband within about 0.0003 dB.
//
// Frequencies are fractions of the sampling rate of the filter (0 to 0.5). The sinc is cut off
// in the middle of the transition band, so that the response there is one half.
struct KaiserLowpassDesign {
    double passbandEdge = 0;   // last frequency passed
    double stopbandEdge = 0;   // first frequency attenuated by attenuationDb
    double attenuationDb = 0;  // of the stopband, and the ripple of the passband
    double gain = 1;           // of the passband: an interpolator by L passes L
};

// The number of taps DesignKaiserLowpass gives, without designing them.
int64_t KaiserLowpassLength(const KaiserLowpassDesign& design);

// The taps, an odd number, symmetric about the middle one.
std::vector<double> DesignKaiserLowpass(const KaiserLowpassDesign& design);
// The same sinc and window moved `shift` samples (0 to 1) later: the filter also delays by that
// fraction of a sample, and its taps are symmetric no more.
std::vector<double> DesignKaiserLowpass(const KaiserLowpassDesign& design, double shift);

// Amplitude of the filter's response at a frequency (fraction of its sampling rate).
double LowpassAmplitude(const std::vector<double>& taps, double frequency);
