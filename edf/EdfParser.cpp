#include "edf/EdfParser.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "edf/EdfLayout.h"

namespace {

constexpr unsigned char tal20 = 0x14;  // ends the onset (or duration) and each text
constexpr unsigned char tal21 = 0x15;  // starts a duration

bool Fail(std::string& error, int64_t offset, const std::string& what)
{
    error = "offset " + std::to_string(offset) + ": " + what;
    return false;
}

// Where a field lies in the header bytes.
struct FieldPlace {
    std::size_t offset = 0;
    std::size_t width = 0;
};

FieldPlace Place(EdfHeaderField field)
{
    return {static_cast<std::size_t>(EdfFieldOffset(field)), static_cast<std::size_t>(EdfFieldWidth(field))};
}

// Field `field` of signal `signal` in a header of `signals` signals.
FieldPlace Place(EdfSignalField field, std::size_t signals, std::size_t signal)
{
    const auto offset = EdfFieldOffset(field, static_cast<int64_t>(signals), static_cast<int64_t>(signal));
    return {static_cast<std::size_t>(offset), static_cast<std::size_t>(EdfFieldWidth(field))};
}

// The field's bytes, trailing spaces removed.
std::string Field(const std::vector<unsigned char>& bytes, FieldPlace place)
{
    std::string text(reinterpret_cast<const char*>(bytes.data()) + place.offset, place.width);
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

template <typename Int>
bool Number(const std::vector<unsigned char>& bytes, FieldPlace place, Int& value, std::string& error)
{
    const std::string text = Field(bytes, place);
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size())
        return Fail(error, static_cast<int64_t>(place.offset), "not an integer: \"" + text + "\"");
    return true;
}

bool IsDecimal(const std::string& text, bool signRequired)
{
    std::size_t i = 0;
    if (signRequired) {
        if (text.empty() || (text[0] != '+' && text[0] != '-'))
            return false;
        i = 1;
    }
    std::size_t digits = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        ++digits;
    if (digits == 0)
        return false;
    if (i == text.size())
        return true;
    if (text[i] != '.' || i + 1 == text.size())
        return false;
    for (++i; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

// The TALs of one annotation signal's bytes [begin, end) of a record that starts at `base` in
// the file (for the offsets of problems).
bool ParseTals(const std::vector<unsigned char>& bytes, std::size_t begin, std::size_t end, int64_t base,
               int64_t record, bool timeKeepingFirst, EdfRecord& out, std::string& error)
{
    std::size_t p = begin;
    bool first = true;
    const auto at = [base](std::size_t position) { return base + static_cast<int64_t>(position); };
    while (p < end && bytes[p] != 0) {
        EdfTal tal;
        tal.record = record;
        const std::size_t start = p;
        while (p < end && bytes[p] != tal20 && bytes[p] != tal21)
            tal.onset.push_back(static_cast<char>(bytes[p++]));
        if (!IsDecimal(tal.onset, true))
            return Fail(error, at(start), "bad TAL onset \"" + tal.onset + "\"");
        if (p < end && bytes[p] == tal21) {
            const std::size_t durationStart = ++p;
            while (p < end && bytes[p] != tal20)
                tal.duration.push_back(static_cast<char>(bytes[p++]));
            if (!IsDecimal(tal.duration, false))
                return Fail(error, at(durationStart), "bad TAL duration \"" + tal.duration + "\"");
        }
        if (p >= end)
            return Fail(error, at(start), "TAL runs past the end of the annotation signal");
        ++p;  // the 0x14 after onset (and duration)
        bool closed = false;
        while (p < end && !closed) {
            std::string text;
            while (p < end && bytes[p] != tal20 && bytes[p] != 0)
                text.push_back(static_cast<char>(bytes[p++]));
            if (p >= end || bytes[p] != tal20)
                return Fail(error, at(p), "annotation text not ended by 0x14");
            ++p;
            tal.texts.push_back(text);
            if (p < end && bytes[p] == 0) {
                ++p;
                closed = true;
            }
        }
        if (!closed)
            return Fail(error, at(start), "TAL not ended by 0x00");
        if (first && timeKeepingFirst) {
            if (tal.texts.empty() || !tal.texts.front().empty() || !tal.duration.empty())
                return Fail(error, at(start), "the first TAL of the record is not a time-keeping TAL");
            out.startTime = tal.onset;
            tal.texts.erase(tal.texts.begin());
            if (!tal.texts.empty())
                out.annotations.push_back(tal);
        } else {
            out.annotations.push_back(tal);
        }
        first = false;
    }
    if (first && timeKeepingFirst)
        return Fail(error, at(begin), "record without a time-keeping TAL");
    for (; p < end; ++p)
        if (bytes[p] != 0)
            return Fail(error, at(p), "non-zero byte after the last TAL");
    return true;
}

}  // namespace

EdfReader::~EdfReader()
{
    if (fd >= 0)
        (void)close(fd);
}

bool EdfReader::Open(const std::filesystem::path& path, std::string& error)
{
    fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = "not a regular file that can be read: " + path.string();
        return false;
    }
    size = status.st_size;
    return ReadHeader(error);
}

bool EdfReader::OpenBytes(const std::vector<unsigned char>& bytes, std::string& error)
{
    memory = &bytes;
    size = static_cast<int64_t>(bytes.size());
    return ReadHeader(error);
}

bool EdfReader::ReadAt(int64_t offset, std::size_t count, std::vector<unsigned char>& into) const
{
    into.resize(count);
    if (offset < 0 || offset + static_cast<int64_t>(count) > size)
        return false;
    if (memory != nullptr) {
        std::copy_n(memory->begin() + offset, count, into.begin());
        return true;
    }
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = pread(fd, into.data() + done, count - done, offset + static_cast<int64_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool EdfReader::ReadHeader(std::string& error)
{
    header = EdfHeader{};
    std::vector<unsigned char> bytes;
    if (!ReadAt(0, static_cast<std::size_t>(edfFixedHeaderBytes), bytes))
        return Fail(error, size, "file shorter than the 256-byte fixed header");
    header.version = Field(bytes, Place(EdfHeaderField::Version));
    header.patient = Field(bytes, Place(EdfHeaderField::Patient));
    header.recording = Field(bytes, Place(EdfHeaderField::Recording));
    header.startDate = Field(bytes, Place(EdfHeaderField::StartDate));
    header.startTime = Field(bytes, Place(EdfHeaderField::StartTime));
    header.reserved = Field(bytes, Place(EdfHeaderField::Reserved));
    header.recordDuration = Field(bytes, Place(EdfHeaderField::RecordDuration));
    if (!Number(bytes, Place(EdfHeaderField::HeaderBytes), header.headerBytes, error)
        || !Number(bytes, Place(EdfHeaderField::RecordCount), header.recordCount, error)
        || !Number(bytes, Place(EdfHeaderField::SignalCount), header.signalCount, error))
        return false;
    if (header.signalCount < 1)
        return Fail(error, EdfFieldOffset(EdfHeaderField::SignalCount), "no signals");
    if (header.headerBytes != EdfHeaderBytesFor(header.signalCount))
        return Fail(error, EdfFieldOffset(EdfHeaderField::HeaderBytes),
                    "header size " + std::to_string(header.headerBytes) + " is not 256 × (signals + 1)");
    if (!IsDecimal(header.recordDuration, false))
        return Fail(error, EdfFieldOffset(EdfHeaderField::RecordDuration),
                    "bad record duration \"" + header.recordDuration + "\"");
    if (header.recordCount < 0)
        return Fail(error, EdfFieldOffset(EdfHeaderField::RecordCount),
                    "record count " + std::to_string(header.recordCount) + " (file not closed?)");
    if (!ReadAt(0, static_cast<std::size_t>(header.headerBytes), bytes))
        return Fail(error, size, "file shorter than its header");

    const auto n = static_cast<std::size_t>(header.signalCount);
    header.signals.resize(n);
    for (std::size_t i = 0; i < n; ++i) {
        EdfSignal& signal = header.signals[i];
        signal.label = Field(bytes, Place(EdfSignalField::Label, n, i));
        signal.transducer = Field(bytes, Place(EdfSignalField::Transducer, n, i));
        signal.physicalDimension = Field(bytes, Place(EdfSignalField::PhysicalDimension, n, i));
        signal.physicalMinimum = Field(bytes, Place(EdfSignalField::PhysicalMinimum, n, i));
        signal.physicalMaximum = Field(bytes, Place(EdfSignalField::PhysicalMaximum, n, i));
        if (!Number(bytes, Place(EdfSignalField::DigitalMinimum, n, i), signal.digitalMinimum, error)
            || !Number(bytes, Place(EdfSignalField::DigitalMaximum, n, i), signal.digitalMaximum, error))
            return false;
        signal.prefiltering = Field(bytes, Place(EdfSignalField::Prefiltering, n, i));
        const FieldPlace samples = Place(EdfSignalField::SamplesPerRecord, n, i);
        if (!Number(bytes, samples, signal.samplesPerRecord, error))
            return false;
        if (signal.samplesPerRecord < 1)
            return Fail(error, static_cast<int64_t>(samples.offset), "samples per record below 1");
        signal.isAnnotation = signal.label == "EDF Annotations";
        header.recordBytes += 2 * static_cast<int64_t>(signal.samplesPerRecord);
    }
    const int64_t expectedSize = header.headerBytes + header.recordCount * header.recordBytes;
    if (size != expectedSize)
        return Fail(error, size,
                    "file size " + std::to_string(size) + " differs from header + " + std::to_string(header.recordCount)
                        + " records of " + std::to_string(header.recordBytes)
                        + " bytes = " + std::to_string(expectedSize));
    nextRecord = 0;
    return true;
}

bool EdfReader::ReadRecord(EdfRecord& record, std::string& error)
{
    error.clear();
    if (nextRecord >= header.recordCount)
        return false;
    const int64_t base = header.headerBytes + nextRecord * header.recordBytes;
    if (!ReadAt(base, static_cast<std::size_t>(header.recordBytes), recordBytes))
        return Fail(error, base, "the record cannot be read");
    record.samples.resize(header.signals.size());  // each signal's vector keeps its room
    record.startTime.clear();
    record.annotations.clear();
    std::size_t p = 0;
    bool firstAnnotationSignal = true;
    for (std::size_t i = 0; i < header.signals.size(); ++i) {
        const EdfSignal& signal = header.signals[i];
        const std::size_t signalBytes = 2 * static_cast<std::size_t>(signal.samplesPerRecord);
        if (signal.isAnnotation) {
            record.samples[i].clear();
            if (!ParseTals(recordBytes, p, p + signalBytes, base, nextRecord, firstAnnotationSignal, record, error))
                return false;
            firstAnnotationSignal = false;
        } else if (!samplesDecoded) {
            record.samples[i].clear();
        } else {
            std::vector<int16_t>& samples = record.samples[i];
            samples.resize(static_cast<std::size_t>(signal.samplesPerRecord));
            for (std::size_t k = 0; k < samples.size(); ++k)
                samples[k] = static_cast<int16_t>(recordBytes[p + 2 * k] | (recordBytes[p + 2 * k + 1] << 8));
        }
        p += signalBytes;
    }
    ++nextRecord;
    return true;
}

namespace {

bool ReadWhole(EdfReader& reader, EdfFile& file, std::string& error)
{
    static_cast<EdfHeader&>(file) = reader.Header();
    file.samplesPerSignal.assign(file.signals.size(), {});
    EdfRecord record;
    while (reader.ReadRecord(record, error)) {
        for (std::size_t i = 0; i < record.samples.size(); ++i)
            file.samplesPerSignal[i].insert(file.samplesPerSignal[i].end(), record.samples[i].begin(),
                                            record.samples[i].end());
        file.recordStartTimes.push_back(record.startTime);
        file.annotations.insert(file.annotations.end(), record.annotations.begin(), record.annotations.end());
    }
    return error.empty();
}

}  // namespace

bool ParseEdfFile(const std::filesystem::path& path, EdfFile& file, std::string& error)
{
    file = EdfFile{};
    EdfReader reader;
    return reader.Open(path, error) && ReadWhole(reader, file, error);
}

bool ParseEdfBytes(const std::vector<unsigned char>& bytes, EdfFile& file, std::string& error)
{
    file = EdfFile{};
    EdfReader reader;
    return reader.OpenBytes(bytes, error) && ReadWhole(reader, file, error);
}
