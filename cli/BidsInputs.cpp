#include "BidsInputs.h"

#include <charconv>

#include "logging/AsciiCase.h"
#include "logging/TextConversion.h"
#include "reader/OrvFileIO.h"
#include "reader/OrvRecords.h"

namespace {

using Rows = std::vector<std::vector<std::wstring>>;

// The first field of the key's first row; empty when the header has none.
std::string FirstField(Velquor::OrvFileIO& reader, int handle, const wchar_t* key)
{
    Rows rows;
    if (reader.GetHeaderMetaData(handle, key, rows) != OrvDataTypes::OrvSuccess || rows.empty() || rows[0].empty())
        return {};
    return OrvText::WideToUtf8(rows[0][0]);
}

bool IsFrequency(const std::string& text)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= 0;
}

// The corner frequency of a filter when its switch is on (or absent) and the frequency parses.
std::string Corner(Velquor::OrvFileIO& reader, int handle, const wchar_t* enabledKey, const wchar_t* frequencyKey,
                   const std::wstring& file, std::vector<std::string>& warnings)
{
    const std::string enabled = FirstField(reader, handle, enabledKey);
    std::string frequency = FirstField(reader, handle, frequencyKey);
    if (frequency.empty() || OrvText::EqualsIgnoringAsciiCase(enabled, "False"))
        return "n/a";
    if (!IsFrequency(frequency)) {
        warnings.push_back("Ignoring " + OrvText::WideToUtf8(frequencyKey) + " \"" + frequency + "\" of "
                           + OrvText::WideToUtf8(file) + ": not a frequency.");
        return "n/a";
    }
    return frequency;
}

}  // namespace

bool ReadChannelSettings(const std::wstring& file, ChannelSettings& settings, std::vector<std::string>& warnings,
                         std::string& error)
{
    Velquor::OrvFileIO reader;
    int handle = -1;
    if (reader.OpenOrvInputFile(file.c_str(), handle) != OrvDataTypes::OrvSuccess) {
        error = OrvText::WideToUtf8(reader.GetLastErrorMessage());
        return false;
    }
    settings.lowCutoff = Corner(reader, handle, L"-DSPLowCutFilterEnabled", L"-DspLowCutFrequency", file, warnings);
    settings.highCutoff = Corner(reader, handle, L"-DSPHighCutFilterEnabled", L"-DspHighCutFrequency", file, warnings);
    const std::string reference = FirstField(reader, handle, L"-ReferenceChannel");
    settings.reference = reference.empty() ? "n/a" : reference;
    (void)reader.CloseOrvInputFile(handle);  // read only: nothing to lose
    return true;
}

bool ReadRecordedEvents(const std::wstring& file, std::vector<RecordedEvent>& events, std::string& error)
{
    events.clear();
    if (file.empty())
        return true;
    Velquor::OrvFileIO reader;
    int handle = -1;
    int total = 0;
    if (reader.OpenOrvInputFile(file.c_str(), handle) != OrvDataTypes::OrvSuccess
        || reader.GetNumRecordsInFile(handle, total) != OrvDataTypes::OrvSuccess) {
        error = OrvText::WideToUtf8(reader.GetLastErrorMessage());
        return false;
    }
    for (int index = 0; index < total;) {
        void* data = nullptr;
        int count = 0;
        if (reader.GetDataFromIndex(handle, index, data, count) != OrvDataTypes::OrvSuccess) {
            error = OrvText::WideToUtf8(reader.GetLastErrorMessage());
            (void)reader.CloseOrvInputFile(handle);
            return false;
        }
        if (count < 1)
            break;  // a batch without records would never advance
        const auto* records = static_cast<const unsigned char*>(data);
        for (int i = 0; i < count && index + i < total; ++i) {
            const unsigned char* record = records + static_cast<size_t>(i) * sizeof(Velquor::EventRecord);
            int16_t ttl = 0;
            std::memcpy(&ttl, record + offsetof(Velquor::EventRecord, ttlValue), sizeof ttl);
            events.push_back({Velquor::EventTimestamp(record), ttl,
                              OrvText::WideToUtf8(OrvText::Latin1ToWide(Velquor::EventText(record)))});
        }
        index += count;
    }
    (void)reader.CloseOrvInputFile(handle);
    return true;
}
