#include "engine/ConversionOptions.h"

#include <algorithm>

#include "edf/EdfFileEngine.h"
#include <cctype>
#include <charconv>

#include "edf/EdfLayout.h"
#include "logging/TextConversion.h"

std::wstring ConversionOptions::Description(const ChoiceHint& hint) const
{
    std::wstring text = L"Conversion options in force:";
    if (exactTiming)
        text += L" " + WithChoiceHint(L"exact record timing", ConversionChoice::ExactRecordTiming, hint) + L";";
    if (!physicalDimension.empty())
        text += L" "
                + WithChoiceHint(L"physical dimension \"" + OrvText::Latin1ToWide(physicalDimension) + L"\"",
                                 ConversionChoice::PhysicalDimension, hint)
                + L";";
    if (verify)
        text +=
            L" " + WithChoiceHint(L"every file verified after conversion", ConversionChoice::Verification, hint) + L";";
    if (microsecondOnsets)
        text += L" annotation onsets to the microsecond;";
    if (naturalOrder)
        text += L" channels in the natural order of their file names;";
    if (losslessRange)
        text += L" the whole 16-bit range, no sample clipped;";
    if (wholeTexts)
        text += L" event texts whole;";
    if (resampleHz > 0)
        text += L" every channel resampled to " + std::to_wstring(resampleHz) + L" Hz (--resample "
                + std::to_wstring(resampleHz) + L");";
    if (!channels.empty()) {
        std::string list;
        for (const std::string& entry : channels)
            list += (list.empty() ? "" : ",") + entry;
        text += L" the channels " + OrvText::Utf8ToWide(list) + L" in this order;";
    }
    if (!labels.empty())
        text += L" " + std::to_wstring(labels.size()) + (labels.size() == 1 ? L" label" : L" labels") + L" given;";
    if (!patient.empty())
        text += L" patient \"" + OrvText::Utf8ToWide(patient) + L"\";";
    if (!recording.empty())
        text += L" recording \"" + OrvText::Utf8ToWide(recording) + L"\";";
    if (prefiltering)
        text += L" filter settings in the prefiltering fields;";
    if (splitMicroseconds > 0) {
        const std::wstring seconds = OrvText::Utf8ToWide(SecondsText(splitMicroseconds));
        text += L" each segment's file cut at data records into parts of at most " + seconds
                + L" s, named with _part<PP>of<MM> after the segment (--split " + seconds + L");";
    }
    if (flatNames)
        text += L" "
                + WithChoiceHint(L"one file per segment, named <name>_run<RR>_seg<KK>of<NN>.edf",
                                 ConversionChoice::LabOutput, hint)
                + L";";
    text.back() = L'.';
    return text;
}

ConversionOptions ConversionOptions::Lab()
{
    ConversionOptions lab;
    lab.exactTiming = true;
    lab.physicalDimension = "uV";
    lab.microsecondOnsets = true;
    lab.naturalOrder = true;
    lab.losslessRange = true;
    lab.wholeTexts = true;
    lab.prefiltering = true;
    lab.flatNames = true;
    lab.verify = true;
    return lab;
}

bool IsUsableLabel(const std::string& label, bool cutAllowed, std::string& error)
{
    if (label.empty() || (!cutAllowed && label.size() > static_cast<std::size_t>(edfMaxLabelLength))) {
        error = "a label has 1 to " + std::to_string(edfMaxLabelLength) + " characters, \"" + label + "\" has "
                + std::to_string(label.size());
        return false;
    }
    if (std::any_of(label.begin(), label.end(), [](char c) { return c < 0x20 || c > 0x7E; })) {
        error = "a label holds printable ASCII characters only, as the EDF header does";
        return false;
    }
    if (EdfLabelNamesAnnotations(label.c_str())) {
        error = "\"" + label + "\" reads as \"EDF Annotations\", the label of the annotation signal";
        return false;
    }
    return true;
}

bool IsUsablePhysicalDimension(const std::string& unit, std::string& error)
{
    if (unit.empty() || unit.size() > static_cast<std::size_t>(edfMaxPhysicalDimensionLength)) {
        error = "a unit has 1 to 8 characters, \"" + unit + "\" has " + std::to_string(unit.size());
        return false;
    }
    for (const char c : unit) {
        if (c < 0x20 || c > 0x7E) {
            error = "a unit holds printable ASCII characters only (letters, digits, signs), as the EDF header does";
            return false;
        }
    }
    return true;
}

bool ParseSplitSeconds(const std::string& text, int64_t& microseconds, std::string& error)
{
    constexpr size_t largestWholeDigits = 9;  // below a billion seconds
    constexpr size_t decimalDigits = 6;       // to the microsecond
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    // the decimals filled up to the microsecond; none when there is no point
    std::string decimals = point == std::string::npos ? std::string() : text.substr(point + 1);
    const bool decimalsFit = point == std::string::npos || (!decimals.empty() && decimals.size() <= decimalDigits);
    decimals.resize(decimalDigits, '0');
    int64_t seconds = 0;
    int64_t fraction = 0;
    const auto readAll = [](const std::string& digits, int64_t& value) {
        const char* end = digits.data() + digits.size();
        const auto [stop, failure] = std::from_chars(digits.data(), end, value);
        return failure == std::errc() && stop == end && std::isdigit(static_cast<unsigned char>(digits.front())) != 0;
    };
    microseconds = 0;
    if (whole.empty() || whole.size() > largestWholeDigits || !decimalsFit || !readAll(whole, seconds)
        || !readAll(decimals, fraction) || seconds * 1000000 + fraction == 0) {
        error = "expected seconds above 0 and below 1000000000, with at most 6 decimals";
        return false;
    }
    microseconds = seconds * 1000000 + fraction;
    return true;
}

bool SplitChannelList(const std::string& list, std::vector<std::string>& entries, std::string& error)
{
    size_t from = 0;
    for (size_t comma = list.find(','); from <= list.size(); comma = list.find(',', from)) {
        const size_t end = comma == std::string::npos ? list.size() : comma;
        if (end == from) {
            error = "an empty name in the list";
            return false;
        }
        entries.push_back(list.substr(from, end - from));
        from = end + 1;
    }
    return true;
}

std::string SecondsText(int64_t microseconds)
{
    std::string text = std::to_string(microseconds / 1000000);
    std::string decimals = std::to_string(1000000 + microseconds % 1000000).substr(1);
    while (!decimals.empty() && decimals.back() == '0')
        decimals.pop_back();
    return decimals.empty() ? text : text + "." + decimals;
}
