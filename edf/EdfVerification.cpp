#include "edf/EdfVerification.h"

#include <algorithm>
#include <charconv>
#include <sstream>
#include <system_error>
#include <thread>

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

void EdfVerification::Begin(int signalCount)
{
    this->signalCount = signalCount;
    signalSamples.clear();
    ranges.assign(static_cast<size_t>(std::max(signalCount, 0)), Range{});
    records.clear();
    annotations.clear();
    firstAltered = -1;
}

void EdfVerification::SetDigitalRange(int signal, int minimum, int maximum)
{
    if (signal >= 0 && static_cast<size_t>(signal) < ranges.size())
        ranges[static_cast<size_t>(signal)] = {minimum, maximum};
}

void EdfVerification::MarkAltered(int64_t record)
{
    if (firstAltered < 0)
        firstAltered = record;
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

void EdfVerification::ReadStretch(EdfReader& reader, int64_t from, int64_t to, Stretch& stretch) const
{
    reader.SetSamplesDecoded(false);  // the samples are fingerprinted as bytes
    reader.SeekRecord(from);
    EdfRecord record;
    RecordFingerprint print;
    for (int64_t r = from; r < to; ++r) {
        std::string problem;
        if (!reader.ReadRecord(record, problem)) {
            stretch.problem = problem.empty() ? "data record " + std::to_string(r) + " is missing" : problem;
            return;
        }
        const unsigned char* bytes = reader.RecordBytes().data();
        for (const EdfSignal& signal : reader.Header().signals) {
            const auto signalBytes = 2 * static_cast<size_t>(signal.samplesPerRecord);
            if (!signal.isAnnotation)
                print.Add(bytes, signalBytes);
            bytes += signalBytes;
        }
        if (print.Finish() != records[static_cast<size_t>(r)] || r == firstAltered) {
            stretch.firstDiffering = r;
            return;
        }
        for (EdfTal& tal : record.annotations)
            for (std::string& text : tal.texts)
                stretch.annotations.push_back({r, tal.onset, std::move(text)});
    }
}

void EdfVerification::ReadStretch(const std::filesystem::path& path, int64_t from, int64_t to, Stretch& stretch) const
{
    EdfReader reader;
    if (!reader.Open(path, stretch.problem))
        return;
    ReadStretch(reader, from, to, stretch);
}

std::wstring EdfVerification::CompareStretches(const std::vector<Stretch>& stretches) const
{
    std::wostringstream text;
    size_t annotation = 0;
    for (const Stretch& stretch : stretches) {
        for (const FoundAnnotation& found : stretch.annotations) {
            int64_t onset = 0;
            const bool known = annotation < annotations.size();
            if (!known || found.text != annotations[annotation].text
                || !OnsetUnits(found.onset, annotations[annotation].onsetDecimals, onset)
                || onset != annotations[annotation].onset) {
                text << L"annotation " << annotation + 1 << L" (data record " << found.record << L") reads \""
                     << OrvText::Utf8ToWide(found.text) << L"\" at " << OrvText::Latin1ToWide(found.onset)
                     << (known ? L" s, not the one written." : L" s, which was never written.");
                return text.str();
            }
            ++annotation;
        }
        if (stretch.firstDiffering >= 0) {
            text << L"data record " << stretch.firstDiffering << L" holds other samples than were written.";
            return text.str();
        }
        if (!stretch.problem.empty())
            return L"it is not a valid EDF+ file: " + OrvText::Latin1ToWide(stretch.problem);
    }
    if (annotation != annotations.size()) {
        text << L"it holds " << annotation << L" of the " << annotations.size() << L" annotations written.";
        return text.str();
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
    // A large file is read back in two halves at once, the second on a thread of its own: reading
    // copies the bytes out of the page cache, and the two copies run side by side.
    const int64_t count = header.recordCount;
    const bool halves = count >= 2 && count * header.recordBytes >= halvesFromBytes;
    const int64_t middle = halves ? count / 2 : count;
    std::vector<Stretch> stretches(halves ? 2 : 1);
    std::thread second;
    if (halves) {
        try {
            second = std::thread([&] { ReadStretch(path, middle, count, stretches[1]); });
        } catch (const std::system_error&) {  // no thread to be had: read after the first half
        }
    }
    ReadStretch(reader, 0, middle, stretches[0]);
    if (second.joinable())
        second.join();
    else if (halves)
        ReadStretch(path, middle, count, stretches[1]);
    return CompareStretches(stretches);
}
