#pragma once

#include <ctime>
#include <string>
#include <vector>

// What the channel files' headers say about the recording, read once per conversion: every
// output file takes its signal parameters and, without a usable clock, its start date from it.
// The vectors are indexed like the channel files: entry i becomes EDF signal i.
struct RecordingParameters {
    int sampleFrequency = 0;                 // Hz, common to all channel files; with mixed rates the highest
    std::vector<int> sampleFrequencies;      // Hz, of each channel file
    std::vector<int> inputRanges;            // µV: the physical range is -range to range
    std::vector<int> adMaxValues;            // the digital range is ~max to max
    std::vector<std::wstring> channelNames;  // the signal labels, unless given others
    std::vector<std::wstring> labels;        // the labels given (ConversionOptions::labels); empty: the name
    std::vector<std::string> prefilters;     // EDF prefiltering texts (ChannelFilters.h); none: blank
    tm recordingStartTime{};

    const std::wstring& Label(size_t i) const
    {
        return i < labels.size() && !labels[i].empty() ? labels[i] : channelNames[i];
    }

    // µV of one digital unit of channel i: its input range / its A/D maximum (1 for a maximum of
    // 0, which has no step).
    // Whether the channel files have different rates, each written at its own.
    bool MixedRates() const
    {
        for (const int f : sampleFrequencies) {
            if (f != sampleFrequency)
                return true;
        }
        return false;
    }

    double Step(size_t i) const
    {
        return static_cast<double>(inputRanges[i]) / static_cast<double>(adMaxValues[i] > 0 ? adMaxValues[i] : 1);
    }  // calendar values of the first file's creation: full year, month 1 to 12
};
