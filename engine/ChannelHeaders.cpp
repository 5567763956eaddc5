// The channel values that become the EDF signal parameters: input range, A/D maximum, name, and
// the creation time of the first file.
#include "edf/EdfText.h"
#include "engine/OrvToEDF.h"
#include "engine/ReaderFailure.h"
#include "engine/TextHelpers.h"
#include "logging/TextConversion.h"

namespace {

constexpr size_t datePartCount = 3;  // year/month/day and hour:minute:second
// The physical limits -range and range go into header fields of 8 characters.
constexpr int largestInputRange = 9999999;

// A value that does not convert counts as 0.
int ToIntOrZero(const std::wstring& text)
{
    int value = 0;
    (void)StringToInt(text.c_str(), value);
    return value;
}

}  // namespace

int OrvToEDF::GetInputRanges(Velquor::OrvFileIO& reader, const std::vector<int>& handles, std::vector<int>& ranges)
{
    ranges.clear();
    for (size_t channel = 0; channel < handles.size(); ++channel) {
        std::wstring field;
        if (GetFirstField(reader, handles, channel, L"-InputRange", field) != 0)
            return -1;
        const int range = ToIntOrZero(field);
        if (range == 0 || range < -largestInputRange || range > largestInputRange) {
            // 0 leaves the signal no physical range; more digits would be cut in the header
            messageEvent.Publish(OrvLogging::Error,
                                 L"Invalid -InputRange value " + field + L" for CSC file: " + FileNameOf(channel)
                                     + L". It must be a whole number other than 0, of at most 7 digits.");
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
        const int adMaximum = ToIntOrZero(field);
        if (adMaximum < 0) {
            // the digital range would run from ~adMaximum down to adMaximum
            messageEvent.Publish(OrvLogging::Error, L"Invalid -ADMaxValue value " + field + L" for CSC file: "
                                                        + FileNameOf(channel) + L". It must not be negative.");
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

int OrvToEDF::GetTimeCreated(Velquor::OrvFileIO& reader, int handle, tm& time)
{
    std::vector<std::vector<std::wstring>> values;
    if (reader.GetHeaderMetaData(handle, L"-TimeCreated", values) != OrvDataTypes::OrvSuccess)
        return PublishReaderFailure(messageEvent, reader);
    if (values.size() != 1) {
        messageEvent.Publish(OrvLogging::Error,
                             L"Error processing Time Opened header value for CSC file.  The expected "
                             L"return parameter count was 0.");
        return -1;
    }
    if (values.front().size() != 2) {
        messageEvent.Publish(OrvLogging::Error, L"Error processing Time Opened header value for CSC file. The expected "
                                                L"return parameter count was not equal to 2.");
        return -1;
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
    time.tm_year = ToIntOrZero(date[0]);
    time.tm_mon = ToIntOrZero(date[1]);
    time.tm_mday = ToIntOrZero(date[2]);
    time.tm_hour = ToIntOrZero(clock[0]);
    time.tm_min = ToIntOrZero(clock[1]);
    time.tm_sec = ToIntOrZero(clock[2]);
    return 0;
}
