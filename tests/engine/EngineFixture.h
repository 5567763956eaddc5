#pragma once

#include <algorithm>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "engine/OrvToEDF.h"
#include "tests/support/Bytes.h"
#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

constexpr uint64_t july5th2017 = 1499248800ull * 1000000;  // 2017-07-05 10:00:00 UTC, µs

// `count` samples first, first + 1, ..., then zeros up to `paddedTo`.
inline std::vector<int16_t> Ramp(int first, size_t count, size_t paddedTo = 0)
{
    std::vector<int16_t> samples(std::max(count, paddedTo), 0);
    for (size_t i = 0; i < count; ++i)
        samples[i] = static_cast<int16_t>(first + static_cast<int>(i));
    return samples;
}

// Every annotation of the file as "onset text", time-keeping TALs left out.
inline std::vector<std::string> TalTexts(const EdfFile& file)
{
    std::vector<std::string> texts;
    for (const EdfTal& tal : file.annotations) {
        for (const std::string& text : tal.texts)
            texts.push_back(tal.onset + " " + text);
    }
    return texts;
}

// The file as the test parser reads it; empty when it cannot be read, which tests index with at().
inline EdfFile Parsed(const std::filesystem::path& path)
{
    EdfFile file;
    std::string error;
    EXPECT_TRUE(ParseEdfFile(path, file, error)) << path << ": " << error;
    return file;
}

inline RecordingBuilder::Channel Named(const std::string& name)
{
    RecordingBuilder::Channel channel;
    channel.name = name;
    return channel;
}

// A recording directory of its own, an engine whose messages are captured, and helpers that
// write channel files into the directory.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine.Subscribe(
            [this](OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) {
                messages.push_back({type, text});
            },
            subscription);
    }

    std::wstring PathOf(const std::string& name) const { return (dir.path / name).wstring(); }

    std::wstring WriteChannel(const RecordingBuilder::Channel& channel,
                              const std::vector<RecordingBuilder::CscRecord>& records)
    {
        const std::string name = channel.name + ".ocs";
        RecordingBuilder::WriteCscFile(dir.path / name, RecordingBuilder::ChannelHeader(channel), records);
        return PathOf(name);
    }

    // An event file without a -FileType line: its name says what it holds.
    std::wstring WriteEvents(const std::vector<RecordingBuilder::EventRecord>& events)
    {
        RecordingBuilder::WriteEventFile(dir.path / "Events.oev", {"######## Acquisition File Header"}, events);
        return PathOf("Events.oev");
    }

    int Convert(const std::wstring& eventFile, const std::vector<std::wstring>& cscFiles)
    {
        return engine.Convert(PathOf("DevOutput.edf"), eventFile, cscFiles);
    }

    EdfFile ParsedOutput(const std::string& name = "DevOutput.edf") const { return Parsed(dir.path / name); }

    std::vector<std::string> EdfFilesWritten() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path)) {
            if (entry.path().extension() == ".edf")
                names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    void EmptyDirectory()
    {
        for (const auto& entry : std::filesystem::directory_iterator(dir.path))
            std::filesystem::remove_all(entry.path());
    }

    TempDir dir;
    OrvToEDF engine;
    SubscriptionId subscription = 0;
    struct CapturedMessage {
        OrvLogging::ORVB_MESSAGE_TYPE type;
        std::wstring text;
    };
    std::vector<CapturedMessage> messages;
};
