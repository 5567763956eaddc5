#include "edf/RecordSizing.h"

#include <gtest/gtest.h>

#include <vector>

// The sizes of the README's table, worked out by hand: the usual rule cuts a second into
// p = bytes / 61,440 + 1 parts; the exact one takes the largest multiple n of f / gcd(f, 100,000)
// (so that n × 100,000 / f is whole) within 61,440 bytes and one second, else the smallest.
TEST(RecordSizingTest, UsualAndExactRecordsOfCommonRates)
{
    const struct {
        int signals, frequency;
        int usualSamples, usualUnits;
        int exactSamples, exactUnits;
    } cases[] = {
        {1, 1000, 1000, 100000, 1000, 100000},   // a second fits: both one second
        {32, 2000, 666, 33333, 960, 48000},      // p = 3; exact: step 1, 960 samples in 0.48 s
        {128, 2000, 222, 11111, 240, 12000},     // p = 9
        {32, 16000, 941, 5882, 960, 6000},       // p = 17; step 4
        {32, 20000, 952, 4761, 960, 4800},       // p = 21; step 1
        {32, 30000, 937, 3125, 960, 3200},       // p = 32; step 3
        {1, 32000, 16000, 50000, 16000, 50000},  // p = 2: exact already, and kept
        {32, 32000, 941, 2941, 960, 3000},       // p = 34; step 8
        {128, 32000, 238, 746, 240, 750},        // p = 134
        {32, 30011, 937, 3125, 30011, 100000},   // step 30,011: no exact record fits, one second
        {512, 1000000, 59, 5, 1000, 100},        // p = 16,668: 5 units, below 1 ms; exact at the minimum
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.signals << " signals at " << c.frequency << " Hz");
        const RecordSize usual = SpecifiedRecordSize(c.signals, c.frequency);
        const RecordSize exact = ExactRecordSize(c.signals, c.frequency);
        EXPECT_EQ(usual.samplesPerRecord, c.usualSamples);
        EXPECT_EQ(usual.durationUnits, c.usualUnits);
        EXPECT_EQ(exact.samplesPerRecord, c.exactSamples);
        EXPECT_EQ(exact.durationUnits, c.exactUnits);
        EXPECT_DOUBLE_EQ(RateSeen(exact), c.frequency);
    }
    EXPECT_NEAR(RateSeen(SpecifiedRecordSize(32, 32000)), 31995.92, 0.005);
}

// Mixed rates: the step of every rate (f / gcd(f, 100,000) samples in a whole number of 10 µs)
// worked out by hand, the record the largest multiple of their common step within the bytes.
TEST(RecordSizingTest, MixedRatesShareRecordsWholeForEveryRate)
{
    const struct {
        std::vector<int> frequencies;
        std::vector<int> samples;
        int units;
    } cases[] = {
        // steps 25 and 50 units; 136 bytes per 50 units: 451 × 50 units, 61,336 bytes
        {{32000, 32000, 32000, 32000, 2000, 2000, 2000, 2000}, {7216, 7216, 7216, 7216, 451, 451, 451, 451}, 22550},
        {{1000, 250}, {1000, 250}, 100000},      // a second fits
        {{30011, 1000}, {30011, 1000}, 100000},  // only one second is whole for 30,011 Hz
        {{1000000, 1000000, 999999, 1}, {1000000, 1000000, 999999, 1}, 100000},  // no shorter duration is whole
        {{32000, 20000, 32000}, {11696, 7310, 11696}, 36550},  // steps 25 and 5 units: 42 bytes per 25
        {{32000, 32000}, {15360, 15360}, 48000},               // one rate: as ExactRecordSize
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.frequencies.size() << " signals, first at " << c.frequencies.front());
        const MixedRecordSize size = ExactMixedRecordSize(c.frequencies);
        EXPECT_EQ(size.samplesPerRecord, c.samples);
        EXPECT_EQ(size.durationUnits, c.units);
        for (size_t i = 0; i < c.frequencies.size(); ++i)
            EXPECT_EQ(static_cast<int64_t>(size.samplesPerRecord[i]) * oneSecondUnits,
                      static_cast<int64_t>(c.frequencies[i]) * size.durationUnits);
    }
}
