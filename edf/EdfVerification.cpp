#include "edf/EdfVerification.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <sstream>

#include "EdfText.h"
#include "edf/EdfLayout.h"
#include "edf/EdfParser.h"
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

void EdfVerification::Begin(int signalCount, bool clipsExpected)
{
    this->signalCount = signalCount;
    this->clipsExpected = clipsExpected;
    signalSamples.clear();
    ranges.assign(static_cast<size_t>(std::max(signalCount, 0)), Range{});
    records.clear();
    annotations.clear();
}

void EdfVerification::SetDigitalRange(int signal, int minimum, int maximum)
{
    if (signal >= 0 && static_cast<size_t>(signal) < ranges.size())
        ranges[static_cast<size_t>(signal)] = {minimum, maximum};
}

EdfVerification::FingerprintMaker::FingerprintMaker()
{
    print.hash = fnvOffset;
}

void EdfVerification::FingerprintMaker::HashOne(int16_t value)
{
    pending |= static_cast<uint64_t>(static_cast<uint16_t>(value)) << (16 * pendingCount);
    if (++pendingCount == 4) {
        print.hash = (print.hash ^ pending) * fnvPrime;
        pending = 0;
        pendingCount = 0;
    }
}

void EdfVerification::FingerprintMaker::Add(const int16_t* values, size_t count)
{
    // The sums in a loop of their own, which the compiler vectorises: the weighted sum over the
    // positions position + 1 ... is position times the sum plus the sum weighted from 1.
    int64_t sum = 0;
    int64_t weighted = 0;
    for (size_t k = 0; k < count; ++k) {
        sum += values[k];
        weighted += static_cast<int64_t>(k + 1) * values[k];
    }
    print.sum += sum;
    print.weightedSum += weighted + position * sum;
    position += static_cast<int64_t>(count);

    size_t k = 0;
    for (; k < count && pendingCount != 0; ++k)  // complete a word begun by the run before
        HashOne(values[k]);
    for (; k + 4 <= count; k += 4) {  // whole words, as HashOne would form them
        uint64_t word = 0;
        for (int i = 0; i < 4; ++i)
            word |= static_cast<uint64_t>(static_cast<uint16_t>(values[k + static_cast<size_t>(i)])) << (16 * i);
        print.hash = (print.hash ^ word) * fnvPrime;
    }
    for (; k < count; ++k)
        HashOne(values[k]);
}

EdfVerification::Fingerprint EdfVerification::FingerprintMaker::Finish()
{
    if (pendingCount > 0)
        print.hash = (print.hash ^ pending ^ static_cast<uint64_t>(pendingCount)) * fnvPrime;
    pending = 0;
    pendingCount = 0;
    return print;
}

void EdfVerification::AddRecord(const std::vector<short>& samples)
{
    FingerprintMaker maker;
    size_t total = 0;
    for (const int count : signalSamples)
        total += static_cast<size_t>(count);
    total = std::min(samples.size(), total);
    if (!clipsExpected) {
        maker.Add(samples.data(), total);
        records.push_back(maker.Finish());
        return;
    }
    clamped.resize(total);
    for (size_t start = 0, signal = 0; start < total && signal < ranges.size();
         start += static_cast<size_t>(signalSamples[signal]), ++signal) {
        const Range& range = ranges[signal];
        const auto perSignal = static_cast<size_t>(signalSamples[signal]);
        // as the file engine clamps: first to the maximum, then to the minimum
        for (size_t j = start; j < std::min(total, start + perSignal); ++j)
            clamped[j] = static_cast<int16_t>(std::max<int>(std::min<int>(samples[j], range.maximum), range.minimum));
    }
    maker.Add(clamped.data(), clamped.size());
    records.push_back(maker.Finish());
}

void EdfVerification::AddAnnotation(int64_t onset, int onsetDecimals, const std::string& latin1Text,
                                    AnnotationTexts texts)
{
    char text[edfMaxWholeAnnotationTextBytes + 1];
    (void)StoredAnnotationText(latin1Text.c_str(), texts, text);
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
        FingerprintMaker maker;
        for (int s = 0; s < signalCount; ++s) {
            const std::vector<int16_t>& samples = record.samples[static_cast<size_t>(s)];
            maker.Add(samples.data(), samples.size());
        }
        const Fingerprint read = maker.Finish();
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
    int64_t samples = 0;
    for (const int count : signalSamples)
        samples += count;
    if (delta != 0 && weighted % delta == 0 && weighted / delta >= 1 && weighted / delta <= samples) {
        auto sample = static_cast<size_t>(weighted / delta - 1);
        size_t signal = 0;
        for (; sample >= static_cast<size_t>(signalSamples[signal]); ++signal)
            sample -= static_cast<size_t>(signalSamples[signal]);
        const int value = readRecord.samples[signal][sample];
        text << L", signal " << signal << L" (" << OrvText::Latin1ToWide(labels[signal]) << L"), sample " << sample
             << L" holds " << value << L" where " << value - delta << L" was written.";
    } else {
        text << L" differs from what was written in more than one sample.";
    }
    return text.str();
}
