#include "logging/MessageType.h"

#include <string>
#include <vector>

#include "logging/SubscribedEvent.h"
#include "logging/TextConversion.h"

#include <gtest/gtest.h>

using namespace OrvLogging;
using namespace OrvText;

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

TEST(SubscribedEventTest, HandlersReceiveEveryMessageInSubscriptionOrderUnderCountingIds)
{
    MessageEvent event;
    event.Publish(OrvLogging::Error, L"nobody listens");
    std::vector<std::wstring> deliveries;
    const auto handler = [&deliveries](const std::wstring& name) {
        return [&deliveries, name](OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) {
            deliveries.push_back(name + L" " + OrvLogging::MessageTypeName(type) + L" " + text);
        };
    };
    SubscriptionId first = -1;
    SubscriptionId second = -1;
    SubscriptionId third = -1;
    event.Subscribe(handler(L"A"), first);
    event.Subscribe(handler(L"B"), second);
    event.Publish(OrvLogging::Notice, L"one");
    // Ids keep counting after publications, and a later handler comes after the earlier ones.
    event.Subscribe(handler(L"C"), third);
    event.Publish(OrvLogging::Warning, L"two");
    EXPECT_EQ((std::vector<SubscriptionId>{first, second, third}), (std::vector<SubscriptionId>{0, 1, 2}));
    EXPECT_EQ(deliveries, (std::vector<std::wstring>{L"A Notice one", L"B Notice one", L"A Warning two",
                                                     L"B Warning two", L"C Warning two"}));
}

TEST(TextConversionTest, Latin1CoversExactlyTheFirst256Characters)
{
    std::string latin1;
    EXPECT_TRUE(WideToLatin1(L"Caf\u00e9 \u00ff", latin1));
    EXPECT_EQ(latin1, "Caf\xe9 \xff");
    EXPECT_EQ(Latin1ToWide("Caf\xe9 \xff"), L"Caf\u00e9 \u00ff");
    EXPECT_FALSE(WideToLatin1(L"Ohm \u2126", latin1));
    EXPECT_TRUE(latin1.empty());
}

TEST(TextConversionTest, PathsAreUtf8AndNamesThatAreNotSurviveTheRoundTrip)
{
    // U+00E9 is C3 A9, U+2126 is E2 84 A6, U+1F600 is F0 9F 98 80.
    EXPECT_EQ(WideToUtf8(L"/d/\u00e9\u2126\U0001F600"), "/d/\xc3\xa9\xe2\x84\xa6\xf0\x9f\x98\x80");
    EXPECT_EQ(Utf8ToWide("/d/\xc3\xa9\xe2\x84\xa6\xf0\x9f\x98\x80"), L"/d/\u00e9\u2126\U0001F600");
    // A Latin-1 name from another system, a truncated sequence, an overlong slash and a surrogate.
    for (const std::string name : {"caf\xe9.ocs", "x\xe2\x84", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"}) {
        EXPECT_EQ(WideToUtf8(Utf8ToWide(name)), name);
        EXPECT_FALSE(IsUtf8(name)) << name;
    }
    for (const std::string name : {"", "/d/\xc3\xa9\xe2\x84\xa6\xf0\x9f\x98\x80", "\xf4\x8f\xbf\xbf"})
        EXPECT_TRUE(IsUtf8(name)) << name;
    EXPECT_EQ(Utf8ToWide("a\xe9"), std::wstring(L"a") + static_cast<wchar_t>(0xDCE9));
}
