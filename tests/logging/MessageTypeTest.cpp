#include "logging/MessageType.h"

#include <gtest/gtest.h>

using namespace OrvLogging;

TEST(MessageTypeTest, EveryLevelHasItsFourteenCharacterTag)
{
    // Each tag: hyphen, asterisk, the word centred in nine characters, asterisk, hyphen, blank.
    EXPECT_EQ(MessageTypeTag(Fatal), L"-*  FATAL  *- ");
    EXPECT_EQ(MessageTypeTag(Error), L"-*  ERROR  *- ");
    EXPECT_EQ(MessageTypeTag(Warning), L"-* WARNING *- ");
    EXPECT_EQ(MessageTypeTag(Notice), L"-* NOTICE  *- ");
    EXPECT_EQ(MessageTypeTag(Data), L"-*  DATA   *- ");
    EXPECT_EQ(MessageTypeTag(Debug), L"-*  DEBUG  *- ");
    for (int value = -1; value <= 6; ++value) {
        const std::wstring tag = MessageTypeTag(static_cast<ORVB_MESSAGE_TYPE>(value));
        EXPECT_EQ(tag.size(), 14u) << "value " << value;
        EXPECT_EQ(tag.back(), L' ') << "value " << value;
    }
}

TEST(MessageTypeTest, ValuesOutsideTheTableAreUnknown)
{
    EXPECT_EQ(MessageTypeTag(static_cast<ORVB_MESSAGE_TYPE>(6)), L"-* UNKNOWN *- ");
    EXPECT_EQ(MessageTypeTag(static_cast<ORVB_MESSAGE_TYPE>(-1)), L"-* UNKNOWN *- ");
    EXPECT_EQ(MessageTypeName(static_cast<ORVB_MESSAGE_TYPE>(99)), L"Unknown");
}

TEST(MessageTypeTest, ValuesAndNamesAreFixed)
{
    EXPECT_EQ(static_cast<int>(Fatal), 0);
    EXPECT_EQ(static_cast<int>(Debug), 5);
    EXPECT_EQ(MessageTypeName(Warning), L"Warning");
    EXPECT_EQ(MessageTypeName(Notice), L"Notice");
}
