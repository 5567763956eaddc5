#include "edf/RecordSizing.h"

#include <gtest/gtest.h>

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
