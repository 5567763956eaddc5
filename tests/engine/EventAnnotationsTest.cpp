// Which events each output file gets, read back from the files: a recording split by gaps into
// many files, with an event file in no time order, must give every file exactly the events of
// its own window, in event-file order, and list the others as left out.
#include <random>

#include "logging/TextConversion.h"
#include "tests/engine/EngineFixture.h"

using RecordingBuilder::Channel;
using RecordingBuilder::ContinuousRecords;
using RecordingBuilder::CscRecord;
using RecordingBuilder::EventRecord;

namespace {

constexpr int frequency = 1000;          // one-second records of 1,000 samples
constexpr size_t segmentSamples = 8000;  // 8 records: room for 6 events besides the two fixed ones
constexpr uint64_t segmentSpacingUs = 20000000;
constexpr int segmentCount = 12;

// The onset as the annotation signal writes it: "+seconds", and four decimals unless whole.
std::string OnsetText(uint64_t timestamp, uint64_t fileStart)
{
    const uint64_t units = (timestamp - fileStart) / 100;  // 100 µs, truncated
    std::string text = "+" + std::to_string(units / 10000);
    if (units % 10000 != 0) {
        const std::string fraction = std::to_string(10000 + units % 10000);
        text += "." + fraction.substr(1);
    }
    return text;
}

}  // namespace

TEST_F(EngineTest, EachFileGetsTheEventsOfItsWindowInFileOrderFromAScrambledEventFile)
{
    std::vector<CscRecord> records;
    std::vector<uint64_t> starts;
    std::vector<EventRecord> events;
    for (int s = 0; s < segmentCount; ++s) {
        const uint64_t start = july5th2017 + static_cast<uint64_t>(s) * segmentSpacingUs;
        const uint64_t end = start + (segmentSamples - 1) * 1000;
        starts.push_back(start);
        const std::vector<CscRecord> segment = ContinuousRecords(start, frequency, segmentSamples, 0);
        records.insert(records.end(), segment.begin(), segment.end());
        const std::string name = std::to_string(s);
        events.push_back({start, name + " at the first instant"});
        events.push_back({start + 1234567, name + " inside"});
        events.push_back({start + 3000000, name + " same instant a"});
        events.push_back({start + 3000000, name + " same instant b"});
        events.push_back({end, name + " at the last instant"});
        events.push_back({end + 1, name + " just after"});
        events.push_back({start + 12000000, name + " in the gap"});
    }
    events.push_back({july5th2017 - 1, "just before the first instant"});
    events.push_back({0, "at the clock's start"});
    std::mt19937 random(7);
    std::shuffle(events.begin(), events.end(), random);
    const std::wstring csc = WriteChannel(Channel{}, records);
    ASSERT_EQ(Convert(WriteEvents(events), {csc}), 0);

    const std::vector<OutputFileSummary>& outputs = engine.Summary().outputs;
    ASSERT_EQ(outputs.size(), static_cast<size_t>(segmentCount));
    std::vector<bool> placed(events.size(), false);
    for (int s = 0; s < segmentCount; ++s) {
        const uint64_t start = starts[static_cast<size_t>(s)];
        const uint64_t end = start + (segmentSamples - 1) * 1000;
        EXPECT_EQ(outputs[static_cast<size_t>(s)].firstSampleUs, start);
        std::vector<std::string> expected = {"+0 Recording starts"};
        for (size_t e = 0; e < events.size(); ++e) {
            if (events[e].timestamp >= start && events[e].timestamp <= end) {
                expected.push_back(OnsetText(events[e].timestamp, start) + " " + events[e].text);
                placed[e] = true;
            }
        }
        expected.push_back(OnsetText(end, start) + " Recording ends");
        ASSERT_EQ(expected.size(), 7u);
        const std::filesystem::path file(outputs[static_cast<size_t>(s)].file);
        EXPECT_EQ(TalTexts(Parsed(file)), expected) << file;
    }

    std::vector<std::pair<uint64_t, std::string>> leftOut;
    for (size_t e = 0; e < events.size(); ++e) {
        if (!placed[e])
            leftOut.emplace_back(events[e].timestamp, events[e].text);
    }
    std::vector<std::pair<uint64_t, std::string>> listed;
    for (const EventSummary& event : engine.Summary().leftOutEvents)
        listed.emplace_back(event.timestamp, event.text);
    EXPECT_EQ(listed, leftOut);
    EXPECT_EQ(engine.Summary().eventsLeftOut, 2 * segmentCount + 2);
    const std::wstring warning = std::to_wstring(2 * segmentCount + 2)
                                 + L" events lie in no EDF+ file: before the first sample instant, in a gap or after "
                                   L"the last one (timestamps from 0 \u00b5s to "
                                 + std::to_wstring(starts.back() + 12000000) + L" \u00b5s).";
    EXPECT_TRUE(std::any_of(
        messages.begin(), messages.end(),
        [&](const CapturedMessage& message) { return message.type == OrvLogging::Warning && message.text == warning; }))
        << "no Warning: " << OrvText::WideToUtf8(warning);
}

TEST_F(EngineTest, EventsInNoFileAreListedWhateverTheirOrder)
{
    // No event in any window, none at all, and a recording without an event file.
    const std::vector<CscRecord> records = ContinuousRecords(july5th2017, frequency, 3000, 0);
    const struct {
        const char* name;
        std::vector<EventRecord> events;
        bool eventFile;
        std::vector<std::pair<uint64_t, std::string>> leftOut;
    } cases[] = {
        {"all outside",
         {{july5th2017 + 5000000, "late"}, {july5th2017 - 5, "early"}, {july5th2017 + 2999001, "after the end"}},
         true,
         {{july5th2017 + 5000000, "late"}, {july5th2017 - 5, "early"}, {july5th2017 + 2999001, "after the end"}}},
        {"empty event file", {}, true, {}},
        {"no event file", {}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EmptyDirectory();
        const std::wstring csc = WriteChannel(Channel{}, records);
        OrvToEDF fresh;
        ASSERT_EQ(fresh.Convert(PathOf("DevOutput.edf"), c.eventFile ? WriteEvents(c.events) : L"", {csc}), 0);
        std::vector<std::pair<uint64_t, std::string>> listed;
        for (const EventSummary& event : fresh.Summary().leftOutEvents)
            listed.emplace_back(event.timestamp, event.text);
        EXPECT_EQ(listed, c.leftOut);
        EXPECT_EQ(fresh.Summary().eventsLeftOut, static_cast<int64_t>(c.leftOut.size()));
        EXPECT_EQ(TalTexts(ParsedOutput()),
                  (std::vector<std::string>{"+0 Recording starts", "+2.9990 Recording ends"}));
    }
}
