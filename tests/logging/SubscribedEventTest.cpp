#include "logging/SubscribedEvent.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using OrvLogging::ORVB_MESSAGE_TYPE;

namespace {

struct Delivery {
    std::string handler;
    ORVB_MESSAGE_TYPE type;
    std::wstring text;
};

}  // namespace

TEST(SubscribedEventTest, PublishingWithoutHandlersDoesNothing)
{
    MessageEvent event;
    event.Publish(OrvLogging::Error, L"nobody listens");
    SubscriptionId id = -1;
    event.Subscribe([](ORVB_MESSAGE_TYPE, const std::wstring&) {}, id);
    EXPECT_EQ(id, 0);
}

TEST(SubscribedEventTest, HandlersReceiveEveryMessageInSubscriptionOrder)
{
    MessageEvent event;
    std::vector<Delivery> deliveries;
    SubscriptionId first = -1;
    SubscriptionId second = -1;
    event.Subscribe([&](ORVB_MESSAGE_TYPE type, const std::wstring& text) { deliveries.push_back({"A", type, text}); },
                    first);
    event.Subscribe([&](ORVB_MESSAGE_TYPE type, const std::wstring& text) { deliveries.push_back({"B", type, text}); },
                    second);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 1);

    event.Publish(OrvLogging::Notice, L"one");
    event.Publish(OrvLogging::Warning, L"two");

    ASSERT_EQ(deliveries.size(), 4u);
    EXPECT_EQ(deliveries[0].handler, "A");
    EXPECT_EQ(deliveries[1].handler, "B");
    EXPECT_EQ(deliveries[1].text, L"one");
    EXPECT_EQ(deliveries[2].handler, "A");
    EXPECT_EQ(deliveries[2].type, OrvLogging::Warning);
    EXPECT_EQ(deliveries[3].text, L"two");
}

TEST(SubscribedEventTest, IdsKeepCountingAfterManyPublications)
{
    MessageEvent event;
    SubscriptionId id = -1;
    int calls = 0;
    event.Subscribe([&](ORVB_MESSAGE_TYPE, const std::wstring&) { ++calls; }, id);
    event.Subscribe([&](ORVB_MESSAGE_TYPE, const std::wstring&) { ++calls; }, id);
    for (int i = 0; i < 100; ++i)
        event.Publish(OrvLogging::Notice, L"again");
    event.Subscribe([](ORVB_MESSAGE_TYPE, const std::wstring&) {}, id);
    EXPECT_EQ(id, 2);
    EXPECT_EQ(calls, 200);
}

TEST(SubscribedEventTest, EveryHandlerSeesThePublishersOwnCopy)
{
    MessageEvent event;
    SubscriptionId id = 0;
    const std::wstring* seenByFirst = nullptr;
    const std::wstring* seenBySecond = nullptr;
    event.Subscribe([&](ORVB_MESSAGE_TYPE, const std::wstring& text) { seenByFirst = &text; }, id);
    event.Subscribe([&](ORVB_MESSAGE_TYPE, const std::wstring& text) { seenBySecond = &text; }, id);
    std::wstring text = L"shared";
    event.Publish(OrvLogging::Notice, text);
    EXPECT_EQ(seenByFirst, seenBySecond);
    EXPECT_NE(seenByFirst, &text);
}
