// The channel values that become the EDF signal parameters: input range, A/D maximum, name, and
// the creation time of the first file.
#include <sstream>

#include "ChannelFilters.h"
#include "ReaderFailure.h"
#include "TextHelpers.h"
#include "edf/EdfFileEngine.h"
#include "engine/ChannelChoice.h"
#include "engine/OrvToEDF.h"
#include "logging/TextConversion.h"

namespace {

constexpr size_t datePartCount = 3;  // year/month/day and hour:minute:second
// The physical limits -range and range go into header fields of 8 characters.
constexpr int largestInputRange = 9999999;

// A positive whole number (ReadWholeNumber); 0 for anything else.
int PositiveNumber(const std::wstring& text)
{
    int value = 0;
    return ReadWholeNumber(text, value) && value >= 1 ? value : 0;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// A date that the calendar has, at a time that a clock shows, in a year the EDF header holds.
bool IsRealDateAndTime(const tm& time)
{
    constexpr int daysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!EdfStartDateTimeAccepted(time.tm_year, time.tm_mon, time.tm_mday, time.tm_hour, time.tm_min, time.tm_sec))
        return false;
    const int days = daysInMonth[time.tm_mon - 1] + (time.tm_mon == 2 && IsLeapYear(time.tm_year) ? 1 : 0);
    return time.tm_mday <= days;
}

}  // namespace

int OrvToEDF::GetInputRanges(Velquor::OrvFileIO& reader, const std::vector<int>& handles, std::vector<int>& ranges)
{
    ranges.clear();
    for (size_t channel = 0; channel < handles.size(); ++channel) {
        std::wstring field;
        if (GetFirstField(reader, handles, channel, L"-InputRange", field) != 0)
            return -1;
        // More digits would be cut in the header; the range -range to range must be one that
        // the header can scale by.
        const int range = PositiveNumber(field);
        if (range == 0 || range > largestInputRange || EdfCheckPhysicalRange(-range, range) != EdfOk) {
            messageEvent.Publish(OrvLogging::Error, L"Invalid -InputRange value " + field + L" for CSC file: "
                                                        + FileNameOf(channel)
                                                        + L". It must be a whole number from 1 to "
                                                        + std::to_wstring(largestInputRange) + L".");
            return -1;
        }
        ranges.push_back(range);
    }
    return 0;
}

int OrvToEDF::GetADMaxValues(Velquor::OrvFileIO& reader, const std::vector<int>& handles, std::vector<int>& values)
{
    values.clear();
    for (size_t channel = 0; channel < handles.size(); ++channel) {
        std::wstring field;
        if (GetFirstField(reader, handles, channel, L"-ADMaxValue", field) != 0)
            return -1;
        // The digital range runs from ~adMaximum to adMaximum: 16-bit samples, and not empty.
        const int adMaximum = PositiveNumber(field);
        if (adMaximum == 0 || EdfCheckDigitalRange(~adMaximum, adMaximum) != EdfOk) {
            messageEvent.Publish(OrvLogging::Error, L"Invalid -ADMaxValue value " + field + L" for CSC file: "
                                                        + FileNameOf(channel)
                                                        + L". It must be a whole number from 1 to "
                                                        + std::to_wstring(edfLargestDigitalValue) + L".");
            return -1;
        }
        values.push_back(adMaximum);
    }
    return 0;
}

int OrvToEDF::GetChannelNames(Velquor::OrvFileIO& reader, const std::vector<int>& handles,
                              std::vector<std::wstring>& names)
{
    names.clear();
    for (size_t channel = 0; channel < handles.size(); ++channel) {
        std::wstring field;
        if (GetFirstField(reader, handles, channel, L"-AcqEntName", field) != 0)
            return -1;
        // The name becomes the signal's label; one that reads as the annotation signal's label
        // would give the file a second annotation signal, which EDF+ readers reject.
        std::string label;
        (void)OrvText::WideToLatin1(field, label);
        if (EdfLabelNamesAnnotations(label.c_str())) {
            messageEvent.Publish(OrvLogging::Error, L"Invalid -AcqEntName value " + field + L" for CSC file: "
                                                        + FileNameOf(channel)
                                                        + L". It must not read as \"EDF Annotations\", the label of "
                                                          L"the EDF+ annotation signal.");
            return -1;
        }
        names.push_back(field);
    }
    return 0;
}

