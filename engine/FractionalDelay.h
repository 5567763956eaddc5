#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Delays a signal by a fraction of one of its sample periods, one gap-free segment at a time:
// output sample k is the input interpolated at k - fraction, by a Kaiser-windowed sinc
// (KaiserLowpass.h) that passes 0 to 0.4 of the rate within 0.001 dB and takes everything from
// 0.6 of the rate on down by 90 dB. Made for signals already free of what lies above half the
// rate (a resampler's output), which it then moves without changing their amplitude. A channel
// sampled a little after the others is brought onto their instants this way.
//
// Edges, as the resampler's: the input is mirrored about the segment's first and last samples,
// so nothing from before the segment or after it enters a sample. There are as many outputs as
// inputs. The state held is the recent input only, whatever the length.
class FractionalDelay {
public:
    // fraction: 0 to 1 of a sample period; 0 passes the samples through unchanged.
    explicit FractionalDelay(double fraction = 0);

    bool Delays() const { return !taps.empty(); }
    double Fraction() const { return fraction; }
    // Appends to `output` the samples that `count` more input samples complete.
    void Push(const float* samples, std::size_t count, std::vector<float>& output);
    // Appends the segment's remaining samples and makes ready for the next segment.
    void Finish(std::vector<float>& output);
    // Forgets the segment under way (left unfinished), keeping the taps, for the next segment.
    void Restart();

private:
    float Input(int64_t index) const;  // mirrored about the ends as far as they are known
    void Produce(int64_t last, std::vector<float>& output);

    double fraction = 0;
    std::vector<float> taps;  // taps[j] multiplies input k - half + j for output k
    int64_t half = 0;
    std::vector<float> held;  // input samples from heldFirst on
    int64_t heldFirst = 0;
    int64_t received = 0;
    int64_t next = 0;  // the next output
    bool finished = false;
};
