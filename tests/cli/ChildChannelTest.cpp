// The frames between a recording's process and the batch: written by PipeOutput, taken apart by
// FrameBuffer however the bytes arrive.
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "ChildChannel.h"

namespace {

struct Frame {
    FrameType type;
    std::string payload;
    bool operator==(const Frame&) const = default;
};

// The bytes PipeOutput writes for what `say` does with it, read back from a pipe.
template <typename Say> std::string SentBytes(Say say)
{
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    {
        PipeOutput output(ends[1]);
        say(output);
    }
    (void)close(ends[1]);
    std::string bytes;
    char buffer[4096];
    for (ssize_t got = 0; (got = read(ends[0], buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, static_cast<size_t>(got));
    (void)close(ends[0]);
    return bytes;
}

std::vector<Frame> Drain(FrameBuffer& frames)
{
    std::vector<Frame> taken;
    FrameType type{};
    std::string payload;
    while (frames.Next(type, payload))
        taken.push_back({type, payload});
    return taken;
}

void SayAll(RunOutput& output)
{
    output.Line("Conversion Complete");
    output.ErrorLine("varelo-convert: a problem");
    output.ReportLine(std::string(300, 'r'));  // a length above one byte
    output.Line("");
}

const std::vector<Frame> allSaid = {{FrameType::Line, "Conversion Complete"},
                                    {FrameType::ErrorLine, "varelo-convert: a problem"},
                                    {FrameType::Report, std::string(300, 'r')},
                                    {FrameType::Line, ""}};

}  // namespace

TEST(ChildChannelTest, FrameIsTypeByteLittleEndianLengthAndPayload)
{
    // 'O', then 3 as four little-endian bytes, then the text; 300 is 0x012C.
    EXPECT_EQ(SentBytes([](RunOutput& output) { output.Line("abc"); }), std::string("O\x03\x00\x00\x00"
                                                                                    "abc",
                                                                                    8));
    EXPECT_EQ(SentBytes([](RunOutput& output) { output.ReportLine(std::string(300, 'x')); }),
              std::string("R\x2C\x01\x00\x00", 5) + std::string(300, 'x'));
    EXPECT_EQ(SentBytes([](RunOutput& output) { output.ErrorLine(""); }), std::string("E\x00\x00\x00\x00", 5));
}

TEST(ChildChannelTest, FramesComeOutWhole)
{
    const std::string bytes = SentBytes(SayAll);
    // However the pipe cuts the bytes: at once, byte by byte, in pieces that split frames and
    // their length fields.
    for (const size_t piece : {bytes.size(), size_t{1}, size_t{2}, size_t{3}, size_t{7}, size_t{64}}) {
        SCOPED_TRACE("pieces of " + std::to_string(piece));
        FrameBuffer frames;
        std::vector<Frame> taken;
        for (size_t at = 0; at < bytes.size(); at += piece) {
            frames.Append(bytes.data() + at, std::min(piece, bytes.size() - at));
            for (const Frame& frame : Drain(frames))
                taken.push_back(frame);
        }
        EXPECT_EQ(taken, allSaid);
    }
}

TEST(ChildChannelTest, TruncatedFrameIsHeldBackUntilItIsWhole)
{
    const std::string bytes = SentBytes([](RunOutput& output) {
        output.Line("whole");
        output.Line("cut short");
    });
    const size_t secondFrame = 5 + 5;
    for (const size_t cut : {secondFrame + 1, secondFrame + 4, secondFrame + 5, bytes.size() - 1}) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        FrameBuffer frames;
        frames.Append(bytes.data(), cut);
        EXPECT_EQ(Drain(frames), (std::vector<Frame>{{FrameType::Line, "whole"}}));
        frames.Append(bytes.data() + cut, bytes.size() - cut);
        EXPECT_EQ(Drain(frames), (std::vector<Frame>{{FrameType::Line, "cut short"}}));
    }
}

TEST(ChildChannelTest, ProgressGoesOutWhenItsWholePercentChanges)
{
    const std::string bytes = SentBytes([](RunOutput& output) {
        for (const double fraction : {0.0, 0.001, 0.009, 0.01, 0.015, 0.5, 0.999, 1.0, 1.5})
            output.Progress(fraction);
    });
    FrameBuffer frames;
    frames.Append(bytes.data(), bytes.size());
    std::vector<std::string> sent;
    for (const Frame& frame : Drain(frames)) {
        EXPECT_EQ(frame.type, FrameType::Progress);
        sent.push_back(frame.payload);
    }
    EXPECT_EQ(sent, (std::vector<std::string>{"0.000000", "0.010000", "0.500000", "0.999000", "1.000000"}));
}
