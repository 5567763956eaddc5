#pragma once

#include <cstdint>
#include <vector>

// How many samples of each signal a data record holds and how long it lasts, for n signals
// sampled at f Hz. The duration is a whole number of 10 µs, which the header writes exactly.
struct RecordSize {
    int samplesPerRecord = 0;
    int durationUnits = 0;  // units of 10 µs
};

constexpr int64_t largestRecordSampleBytes = 61440;  // what a data record should hold at most
constexpr int oneSecondUnits = 100000;               // one second in units of 10 µs

// The writer's rule: one second when a second of samples fits 61,440 bytes; otherwise the second
// is cut into p = bytes / 61,440 + 1 parts, each lasting floor(1 s / p) and holding floor(f / p)
// samples. The duration is then not exactly samplesPerRecord / f, so EDF readers, which derive
// the rate from the header, see a slightly different one (RateSeen).
RecordSize SpecifiedRecordSize(int64_t signalCount, int sampleFrequency);

// Records whose duration is exactly samplesPerRecord / f: the writer's rule where it gives such
// records; otherwise the largest exact record that holds at most 61,440 bytes and lasts at least
// 1 ms and at most one second, and where no such record fits the bytes, the smallest exact one
// (never longer than one second: f samples in 1 s is always exact).
RecordSize ExactRecordSize(int64_t signalCount, int sampleFrequency);

// Records of signals sampled at different rates, in signal order: the duration holds a whole
// number of samples of every rate (a multiple of the least common multiple of each rate's exact
// step), and is the largest such duration within 61,440 bytes, at least 1 ms and at most one
// second; where none fits the bytes, the shortest one of at least 1 ms. Signals that all share one
// rate get ExactRecordSize.
struct MixedRecordSize {
    std::vector<int> samplesPerRecord;  // per signal
    int durationUnits = 0;              // units of 10 µs
};
MixedRecordSize ExactMixedRecordSize(const std::vector<int>& sampleFrequencies);

// The sampling rate that a reader derives from the header: samples per record / duration.
double RateSeen(const RecordSize& size);
