#include "engine/ChannelChoice.h"

#include <algorithm>
#include <charconv>
#include <fnmatch.h>
#include <system_error>

#include "logging/TextConversion.h"
#include "reader/OrvFileIO.h"

namespace {

constexpr size_t namesListed = 8;  // in a message about a name that matches no channel

struct Channel {
    std::wstring file;
    std::string acqEntName;  // UTF-8; empty when the header cannot be read
    std::string stem;        // the file's name without its extension, UTF-8
};

std::string StemOf(const std::wstring& file)
{
    const std::string path = OrvText::WideToUtf8(file);
    const size_t slash = path.rfind('/');
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.substr(0, name.rfind('.'));
}

// The channels of the files; a file whose header cannot be read is named by its file name only,
// and its conversion, if chosen, says why it cannot be read.
std::vector<Channel> ReadChannels(const std::vector<std::wstring>& cscFiles)
{
    std::vector<Channel> channels;
    Velquor::OrvFileIO reader;
    for (const std::wstring& file : cscFiles) {
        Channel channel{file, {}, StemOf(file)};
        int handle = 0;
        if (reader.OpenOrvInputFile(file.c_str(), handle) == OrvDataTypes::OrvSuccess) {
            std::vector<std::vector<std::wstring>> values;
            if (reader.GetHeaderMetaData(handle, L"-AcqEntName", values) == OrvDataTypes::OrvSuccess && !values.empty()
                && !values.front().empty())
                channel.acqEntName = OrvText::WideToUtf8(values.front().front());
            (void)reader.CloseOrvInputFile(handle);  // only the header was read
        }
        channels.push_back(channel);
    }
    return channels;
}

bool Names(const Channel& channel, const std::string& name)
{
    return name == channel.acqEntName || name == channel.stem;
}

bool IsPattern(const std::string& entry)
{
    return entry.find_first_of("*?[") != std::string::npos;
}

bool AllDigits(const std::string& text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The number after `prefix` in `name`; false unless the rest of the name is decimal digits.
bool NumberAfter(const std::string& name, const std::string& prefix, unsigned long long& number)
{
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0
        || !AllDigits(name.substr(prefix.size())))
        return false;
    const char* begin = name.data() + prefix.size();
    return std::from_chars(begin, name.data() + name.size(), number).ec == std::errc();
}

struct Range {
    std::string prefix;
    unsigned long long first = 0;
    unsigned long long last = 0;
};

// "CSC1-CSC16" or "CSC1-16": a prefix and a number, "-", and the same prefix (or none) and a number.
bool ParseRange(const std::string& entry, Range& range)
{
    for (size_t hyphen = entry.find('-'); hyphen != std::string::npos; hyphen = entry.find('-', hyphen + 1)) {
        const std::string left = entry.substr(0, hyphen);
        const std::string right = entry.substr(hyphen + 1);
        const size_t digits = left.find_last_not_of("0123456789") + 1;  // npos + 1 is 0
        range.prefix = left.substr(0, digits);
        if (NumberAfter(left, range.prefix, range.first)
            && (NumberAfter(right, range.prefix, range.last) || NumberAfter(right, "", range.last)))
            return true;
    }
    return false;
}

// The channels that one entry of the list names, in the entry's order.
std::vector<size_t> Named(const std::string& entry, const std::vector<Channel>& channels)
{
    std::vector<size_t> named;
    for (size_t c = 0; c < channels.size(); ++c) {
        const Channel& channel = channels[c];
        const bool matches = IsPattern(entry) ? fnmatch(entry.c_str(), channel.acqEntName.c_str(), 0) == 0
                                                    || fnmatch(entry.c_str(), channel.stem.c_str(), 0) == 0
                                              : Names(channel, entry);
        if (matches)
            named.push_back(c);
    }
    Range range;
    if (!named.empty() || IsPattern(entry) || !ParseRange(entry, range))
        return named;
    const auto low = std::min(range.first, range.last);
    const auto high = std::max(range.first, range.last);
    std::vector<std::pair<unsigned long long, size_t>> numbered;
    for (size_t c = 0; c < channels.size(); ++c) {
        unsigned long long number = 0;
        if ((NumberAfter(channels[c].acqEntName, range.prefix, number)
             || NumberAfter(channels[c].stem, range.prefix, number))
            && number >= low && number <= high)
            numbered.emplace_back(number, c);
    }
    std::stable_sort(numbered.begin(), numbered.end(), [&](const auto& a, const auto& b) {
        return range.first <= range.last ? a.first < b.first : a.first > b.first;
    });
    for (const auto& [number, c] : numbered)
        named.push_back(c);
    return named;
}

std::string NoChannelError(const std::string& name, const std::vector<Channel>& channels)
{
    std::string error = "\"" + name + "\" names no channel of the recording (";
    if (channels.empty())
        return error + "it has none)";
    error += "its channels are";
    for (size_t c = 0; c < channels.size() && c < namesListed; ++c)
        error += (c == 0 ? " " : ", ") + (channels[c].acqEntName.empty() ? channels[c].stem : channels[c].acqEntName);
    return error + (channels.size() > namesListed ? ", ...)" : ")");
}

}  // namespace

bool ChooseChannels(const ConversionOptions& options, std::vector<std::wstring>& cscFiles, std::string& error)
{
    if (options.channels.empty() && options.labels.empty())
        return true;
    const std::vector<Channel> channels = ReadChannels(cscFiles);
    for (const auto& labelled : options.labels) {
        const std::string& name = labelled.first;
        if (std::none_of(channels.begin(), channels.end(), [&](const Channel& c) { return Names(c, name); })) {
            error = NoChannelError(name, channels);
            return false;
        }
    }
    if (options.channels.empty())
        return true;
    std::vector<bool> taken(channels.size(), false);
    std::vector<std::wstring> chosen;
    for (const std::string& entry : options.channels) {
        const std::vector<size_t> named = Named(entry, channels);
        if (named.empty()) {
            error = NoChannelError(entry, channels);
            return false;
        }
        for (const size_t c : named) {
            if (!taken[c])
                chosen.push_back(channels[c].file);
            taken[c] = true;
        }
    }
    cscFiles = chosen;
    return true;
}

std::string GivenLabel(const ConversionOptions& options, const std::wstring& file, const std::wstring& acqEntName)
{
    const Channel channel{file, OrvText::WideToUtf8(acqEntName), StemOf(file)};
    for (const auto& [name, label] : options.labels) {
        if (Names(channel, name))
            return label;
    }
    return {};
}
