#include "logging/MessageType.h"

#include <gtest/gtest.h>

using namespace OrvLogging;

TEST(MessageTypeTest, EveryValueHasItsNameAndFourteenCharacterTag)
{
    // Each tag: hyphen, asterisk, the word centred in nine characters, asterisk, hyphen, blank.
    const struct {
        int value;
        const wchar_t* name;
        const wchar_t* tag;
    } cases[] = {
        {-1, L"Unknown", L"-* UNKNOWN *- "}, {0, L"Fatal", L"-*  FATAL  *- "},   {1, L"Error", L"-*  ERROR  *- "},
        {2, L"Warning", L"-* WARNING *- "},  {3, L"Notice", L"-* NOTICE  *- "},  {4, L"Data", L"-*  DATA   *- "},
        {5, L"Debug", L"-*  DEBUG  *- "},    {6, L"Unknown", L"-* UNKNOWN *- "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MessageTypeName(static_cast<ORVB_MESSAGE_TYPE>(c.value)), c.name) << c.value;
        EXPECT_EQ(MessageTypeTag(static_cast<ORVB_MESSAGE_TYPE>(c.value)), c.tag) << c.value;
    }
}
