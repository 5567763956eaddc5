#pragma once

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "engine/OrvToEDF.h"
#include "tests/support/EdfParser.h"
#include "tests/support/RecordingBuilder.h"
#include "tests/support/TempDir.h"

struct CapturedMessage {
    OrvLogging::ORVB_MESSAGE_TYPE type;
    std::wstring text;
};

// A recording directory of its own, an engine whose messages are captured, and helpers that
// write channel files into the directory.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        engine.Subscribe([this](OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) {
            messages.push_back({type, text});
        }, subscription);
    }

    std::wstring PathOf(const std::string& name) const { return (dir.path / name).wstring(); }

    std::wstring WriteChannel(const RecordingBuilder::Channel& channel,
                              const std::vector<RecordingBuilder::CscRecord>& records)
    {
        const std::string name = channel.name + ".ocs";
        RecordingBuilder::WriteCscFile(dir.path / name, RecordingBuilder::ChannelHeader(channel), records);
        return PathOf(name);
    }

    std::wstring WriteEvents(const std::vector<RecordingBuilder::EventRecord>& events)
    {
        RecordingBuilder::WriteEventFile(dir.path / "Events.oev", {"-FileType Event"}, events);
        return PathOf("Events.oev");
    }

    int Convert(const std::wstring& eventFile, const std::vector<std::wstring>& cscFiles)
    {
        return engine.Convert(PathOf("DevOutput.edf"), eventFile, cscFiles);
    }

    bool HasMessage(OrvLogging::ORVB_MESSAGE_TYPE type, const std::wstring& text) const
    {
        for (const CapturedMessage& message : messages) {
            if (message.type == type && message.text == text)
                return true;
        }
        return false;
    }

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

    TempDir dir;
    OrvToEDF engine;
    SubscriptionId subscription = 0;
    std::vector<CapturedMessage> messages;
};
