#include "edf/EdfVerification.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cstring>
#include <sstream>

#include "EdfText.h"
#include "RecordFingerprint.h"
#include "edf/EdfLayout.h"
#include "edf/EdfParser.h"
#include "logging/TextConversion.h"

namespace {

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

bool EdfVerification::ClampsSamples() const
{
    return clipsExpected && std::any_of(ranges.begin(), ranges.end(), [](const Range& range) {
               return range.minimum > SHRT_MIN || range.maximum < SHRT_MAX;
           });
}

void EdfVerification::AddRecord(const std::vector<short>& samples)
{
    size_t total = 0;
    for (const int count : signalSamples)
        total += static_cast<size_t>(count);
    total = std::min(samples.size(), total);
    RecordFingerprint print;
    const bool clamps = ClampsSamples();
    if (std::endian::native == std::endian::little && !clamps) {  // the file's bytes as they are
        print.Add(reinterpret_cast<const unsigned char*>(samples.data()), total * 2);
        records.push_back(print.Finish());
        return;
    }
    clamped.assign(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(total));
    for (size_t start = 0, signal = 0; clamps && start < total && signal < ranges.size();
         start += static_cast<size_t>(signalSamples[signal]), ++signal) {
        const Range& range = ranges[signal];
        const auto perSignal = static_cast<size_t>(signalSamples[signal]);
        // as the file engine clamps: first to the maximum, then to the minimum
        for (size_t j = start; j < std::min(total, start + perSignal); ++j)
            clamped[j] = static_cast<int16_t>(std::max<int>(std::min<int>(clamped[j], range.maximum), range.minimum));
    }
    if constexpr (std::endian::native != std::endian::little) {
        for (int16_t& value : clamped)  // low byte first, as in the file
            value = static_cast<int16_t>(static_cast<uint16_t>((static_cast<uint16_t>(value) >> 8) | (value << 8)));
    }
    print.Add(reinterpret_cast<const unsigned char*>(clamped.data()), clamped.size() * 2);
    records.push_back(print.Finish());
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

std::wstring EdfVerification::CompareHeader(const EdfHeader& header) const
{
    std::wostringstream text;
    if (header.recordCount != static_cast<int64_t>(records.size()) || header.signalCount != signalCount + 1) {
        text << L"it holds " << header.recordCount << L" data records of " << header.signalCount - 1
             << L" signals instead of " << records.size() << L" of " << signalCount << L".";
        return text.str();
    }
    for (size_t s = 0; s < ranges.size(); ++s) {
        const EdfSignal& read = header.signals[s];
        const int written = s < signalSamples.size() ? signalSamples[s] : 0;
        if (read.samplesPerRecord != written || read.digitalMinimum != ranges[s].minimum
            || read.digitalMaximum != ranges[s].maximum) {
            text << L"its header gives signal " << s << L" (" << OrvText::Latin1ToWide(read.label) << L") "
                 << read.samplesPerRecord << L" samples per data record and the digital range " << read.digitalMinimum
                 << L" to " << read.digitalMaximum << L" instead of " << written << L" and " << ranges[s].minimum
                 << L" to " << ranges[s].maximum << L".";
            return text.str();
        }
    }
    return {};
}

std::wstring EdfVerification::Compare(const std::filesystem::path& path) const
{
    EdfReader reader;
    std::string problem;
    if (!reader.Open(path, problem))
        return L"it is not a valid EDF+ file: " + OrvText::Latin1ToWide(problem);
    const EdfHeader& header = reader.Header();
    if (std::wstring mismatch = CompareHeader(header); !mismatch.empty())
        return mismatch;
    reader.SetSamplesDecoded(false);  // the samples are fingerprinted as bytes
    std::wostringstream text;
    EdfRecord record;
    RecordFingerprint print;
    size_t annotation = 0;
    for (int64_t r = 0; reader.ReadRecord(record, problem); ++r) {
        const unsigned char* bytes = reader.RecordBytes().data();
        for (const EdfSignal& signal : header.signals) {
            const auto signalBytes = 2 * static_cast<size_t>(signal.samplesPerRecord);
            if (!signal.isAnnotation)
                print.Add(bytes, signalBytes);
            bytes += signalBytes;
        }
        if (print.Finish() != records[static_cast<size_t>(r)]) {
            text << L"data record " << r << L" holds other samples than were written.";
            return text.str();
        }
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
