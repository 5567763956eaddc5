#include "edf/EdfVerification.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <sstream>

#include "edf/EdfLayout.h"
#include "edf/EdfParser.h"
#include "edf/EdfText.h"
#include "logging/TextConversion.h"

namespace {

constexpr uint64_t fnvOffset = 14695981039346656037ull;
constexpr uint64_t fnvPrime = 1099511628211ull;

// An onset as written ("+2.5", "+0.1234567") in units of 10^-decimals s; false when it has more
// decimals or is not such a number.
bool OnsetUnits(const std::string& text, int decimals, int64_t& units)
{
    if (text.size() < 2 || text[0] != '+')
        return false;
    const size_t dot = text.find('.');
    const std::string whole = text.substr(1, dot == std::string::npos ? std::string::npos : dot - 1);
    std::string fraction = dot == std::string::npos ? std::string() : text.substr(dot + 1);
    if (fraction.size() > static_cast<size_t>(decimals))
        return false;
    fraction.append(static_cast<size_t>(decimals) - fraction.size(), '0');
    const std::string digits = whole + fraction;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), units);
    return ec == std::errc() && end == digits.data() + digits.size();
}

}  // namespace

void EdfVerification::Begin(int signalCount)
{
    this->signalCount = signalCount;
    samplesPerRecord = 0;
    ranges.assign(static_cast<size_t>(std::max(signalCount, 0)), Range{});
    records.clear();
    annotations.clear();
}

void EdfVerification::SetDigitalRange(int signal, int minimum, int maximum)
{
    if (signal >= 0 && static_cast<size_t>(signal) < ranges.size())
        ranges[static_cast<size_t>(signal)] = {minimum, maximum};
}

void EdfVerification::Add(Fingerprint& print, size_t position, int16_t value)
{
    const auto bits = static_cast<uint16_t>(value);
    print.hash = (print.hash ^ (bits & 0xFF)) * fnvPrime;
    print.hash = (print.hash ^ (bits >> 8)) * fnvPrime;
    print.sum += value;
    print.weightedSum += static_cast<int64_t>(position + 1) * value;
}

void EdfVerification::AddRecord(const std::vector<short>& samples)
{
    Fingerprint print;
    print.hash = fnvOffset;
    const auto perSignal = static_cast<size_t>(samplesPerRecord);
    for (size_t j = 0; j < samples.size() && j < perSignal * ranges.size(); ++j) {
        const Range& range = ranges[j / perSignal];
        // as the file engine clamps: first to the maximum, then to the minimum
        int value = std::min<int>(samples[j], range.maximum);
        value = std::max(value, range.minimum);
        Add(print, j, static_cast<int16_t>(value));
    }
    records.push_back(print);
}

void EdfVerification::AddAnnotation(int64_t onset, int onsetDecimals, const std::string& latin1Text)
{
    char text[edfMaxAnnotationTextBytes + 1] = {};
    const size_t length = strnlen(latin1Text.c_str(), edfMaxAnnotationTextBytes);
    std::memcpy(text, latin1Text.data(), length);
    (void)Latin1ToUtf8(text, static_cast<int>(length));
    annotations.push_back({onset, onsetDecimals, text});
}

void EdfVerification::KeepAnnotations(size_t count)
{
    if (annotations.size() > count)
        annotations.resize(count);
}

std::wstring EdfVerification::Compare(const std::filesystem::path& path) const
{
    EdfReader reader;
    std::string problem;
    if (!reader.Open(path, problem))
        return L"it is not a valid EDF+ file: " + OrvText::Latin1ToWide(problem);
    const EdfHeader& header = reader.Header();
    std::wostringstream text;
    if (header.recordCount != static_cast<int64_t>(records.size()) || header.signalCount != signalCount + 1) {
        text << L"it holds " << header.recordCount << L" data records of " << header.signalCount - 1
             << L" signals instead of " << records.size() << L" of " << signalCount << L".";
        return text.str();
    }
    std::vector<std::string> labels;
    for (const EdfSignal& signal : header.signals)
        labels.push_back(signal.label);
    EdfRecord record;
    size_t annotation = 0;
    for (int64_t r = 0; reader.ReadRecord(record, problem); ++r) {
        Fingerprint read;
        read.hash = fnvOffset;
        size_t position = 0;
        for (int s = 0; s < signalCount; ++s) {
            for (const int16_t value : record.samples[static_cast<size_t>(s)])
                Add(read, position++, value);
        }
        if (std::wstring mismatch = CompareRecord(r, read, record, labels); !mismatch.empty())
            return mismatch;
        for (const EdfTal& tal : record.annotations) {
            for (const std::string& found : tal.texts) {
                int64_t onset = 0;
                const bool known = annotation < annotations.size();
                if (!known || found != annotations[annotation].text
                    || !OnsetUnits(tal.onset, annotations[annotation].onsetDecimals, onset)
                    || onset != annotations[annotation].onset) {
                    text << L"annotation " << annotation + 1 << L" (data record " << r << L") reads \""
                         << OrvText::Utf8ToWide(found) << L"\" at " << OrvText::Latin1ToWide(tal.onset)
                         << (known ? L" s, not the one written." : L" s, which was never written.");
                    return text.str();
                }
                ++annotation;
            }
        }
    }
    if (!problem.empty())
        return L"it is not a valid EDF+ file: " + OrvText::Latin1ToWide(problem);
    if (annotation != annotations.size()) {
        text << L"it holds " << annotation << L" of the " << annotations.size() << L" annotations written.";
        return text.str();
    }
    return {};
}

std::wstring EdfVerification::CompareRecord(int64_t record, const Fingerprint& read, const EdfRecord& readRecord,
                                            const std::vector<std::string>& labels) const
{
    const Fingerprint& written = records[static_cast<size_t>(record)];
    if (read.hash == written.hash && read.sum == written.sum && read.weightedSum == written.weightedSum)
        return {};
    std::wostringstream text;
    text << L"data record " << record;
    // One sample off by delta at position p moves the sum by delta and the weighted sum by
    // (p + 1) * delta.
    const int64_t delta = read.sum - written.sum;
    const int64_t weighted = read.weightedSum - written.weightedSum;
    const int64_t samples = static_cast<int64_t>(samplesPerRecord) * signalCount;
    if (delta != 0 && weighted % delta == 0 && weighted / delta >= 1 && weighted / delta <= samples) {
        const int64_t position = weighted / delta - 1;
        const auto signal = static_cast<size_t>(position / samplesPerRecord);
        const auto sample = static_cast<size_t>(position % samplesPerRecord);
        const int value = readRecord.samples[signal][sample];
        text << L", signal " << signal << L" (" << OrvText::Latin1ToWide(labels[signal]) << L"), sample " << sample
             << L" holds " << value << L" where " << value - delta << L" was written.";
    } else {
        text << L" differs from what was written in more than one sample.";
    }
    return text.str();
}
