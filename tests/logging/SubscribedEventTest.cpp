#include "logging/SubscribedEvent.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using OrvLogging::ORVB_MESSAGE_TYPE;

TEST(SubscribedEventTest, HandlersReceiveEveryMessageInSubscriptionOrder)
{
    MessageEvent event;
    event.Publish(OrvLogging::Error, L"nobody listens");
    std::vector<std::wstring> deliveries;
    SubscriptionId first = -1;
    SubscriptionId second = -1;
    event.Subscribe(
        [&](ORVB_MESSAGE_TYPE type, const std::wstring& text) {
            deliveries.push_back(L"A " + OrvLogging::MessageTypeName(type) + L" " + text);
        },
        first);
    event.Subscribe(
        [&](ORVB_MESSAGE_TYPE type, const std::wstring& text) {
            deliveries.push_back(L"B " + OrvLogging::MessageTypeName(type) + L" " + text);
        },
        second);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);

    event.Publish(OrvLogging::Notice, L"one");
    event.Publish(OrvLogging::Warning, L"two");
    EXPECT_EQ(deliveries,
              (std::vector<std::wstring>{L"A Notice one", L"B Notice one", L"A Warning two", L"B Warning two"}));

    // Ids keep counting after publications, and a later handler comes after the earlier ones.
    SubscriptionId third = -1;
    event.Subscribe([&](ORVB_MESSAGE_TYPE, const std::wstring& text) { deliveries.push_back(L"C " + text); }, third);
    EXPECT_EQ(third, 2);
    deliveries.clear();
    event.Publish(OrvLogging::Error, L"three");
    EXPECT_EQ(deliveries, (std::vector<std::wstring>{L"A Error three", L"B Error three", L"C three"}));
}

TEST(SubscribedEventTest, EveryHandlerSeesThePublishersOwnCopy)
{
    // A handler that changes the publisher's string must not change what later handlers see.
    MessageEvent event;
    SubscriptionId id = 0;
    std::wstring text = L"shared";
    std::vector<std::wstring> seen;
    event.Subscribe(
        [&](ORVB_MESSAGE_TYPE, const std::wstring& received) {
            seen.push_back(received);
            text = L"changed";
        },
        id);
    event.Subscribe([&](ORVB_MESSAGE_TYPE, const std::wstring& received) { seen.push_back(received); }, id);
    event.Publish(OrvLogging::Notice, text);
    EXPECT_EQ(seen, (std::vector<std::wstring>{L"shared", L"shared"}));
}
