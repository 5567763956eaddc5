#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "edf/EdfParser.h"

// Success when `bytes` holds `expected` from `offset` on; otherwise a failure naming the first
// differing offset with both bytes. Use as EXPECT_TRUE(BytesAt(bytes, 236, "3       ")).
::testing::AssertionResult BytesAt(const std::vector<unsigned char>& bytes, std::size_t offset,
                                   std::string_view expected);
