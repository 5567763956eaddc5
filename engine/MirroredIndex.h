#pragma once

#include <cstdint>

// The edge rule of the resampling filters: a gap-free segment of n samples is seen mirrored about
// its first and its last sample (x[-i] = x[i], x[n - 1 + i] = x[n - 1 - i]), as often as a short
// segment needs, so that no sample from before the segment or after it enters an output. The
// index of the segment's sample that stands at index i; 0 for a segment of one sample (or none).
int64_t MirroredIndex(int64_t i, int64_t n);