int OrvToEDF::GetChannelExtras(Velquor::OrvFileIO& reader, const std::vector<int>& handles)
{
    parameters.labels.clear();
    parameters.prefilters.clear();
    for (size_t channel = 0; channel < handles.size(); ++channel) {
        parameters.labels.push_back(
            OrvText::Utf8ToWide(GivenLabel(options, FileNameOf(channel), parameters.channelNames[channel])));
        if (!options.prefiltering)
            continue;
        ChannelFilters filters;
        if (ReadChannelFilters(reader, handles[channel], FileNameOf(channel), messageEvent, filters) != 0)
            return -1;
        parameters.prefilters.push_back(filters.prefiltering);
        summary.channels[channel].inputInverted = filters.inverted;
    }
    return 0;
}

int OrvToEDF::GetTimeCreated(Velquor::OrvFileIO& reader, int handle, tm& time)
{
    std::vector<std::vector<std::wstring>> values;
    if (reader.GetHeaderMetaData(handle, L"-TimeCreated", values) != OrvDataTypes::OrvSuccess)
        return PublishReaderFailure(messageEvent, reader);
    if (values.size() != 1) {
        messageEvent.Publish(OrvLogging::Error,
                             L"Error processing Time Opened header value for CSC file.  The expected "
                             L"return parameter count was 0.");
        return FailNaming(0, values.empty() ? std::wstring(L"its header has no -TimeCreated line")
                                            : L"its header has " + std::to_wstring(values.size())
                                                  + L" -TimeCreated lines, not one");
    }
    if (values.front().size() != 2) {
        messageEvent.Publish(OrvLogging::Error, L"Error processing Time Opened header value for CSC file. The expected "
                                                L"return parameter count was not equal to 2.");
        std::wstring written;
        for (const std::wstring& field : values.front())
            written += (written.empty() ? L"" : L" ") + field;
        return FailNaming(0, L"its -TimeCreated value \"" + written + L"\" has "
                                 + std::to_wstring(values.front().size())
                                 + L" fields, not the two of a date and a time");
    }
    const std::vector<std::wstring> date = SplitString(values.front()[0], L"/");
    const std::vector<std::wstring> clock = SplitString(values.front()[1], L":");
    if (date.size() < datePartCount || clock.size() < datePartCount) {
        messageEvent.Publish(OrvLogging::Error, L"Error processing Time Opened header value for CSC file "
                                                    + FileNameOf(0) + L": " + values.front()[0] + L" "
                                                    + values.front()[1]
                                                    + L" is not a date "
                                                      L"written year/month/day and a time written hour:minute:second.");
        return -1;
    }
    // each part a whole number; parts after the third are not read
    const bool numbers = ReadWholeNumber(date[0], time.tm_year) && ReadWholeNumber(date[1], time.tm_mon)
                         && ReadWholeNumber(date[2], time.tm_mday) && ReadWholeNumber(clock[0], time.tm_hour)
                         && ReadWholeNumber(clock[1], time.tm_min) && ReadWholeNumber(clock[2], time.tm_sec);
    if (!numbers || !IsRealDateAndTime(time)) {
        std::wostringstream message;
        message << L"Invalid -TimeCreated value " << values.front()[0] << L" " << values.front()[1]
                << L" for CSC file: " << FileNameOf(0) << L". It must be a real date and time, written "
                << L"year/month/day hour:minute:second, of the years " << edfEarliestYear << L" to " << edfLatestYear
                << L".";
        messageEvent.Publish(OrvLogging::Error, message.str());
        return -1;
    }
    return 0;
}
