#include "ChannelFilters.h"

#include <array>
#include <charconv>
#include <cmath>
#include <system_error>

#include "ReaderFailure.h"
#include "logging/AsciiCase.h"
#include "logging/TextConversion.h"

namespace {

struct Filter {
    const wchar_t* enabledKey;
    const wchar_t* frequencyKey;
    const char* prefix;  // of the prefiltering text
};

constexpr std::array<Filter, 2> filters = {{
    {L"-DSPLowCutFilterEnabled", L"-DspLowCutFrequency", "HP:"},
    {L"-DSPHighCutFilterEnabled", L"-DspHighCutFrequency", "LP:"},
}};

// The first field of key's first row, or none (`present` false) when the header lacks it.
int FirstField(Velquor::OrvFileIO& reader, int handle, const wchar_t* key, MessageEvent& messages, bool& present,
               std::wstring& field)
{
    std::vector<std::vector<std::wstring>> values;
    if (reader.GetHeaderMetaData(handle, key, values) != OrvDataTypes::OrvSuccess)
        return PublishReaderFailure(messages, reader);
    present = !values.empty() && !values.front().empty();
    field = present ? values.front().front() : std::wstring();
    return 0;
}

void WarnUnusable(MessageEvent& messages, const wchar_t* key, const std::wstring& value, const std::wstring& file,
                  const wchar_t* expected)
{
    messages.Publish(OrvLogging::Warning, std::wstring(L"Unusable ") + key + L" value " + value + L" for CSC file: "
                                              + file + L". It is passed over: it must be " + expected + L".");
}

// A flag of the header: True or False in any letter case; false for anything else.
bool ReadFlag(const std::wstring& text, bool& flag)
{
    flag = OrvText::EqualsIgnoringAsciiCase(text, L"True");
    return flag || OrvText::EqualsIgnoringAsciiCase(text, L"False");
}

// A frequency of the header as the prefiltering text writes it, in its shortest form ("0.1",
// "9000"); false unless it is a positive finite number.
bool ReadFrequency(const std::wstring& text, std::string& written)
{
    const std::string narrow = OrvText::WideToUtf8(text);
    double hertz = 0;
    const auto [end, problem] = std::from_chars(narrow.data(), narrow.data() + narrow.size(), hertz);
    if (problem != std::errc() || end != narrow.data() + narrow.size() || !std::isfinite(hertz) || hertz <= 0)
        return false;
    std::array<char, 32> text32{};
    written.assign(text32.data(), std::to_chars(text32.data(), text32.data() + text32.size(), hertz).ptr);
    return true;
}

}  // namespace

int ReadChannelFilters(Velquor::OrvFileIO& reader, int handle, const std::wstring& file, MessageEvent& messages,
                       ChannelFilters& channel)
{
    channel = {};
    bool present = false;
    std::wstring field;
    for (const Filter& filter : filters) {
        if (FirstField(reader, handle, filter.enabledKey, messages, present, field) != 0)
            return -1;
        bool enabled = false;
        if (present && !ReadFlag(field, enabled))
            WarnUnusable(messages, filter.enabledKey, field, file, L"True or False");
        if (!enabled)
            continue;
        if (FirstField(reader, handle, filter.frequencyKey, messages, present, field) != 0)
            return -1;
        std::string hertz;
        if (present && !ReadFrequency(field, hertz))
            WarnUnusable(messages, filter.frequencyKey, field, file, L"a positive number of Hz");
        else if (present)
            channel.prefiltering +=
                (channel.prefiltering.empty() ? "" : " ") + std::string(filter.prefix) + hertz + "Hz";
    }
    if (FirstField(reader, handle, L"-InputInverted", messages, present, field) != 0)
        return -1;
    bool inverted = false;
    if (present && !ReadFlag(field, inverted))
        WarnUnusable(messages, L"-InputInverted", field, file, L"True or False");
    else if (present)
        channel.inverted = inverted;
    return 0;
}
