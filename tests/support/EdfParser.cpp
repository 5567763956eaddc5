#include "tests/support/EdfParser.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "tests/support/TempDir.h"

namespace {

constexpr unsigned char tal20 = 0x14;  // ends the onset (or duration) and each text
constexpr unsigned char tal21 = 0x15;  // starts a duration

class Reader {
public:
    explicit Reader(const std::vector<unsigned char>& bytes) : bytes(bytes) {}

    // The field of `width` bytes at `offset`, trailing spaces removed.
    std::string Field(std::size_t offset, std::size_t width) const
    {
        std::string text(reinterpret_cast<const char*>(bytes.data()) + offset, width);
        text.erase(text.find_last_not_of(' ') + 1);
        return text;
    }

    template <typename Int> bool Number(std::size_t offset, std::size_t width, Int& value, std::string& error) const
    {
        std::string text = Field(offset, width);
        auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
            error = "offset " + std::to_string(offset) + ": not an integer: \"" + text + "\"";
            return false;
        }
        return true;
    }

    const std::vector<unsigned char>& bytes;
};

bool Fail(std::string& error, std::size_t offset, const std::string& what)
{
    error = "offset " + std::to_string(offset) + ": " + what;
    return false;
}

// Digits, then optionally a point and more digits; with a leading sign where one is required.
bool IsDecimal(const std::string& text, bool signRequired)
{
    const std::size_t first = signRequired ? 1 : 0;
    if (signRequired && (text.empty() || (text[0] != '+' && text[0] != '-')))
        return false;
    const auto digits = [&](std::size_t from, std::size_t to) {
        return from < to
               && std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from),
                              text.begin() + static_cast<std::ptrdiff_t>(to),
                              [](char c) { return c >= '0' && c <= '9'; });
    };
    const std::size_t point = text.find('.', first);
    return point == std::string::npos ? digits(first, text.size())
                                      : digits(first, point) && digits(point + 1, text.size());
}

// The TALs of one annotation signal's bytes in one record: [begin, end) of the file.
bool ParseTals(const std::vector<unsigned char>& bytes, std::size_t begin, std::size_t end, int64_t record,
               bool timeKeepingFirst, EdfFile& file, std::string& error)
{
    std::size_t p = begin;
    bool first = true;
    while (p < end && bytes[p] != 0) {
        EdfTal tal;
        tal.record = record;
        std::size_t start = p;
        while (p < end && bytes[p] != tal20 && bytes[p] != tal21)
            tal.onset.push_back(static_cast<char>(bytes[p++]));
        if (!IsDecimal(tal.onset, true))
            return Fail(error, start, "bad TAL onset \"" + tal.onset + "\"");
        if (p < end && bytes[p] == tal21) {
            std::size_t durationStart = ++p;
            while (p < end && bytes[p] != tal20)
                tal.duration.push_back(static_cast<char>(bytes[p++]));
            if (!IsDecimal(tal.duration, false))
                return Fail(error, durationStart, "bad TAL duration \"" + tal.duration + "\"");
        }
        if (p >= end)
            return Fail(error, start, "TAL runs past the end of the annotation signal");
        ++p;  // the 0x14 after onset (and duration)
        bool closed = false;
        while (p < end && !closed) {
            std::string text;
            while (p < end && bytes[p] != tal20 && bytes[p] != 0)
                text.push_back(static_cast<char>(bytes[p++]));
            if (p >= end || bytes[p] != tal20)
                return Fail(error, p, "annotation text not ended by 0x14");
            ++p;
            tal.texts.push_back(text);
            if (p < end && bytes[p] == 0) {
                ++p;
                closed = true;
            }
        }
        if (!closed)
            return Fail(error, start, "TAL not ended by 0x00");
        if (first && timeKeepingFirst) {
            if (tal.texts.empty() || !tal.texts.front().empty() || !tal.duration.empty())
                return Fail(error, start, "the first TAL of the record is not a time-keeping TAL");
            file.recordStartTimes.push_back(tal.onset);
            tal.texts.erase(tal.texts.begin());
            if (!tal.texts.empty())
                file.annotations.push_back(tal);
        } else {
            file.annotations.push_back(tal);
        }
        first = false;
    }
    if (first && timeKeepingFirst)
        return Fail(error, begin, "record without a time-keeping TAL");
    for (; p < end; ++p)
        if (bytes[p] != 0)
            return Fail(error, p, "non-zero byte after the last TAL");
    return true;
}

}  // namespace

bool ParseEdfFile(const std::filesystem::path& path, EdfFile& file, std::string& error)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        error = "not a regular file: " + path.string();
        return false;
    }
    return ParseEdfBytes(ReadFileBytes(path), file, error);
}

