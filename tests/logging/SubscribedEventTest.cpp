#include "logging/SubscribedEvent.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

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
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);
    EXPECT_EQ(third, 2);
    EXPECT_EQ(deliveries, (std::vector<std::wstring>{L"A Notice one", L"B Notice one", L"A Warning two",
                                                     L"B Warning two", L"C Warning two"}));
}
