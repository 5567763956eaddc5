#include "reader/OrvRecords.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Whatever lies after a text that fills its field never reaches an annotation: the writer keeps
// 40 bytes of a text, so only the field itself can show that the read stops at its end.
TEST(OrvRecordsTest, EventFieldsAreReadWithinTheRecord)
{
    std::vector<unsigned char> records(2 * sizeof(Velquor::EventRecord), 'y');  // no NUL anywhere
    std::fill(records.begin() + 56, records.begin() + 184, 'x');
    for (int i = 0; i < 8; ++i)
        records[static_cast<size_t>(6 + i)] = static_cast<unsigned char>(0x11 * (i + 1));
    EXPECT_EQ(Velquor::EventText(records.data()), std::string(128, 'x'));
    EXPECT_EQ(Velquor::EventTimestamp(records.data()), 0x8877665544332211ull);  // little-endian, unaligned
    records[56 + 5] = 0;
    EXPECT_EQ(Velquor::EventText(records.data()), "xxxxx");
}