bool ParseEdfBytes(const std::vector<unsigned char>& bytes, EdfFile& file, std::string& error)
{
    file = EdfFile{};
    Reader reader(bytes);
    if (bytes.size() < 256)
        return Fail(error, bytes.size(), "file shorter than the 256-byte fixed header");
    file.version = reader.Field(0, 8);
    file.patient = reader.Field(8, 80);
    file.recording = reader.Field(88, 80);
    file.startDate = reader.Field(168, 8);
    file.startTime = reader.Field(176, 8);
    file.reserved = reader.Field(192, 44);
    file.recordDuration = reader.Field(244, 8);
    if (!reader.Number(184, 8, file.headerBytes, error) || !reader.Number(236, 8, file.recordCount, error)
        || !reader.Number(252, 4, file.signalCount, error))
        return false;
    if (file.signalCount < 1)
        return Fail(error, 252, "no signals");
    const std::size_t n = static_cast<std::size_t>(file.signalCount);
    if (file.headerBytes != 256 * (file.signalCount + 1))
        return Fail(error, 184, "header size " + std::to_string(file.headerBytes) + " is not 256 × (signals + 1)");
    if (bytes.size() < static_cast<std::size_t>(file.headerBytes))
        return Fail(error, bytes.size(), "file shorter than its header");
    if (!IsDecimal(file.recordDuration, false))
        return Fail(error, 244, "bad record duration \"" + file.recordDuration + "\"");
    if (file.recordCount < 0)
        return Fail(error, 236, "record count " + std::to_string(file.recordCount) + " (file not closed?)");

    file.signals.resize(n);
    std::size_t recordBytes = 0;
    for (std::size_t i = 0; i < n; ++i) {
        EdfSignal& signal = file.signals[i];
        signal.label = reader.Field(256 + 16 * i, 16);
        signal.transducer = reader.Field(256 + 16 * n + 80 * i, 80);
        signal.physicalDimension = reader.Field(256 + 96 * n + 8 * i, 8);
        signal.physicalMinimum = reader.Field(256 + 104 * n + 8 * i, 8);
        signal.physicalMaximum = reader.Field(256 + 112 * n + 8 * i, 8);
        if (!reader.Number(256 + 120 * n + 8 * i, 8, signal.digitalMinimum, error)
            || !reader.Number(256 + 128 * n + 8 * i, 8, signal.digitalMaximum, error))
            return false;
        signal.prefiltering = reader.Field(256 + 136 * n + 80 * i, 80);
        if (!reader.Number(256 + 216 * n + 8 * i, 8, signal.samplesPerRecord, error))
            return false;
        if (signal.samplesPerRecord < 1)
            return Fail(error, 256 + 216 * n + 8 * i, "samples per record below 1");
        signal.isAnnotation = signal.label == "EDF Annotations";
        recordBytes += 2 * static_cast<std::size_t>(signal.samplesPerRecord);
    }

    const std::size_t expectedSize = file.headerBytes + static_cast<std::size_t>(file.recordCount) * recordBytes;
    if (bytes.size() != expectedSize)
        return Fail(error, bytes.size(),
                    "file size " + std::to_string(bytes.size()) + " differs from header + "
                        + std::to_string(file.recordCount) + " records of " + std::to_string(recordBytes)
                        + " bytes = " + std::to_string(expectedSize));

    file.samplesPerSignal.resize(n);
    std::size_t p = static_cast<std::size_t>(file.headerBytes);
    for (int64_t record = 0; record < file.recordCount; ++record) {
        bool firstAnnotationSignal = true;
        for (std::size_t i = 0; i < n; ++i) {
            const EdfSignal& signal = file.signals[i];
            const std::size_t signalBytes = 2 * static_cast<std::size_t>(signal.samplesPerRecord);
            if (signal.isAnnotation) {
                if (!ParseTals(bytes, p, p + signalBytes, record, firstAnnotationSignal, file, error))
                    return false;
                firstAnnotationSignal = false;
            } else {
                for (std::size_t k = 0; k < signalBytes; k += 2) {
                    auto value = static_cast<uint16_t>(bytes[p + k] | (bytes[p + k + 1] << 8));
                    file.samplesPerSignal[i].push_back(static_cast<int16_t>(value));
                }
            }
            p += signalBytes;
        }
    }
    return true;
}

::testing::AssertionResult BytesAt(const std::vector<unsigned char>& bytes, std::size_t offset,
                                   std::string_view expected)
{
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (offset + i >= bytes.size())
            return ::testing::AssertionFailure()
                   << "offset " << offset + i << ": end of the " << bytes.size() << "-byte file, " << expected.size()
                   << " bytes expected from offset " << offset;
        auto want = static_cast<unsigned char>(expected[i]);
        if (bytes[offset + i] != want) {
            char text[64];
            std::snprintf(text, sizeof text, "offset %zu: byte 0x%02X, expected 0x%02X", offset + i, bytes[offset + i],
                          want);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}
