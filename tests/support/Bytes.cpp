#include "tests/support/Bytes.h"

#include <cstdio>

::testing::AssertionResult BytesAt(const std::vector<unsigned char>& bytes, std::size_t offset,
                                   std::string_view expected)
{
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (offset + i >= bytes.size())
            return ::testing::AssertionFailure()
                   << "offset " << offset + i << ": end of the " << bytes.size() << "-byte file, " << expected.size()
                   << " bytes expected from offset " << offset;
        auto want = static_cast<unsigned char>(expected[i]);
        if (bytes[offset + i] != want) {
            char text[64];
            std::snprintf(text, sizeof text, "offset %zu: byte 0x%02X, expected 0x%02X", offset + i, bytes[offset + i],
                          want);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}
