#include "cli/BidsRequest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <string_view>
#include <vector>

namespace {

// The channel types that BIDS names for EEG and iEEG channels.
constexpr std::array<std::string_view, 24> channelTypeNames = {
    "EEG",     "ECOG",  "SEEG", "DBS",      "VEOG", "HEOG", "EOG", "ECG",   "EMG", "TRIG", "AUDIO", "PD",
    "EYEGAZE", "PUPIL", "MISC", "SYSCLOCK", "ADC",  "DAC",  "REF", "OTHER", "GSR", "RESP", "TEMP",  "PPG"};

constexpr std::array<std::string_view, 5> placeholders = {"{subject}", "{session}", "{task}", "{acquisition}", "{run}"};

bool IsChannelTypeName(const std::string& type)
{
    return std::find(channelTypeNames.begin(), channelTypeNames.end(), type) != channelTypeNames.end();
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t end = text.find(separator); end != std::string::npos; end = text.find(separator, start)) {
        parts.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    parts.push_back(text.substr(start));
    return parts;
}

// One directory of a pattern: literal text around at most one placeholder.
struct PatternPart {
    std::string before;
    std::string placeholder;  // empty: the directory is all literal
    std::string after;
};

bool ParsePart(const std::string& text, PatternPart& part)
{
    const size_t open = text.find('{');
    if (open == std::string::npos) {
        part.before = text;
        return text.find('}') == std::string::npos;
    }
    const size_t close = text.find('}', open);
    if (close == std::string::npos)
        return false;
    part.before = text.substr(0, open);
    part.placeholder = text.substr(open, close - open + 1);
    part.after = text.substr(close + 1);
    return std::find(placeholders.begin(), placeholders.end(), part.placeholder) != placeholders.end()
           && part.after.find_first_of("{}") == std::string::npos;
}

}  // namespace

bool ParseRunIndex(const std::string& text, int& run)
{
    const bool digits =
        !text.empty() && std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), run);
    return digits && error == std::errc() && end == text.data() + text.size() && run >= 1 && run <= largestRun;
}

namespace {

bool Assign(const std::string& placeholder, const std::string& value, BidsEntities& entities, std::string& error)
{
    if (placeholder == "{run}") {
        if (ParseRunIndex(value, entities.run))
            return true;
        error = "the run \"" + value + "\" is not a number from 1 to " + std::to_string(largestRun);
        return false;
    }
    if (!IsBidsLabel(value)) {
        error = "\"" + value + "\" is not a BIDS label (letters and digits only) for " + placeholder;
        return false;
    }
    std::string& field = placeholder == "{subject}"   ? entities.subject
                         : placeholder == "{session}" ? entities.session
                         : placeholder == "{task}"    ? entities.task
                                                      : entities.acquisition;
    field = value;
    return true;
}

}  // namespace

bool IsBidsLabel(const std::string& label)
{
    return !label.empty()
           && std::all_of(label.begin(), label.end(), [](unsigned char c) { return std::isalnum(c) != 0; });
}

bool ParseChannelTypes(const std::string& value, BidsRequest& request, std::string& error)
{
    for (const std::string& item : Split(value, ',')) {
        const size_t equals = item.find('=');
        const std::string type = equals == std::string::npos ? item : item.substr(equals + 1);
        if (!IsChannelTypeName(type)) {
            error = "\"" + type + "\" is not a BIDS channel type (EEG, ECOG, SEEG, DBS, MISC, ...)";
            return false;
        }
        if (equals == std::string::npos) {
            request.channelType = type;
        } else if (equals == 0) {
            error = "a channel name is missing before \"=\"";
            return false;
        } else {
            request.channelTypes[item.substr(0, equals)] = type;
        }
    }
    return true;
}

bool IsBidsPattern(const std::string& pattern, std::string& error)
{
    for (const std::string& text : Split(pattern, '/')) {
        PatternPart part;
        if (text.empty() || !ParsePart(text, part)) {
            error = "expected directories separated by '/', each with at most one of {subject}, {session}, {task}, "
                    "{acquisition} or {run}";
            return false;
        }
    }
    return true;
}

bool MatchBidsPattern(const std::string& pattern, const std::string& path, BidsEntities& entities, std::string& error)
{
    const std::vector<std::string> parts = Split(pattern, '/');
    const std::vector<std::string> directories = Split(path, '/');
    if (directories.size() < parts.size()) {
        error = "its path " + path + " has fewer directories than the pattern " + pattern;
        return false;
    }
    const size_t first = directories.size() - parts.size();  // the pattern matches the last directories
    for (size_t i = 0; i < parts.size(); ++i) {
        PatternPart part;
        (void)ParsePart(parts[i], part);  // checked by IsBidsPattern
        const std::string& directory = directories[first + i];
        const size_t fixed = part.before.size() + part.after.size();
        const bool matches =
            directory.size() >= fixed && directory.compare(0, part.before.size(), part.before) == 0
            && directory.compare(directory.size() - part.after.size(), part.after.size(), part.after) == 0
            && (!part.placeholder.empty() || directory.size() == fixed);
        if (!matches) {
            error = "its path " + path + " does not match the pattern " + pattern;
            return false;
        }
        if (!part.placeholder.empty()
            && !Assign(part.placeholder, directory.substr(part.before.size(), directory.size() - fixed), entities,
                       error))
            return false;
    }
    return true;
}

std::string BidsChannelType(const BidsRequest& request, const std::string& name)
{
    const auto named = request.channelTypes.find(name);
    if (named != request.channelTypes.end())
        return named->second;
    if (!request.channelType.empty())
        return request.channelType;
    return request.datatype == "eeg" ? "EEG" : "SEEG";
}
