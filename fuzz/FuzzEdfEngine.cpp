// Fuzz target: the EDF file engine driven by a fuzzed sequence of calls on several files at once.
// A small model predicts the result of every call (handles, refusals, header check codes): it
// keeps what was asked for and the rules of the engine's interface, nothing of how the header is
// written. After every successful close the file is read back with the project's independent
// EDF+ parser, and what it reads is compared with what was asked for: structure, header fields,
// samples (clamped), record start times and the annotations placed. Whether a physical range is
// empty as the header writes it is the parser's to say: the model only knows ranges whose ends
// lie too far apart to be written alike. The files are written through small streams
// (FuzzSupport::smallStreams), so that every input runs the writing thread. A device under the
// name (/dev/full) is never opened: the name counts as taken. Every file still open at the end is
// closed, so the engine's table is empty between inputs.
//
// Input: a sequence of operations, each an opcode byte followed by its arguments (EngineRun::Step).
#include <algorithm>
#include <cfloat>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "edf/EdfFileEngine.h"
#include "edf/EdfLayout.h"
#include "edf/EdfParser.h"
#include "fuzz/FuzzSupport.h"

namespace {

using FuzzSupport::Finding;
using FuzzSupport::InputCursor;

constexpr int maxFilesOpened = 6;  // per input, so that runs stay cheap
constexpr int64_t maxSamplesPerRecordWritten = 1 << 16;
constexpr int64_t maxBytesWrittenAtClose = 4 << 20;
constexpr int64_t maxSamplesKept = 1 << 20;  // in the model, over all records of one file

struct SignalModel {
    int samplesPerRecord = 0;
    double physicalMinimum = 0;
    double physicalMaximum = 0;
    int digitalMinimum = 0;
    int digitalMaximum = 0;
    std::string label;  // as stored: at most 16 bytes, without leading and trailing spaces
};

struct AnnotationModel {
    int64_t onset = 0;
};

// Whether the header's 8 characters may write `a` and `b` alike. A value whose whole part fits is
// written to its last character, cut toward zero: a unit of that character is at most 10^-5 of
// the value's magnitude (at least 1), so values written alike lie closer than that. A value
// whose whole part does not fit (or that is not a number) may be written like anything.
bool MayBeWrittenAlike(double a, double b)
{
    const auto fits = [](double value) { return value > -9'999'999.0 && value < 99'999'999.0; };
    if (!fits(a) || !fits(b))
        return true;
    return std::fabs(a - b) <= 1.00001e-5 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

// The answers that a header write may give.
struct HeaderOutcome {
    int code = EdfOk;  // the first failure of the rules on samples and digital ranges
    // A signal checked before it has a physical range that may be written empty: the write may
    // then fail with EdfPhysicalRangeEmpty instead.
    bool physicalMayBeEmpty = false;

    bool Allows(int result) const { return result == code || (physicalMayBeEmpty && result == EdfPhysicalRangeEmpty); }
    bool MayFail() const { return code != EdfOk || physicalMayBeEmpty; }
};

struct FileModel {
    int handle = -1;
    std::string path;
    // The first EdfWriteRecord with a valid header wrote the header: the parameters are frozen
    // from then on, whether or not its records reached the file.
    bool headerWritten = false;
    int signalCount = 0;
    std::vector<SignalModel> signals;
    int64_t recordDurationTicks = 10'000'000;  // units of 100 ns
    bool startSet = false;
    int start[6] = {};  // year, month, day, hour, minute, second
    int64_t records = 0;
    std::vector<std::vector<int16_t>> recordSamples;  // each record as written, clamped; empty when not kept
    bool samplesKept = true;
    int64_t samplesInModel = 0;
    std::vector<AnnotationModel> annotations;

    int64_t SamplesPerRecord() const
    {
        int64_t total = 0;
        for (const SignalModel& signal : signals)
            total += signal.samplesPerRecord;
        return total;
    }

    // What the next header write may answer: the signals are checked in order, each for its
    // samples per record, its digital range and then its physical range.
    HeaderOutcome NextHeader() const
    {
        HeaderOutcome outcome;
        for (const SignalModel& signal : signals) {
            if (signal.samplesPerRecord < 1)
                outcome.code = EdfBadSamplesPerRecord;
            else if (signal.digitalMaximum == signal.digitalMinimum)
                outcome.code = EdfDigitalRangeEmpty;
            else if (signal.digitalMaximum < signal.digitalMinimum)
                outcome.code = EdfDigitalRangeInverted;
            if (outcome.code != EdfOk)
                return outcome;
            outcome.physicalMayBeEmpty |= MayBeWrittenAlike(signal.physicalMinimum, signal.physicalMaximum);
        }
        return outcome;
    }
};

class EngineRun {
public:
    explicit EngineRun(InputCursor& input) : input(input) {}

    void Step()
    {
        switch (input.Byte() % 13) {
        case 0:
            Open();
            break;
        case 1:
            SetSamplesPerRecord();
            break;
        case 2:
            SetPhysical(true);
            break;
        case 3:
            SetPhysical(false);
            break;
        case 4:
            SetDigital(true);
            break;
        case 5:
            SetDigital(false);
            break;
        case 6:
            SetLabel();
            break;
        case 7:
            SetRecordDuration();
            break;
        case 8:
            SetStartDateTime();
            break;
        case 9:
            WriteRecord();
            break;
        case 10:
            AddAnnotation();
            break;
        case 11:
            Close(false);
            break;
        default:
            Release();
            break;
        }
    }

    // Closes every file still open, giving a file whose header checks fail valid parameters.
    void CloseAll()
    {
        while (!files.empty()) {
            current = 0;
            Close(true);
        }
    }

private:
    // The file an operation addresses, or null for an invalid handle (then `handle` is set).
    FileModel* PickFile(int& handle)
    {
        const uint8_t selector = input.Byte();
        if (selector < 240 && !files.empty()) {
            current = selector % files.size();
            handle = files[current].handle;
            return &files[current];
        }
        static const int invalidHandles[] = {-1, edfMaxOpenFiles, INT_MIN, INT_MAX};
        if (selector % 5 == 4) {
            handle = LowestFreeSlot();  // a slot that is not in use
            return nullptr;
        }
        handle = invalidHandles[selector % 4];
        return nullptr;
    }

    int PickSignal(const FileModel* file)
    {
        const uint8_t selector = input.Byte();
        const int count = file != nullptr ? file->signalCount : 1;
        if (selector >= 250)
            return selector % 2 == 0 ? -1 : edfMaxSignals + 1;
        return selector % (count + 1);  // one past the last signal too
    }

    bool SignalValid(const FileModel* file, int signal) const
    {
        return file != nullptr && !file->headerWritten && signal >= 0 && signal < file->signalCount;
    }

    int LowestFreeSlot() const
    {
        for (int slot = 0; slot < edfMaxOpenFiles; ++slot) {
            if (std::none_of(files.begin(), files.end(), [&](const FileModel& f) { return f.handle == slot; }))
                return slot;
        }
        return -1;
    }

    void Expect(int result, int expected, const char* operation)
    {
        if (result != expected)
            Finding(operation, "returned " + std::to_string(result) + ", expected " + std::to_string(expected));
    }

    void Open()
    {
        const uint8_t pathSelector = input.Byte();
        const uint8_t countSelector = input.Byte();
        const std::filesystem::path& dir = FuzzSupport::ScratchDirectory();
        std::string path;
        bool nameTaken = false;
        bool cannotCreate = false;
        switch (pathSelector % 8) {
        case 5:
            if (access("/dev/full", F_OK) != 0)
                return;
            path = "/dev/full";
            nameTaken = true;
            break;
        case 6:
            path = (dir / "missing" / "f.edf").string();
            cannotCreate = true;
            break;
        case 7:
            path = (dir / "f\xC3\xA9.edf").string();
            break;
        default:
            path = (dir / ("f" + std::to_string(pathSelector % 8) + ".edf")).string();
            break;
        }
        static const int specialCounts[] = {-1, edfMaxSignals + 1, edfMaxSignals, INT_MIN, 64, 7};
        const int signalCount = countSelector < 250 ? countSelector % 6 : specialCounts[countSelector - 250];
        if (signalCount == edfMaxSignals && openedInRun > 0)
            return;  // a file of 512 signals at most once per input, and only first
        if (openedInRun >= maxFilesOpened)
            return;
        ++openedInRun;

        int expected = 0;
        const bool pathOpen =
            std::any_of(files.begin(), files.end(), [&](const FileModel& f) { return f.path == path; });
        if (files.size() >= static_cast<size_t>(edfMaxOpenFiles))
            expected = EdfNoFreeSlot;
        else if (pathOpen)
            expected = EdfPathAlreadyOpen;
        else if (signalCount < 0 || signalCount > edfMaxSignals)
            expected = EdfBadSignalCount;
        else if (nameTaken)
            expected = EdfNameTaken;
        else if (cannotCreate)
            expected = EdfCannotCreate;
        else
            expected = LowestFreeSlot();
        const int handle = EdfOpenFile(path.c_str(), signalCount);
        Expect(handle, expected, "EdfOpenFile");
        if (handle < 0)
            return;
        FileModel file;
        file.handle = handle;
        file.path = path;
        file.signalCount = signalCount;
        file.signals.resize(static_cast<size_t>(signalCount));
        files.push_back(std::move(file));
    }

    void SetSamplesPerRecord()
    {
        int handle = 0;
        FileModel* file = PickFile(handle);
        const int signal = PickSignal(file);
        static const int values[] = {1,
                                     2,
                                     3,
                                     7,
                                     57,
                                     100,
                                     512,
                                     1000,
                                     4096,
                                     0,
                                     -1,
                                     INT_MIN,
                                     edfLargestFieldNumber,
                                     edfLargestFieldNumber + 1,
                                     INT_MAX,
                                     30720};
        const uint8_t selector = input.Byte();
        const int value = selector < 16 ? values[selector] : 1 + input.Byte() % 64;
        const bool valid = SignalValid(file, signal) && value >= 1 && value <= edfLargestFieldNumber;
        Expect(EdfSetSamplesPerRecord(handle, signal, value), valid ? EdfOk : EdfFailure, "EdfSetSamplesPerRecord");
        if (valid)
            file->signals[static_cast<size_t>(signal)].samplesPerRecord = value;
    }

    double PickDouble()
    {
        static const double values[] = {
            0,          1,         -1,       1000,       -1000,        3276.7,
            0.5,        1e-10,     -1e-10,   1e9,        123456789,    std::numeric_limits<double>::quiet_NaN(),
            HUGE_VAL,   -HUGE_VAL, -0.0,     DBL_MAX,    DBL_MIN,      1e-6,
            -1234.5678, 99999999,  -9999999, 12345678.9, 2147483648.0, -2147483649.0,
            0.02941};
        const uint8_t selector = input.Byte();
        if (selector < std::size(values))
            return values[selector];
        if (selector < 128)
            return static_cast<double>(static_cast<int16_t>(input.Le16()));
        const uint64_t bits = input.Le64();
        double value = 0;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    void SetPhysical(bool maximum)
    {
        int handle = 0;
        FileModel* file = PickFile(handle);
        const int signal = PickSignal(file);
        const double value = PickDouble();
        const int result =
            maximum ? EdfSetPhysicalMaximum(handle, signal, value) : EdfSetPhysicalMinimum(handle, signal, value);
        const bool valid = SignalValid(file, signal);
        Expect(result, valid ? EdfOk : EdfFailure, "EdfSetPhysical*");
        if (!valid)
            return;
        SignalModel& model = file->signals[static_cast<size_t>(signal)];
        (maximum ? model.physicalMaximum : model.physicalMinimum) = value;
    }

    void SetDigital(bool maximum)
    {
        int handle = 0;
        FileModel* file = PickFile(handle);
        const int signal = PickSignal(file);
        static const int values[] = {32767, 32768, -32768, -32769, 0, 1, -1, 2047, -2048, INT_MAX, INT_MIN};
        const uint8_t selector = input.Byte();
        const int value = selector < std::size(values) ? values[selector] : static_cast<int16_t>(input.Le16());
        const bool inRange = maximum ? value <= INT16_MAX : value >= INT16_MIN;
        const bool valid = SignalValid(file, signal) && inRange;
        const int result =
            maximum ? EdfSetDigitalMaximum(handle, signal, value) : EdfSetDigitalMinimum(handle, signal, value);
        Expect(result, valid ? EdfOk : EdfFailure, "EdfSetDigital*");
        if (valid) {
            SignalModel& model = file->signals[static_cast<size_t>(signal)];
            (maximum ? model.digitalMaximum : model.digitalMinimum) = value;
        }
    }

    std::string PickText()
    {
        const std::span<const uint8_t> bytes = input.Bytes(input.Byte() % 48);
        std::string text(bytes.begin(), bytes.end());
        return text.substr(0, text.find('\0'));
    }

    void SetLabel()
    {
        int handle = 0;
        FileModel* file = PickFile(handle);
        const int signal = PickSignal(file);
        const bool nullLabel = input.Byte() == 0xFF;
        const std::string label = PickText();
        const bool valid = SignalValid(file, signal) && !nullLabel;
        Expect(EdfSetLabel(handle, signal, nullLabel ? nullptr : label.c_str()), valid ? EdfOk : EdfFailure,
               "EdfSetLabel");
        if (!valid)
            return;
        std::string stored = label.substr(0, edfMaxLabelLength);
        stored.erase(0, std::min(stored.find_first_not_of(' '), stored.size()));
        stored.erase(stored.find_last_not_of(' ') + 1);
        file->signals[static_cast<size_t>(signal)].label = stored;
    }

    void SetRecordDuration()
    {
        int handle = 0;
        FileModel* file = PickFile(handle);
        static const int values[] = {99, 100, 6'000'000, 6'000'001, 50'000, 2'941, 100'000,
                                     0,  -1,  1,         1'639,     333,    104,   1'234'567};
        const uint8_t selector = input.Byte();
        const int value = selector < std::size(values) ? values[selector] : static_cast<int>(input.Le32() % 6'100'000);
        const bool valid = file != nullptr && !file->headerWritten && value >= 100 && value <= 6'000'000;
        Expect(EdfSetRecordDuration(handle, value), valid ? EdfOk : EdfFailure, "EdfSetRecordDuration");
        if (valid)
            file->recordDurationTicks = static_cast<int64_t>(value) * 100;
    }

    void SetStartDateTime()
    {
        int handle = 0;
        FileModel* file = PickFile(handle);
        static const int years[] = {1969, 1970, 2017, 2099, 3000, 3001};
        const uint8_t yearSelector = input.Byte();
        int date[6] = {yearSelector < 6 ? years[yearSelector] : 1970 + yearSelector,
                       input.Byte() % 14,
                       input.Byte() % 33,
                       input.Byte() % 25,
                       input.Byte() % 61,
                       input.Byte() % 61};
        const bool inRange = date[0] >= 1970 && date[0] <= 3000 && date[1] >= 1 && date[1] <= 12 && date[2] >= 1
                             && date[2] <= 31 && date[3] <= 23 && date[4] <= 59 && date[5] <= 59;
        const bool valid = file != nullptr && !file->headerWritten && inRange;
        Expect(EdfSetStartDateTime(handle, date[0], date[1], date[2], date[3], date[4], date[5]),
               valid ? EdfOk : EdfFailure, "EdfSetStartDateTime");
        if (valid) {
            file->startSet = true;
            std::copy(std::begin(date), std::end(date), file->start);
        }
    }

    void WriteRecord()
    {
        int handle = 0;
        FileModel* file = PickFile(handle);
        const int64_t total = file != nullptr ? file->SamplesPerRecord() : 0;
        if (total > maxSamplesPerRecordWritten)
            return;
        std::vector<int16_t> samples(static_cast<size_t>(std::max<int64_t>(total, 1)));
        const uint8_t pattern = input.Byte();
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = static_cast<int16_t>(i < 64 ? input.Le16() : samples[i % 64] + static_cast<int>(i) * pattern);
        const int result = EdfWriteRecord(handle, samples.data());
        if (file == nullptr || file->signalCount == 0) {
            Expect(result, EdfFailure, "EdfWriteRecord without a file or without signals");
            return;
        }
        if (!file->headerWritten) {
            if (!file->NextHeader().Allows(result))
                Finding("EdfWriteRecord", "the first record's header check returned " + std::to_string(result));
            if (result != EdfOk)
                return;
        }
        file->headerWritten = true;
        Expect(result, EdfOk, "EdfWriteRecord");
        file->records += 1;
        KeepRecord(*file, samples.data());
    }

    // The record as the file must hold it: every sample clamped into its signal's digital range.
    void KeepRecord(FileModel& file, const int16_t* samples)
    {
        const int64_t total = file.SamplesPerRecord();
        if (!file.samplesKept || file.samplesInModel + total > maxSamplesKept) {
            file.samplesKept = false;
            file.recordSamples.clear();
            return;
        }
        std::vector<int16_t> record;
        record.reserve(static_cast<size_t>(total));
        for (const SignalModel& signal : file.signals) {
            for (int k = 0; k < signal.samplesPerRecord; ++k) {
                const int value = samples != nullptr ? *samples++ : 0;
                record.push_back(static_cast<int16_t>(std::clamp(value, signal.digitalMinimum, signal.digitalMaximum)));
            }
        }
        file.samplesInModel += total;
        file.recordSamples.push_back(std::move(record));
    }

    void AddAnnotation()
    {
        int handle = 0;
        FileModel* file = PickFile(handle);
        static const int64_t onsets[] = {0, -1, 25'000, 123, INT64_MAX, INT64_MIN, 1, 10'000, 9'999};
        const uint8_t selector = input.Byte();
        const int64_t onset = selector < std::size(onsets) ? onsets[selector] : static_cast<int64_t>(input.Le32());
        const bool nullText = input.Byte() == 0xFF;
        const std::string text = PickText();
        const bool valid = file != nullptr && onset >= 0 && !nullText;
        Expect(EdfAddAnnotation(handle, nullText ? nullptr : text.c_str(), onset), valid ? EdfOk : EdfFailure,
               "EdfAddAnnotation");
        if (valid)
            file->annotations.push_back({onset});
    }

    void Close(bool finally)
    {
        int handle = 0;
        FileModel* file = finally ? &files[current] : PickFile(handle);
        if (finally)
            handle = file->handle;
        if (file == nullptr) {
            Expect(EdfCloseFile(handle), EdfFailure, "EdfCloseFile of an invalid handle");
            return;
        }
        if (!file->headerWritten) {
            if (finally && file->NextHeader().MayFail())
                MakeHeaderValid(*file);
            LimitRecordsAtClose(*file);
        }
        // every annotation kept; a header that fails its checks fails the close
        const int result = EdfCloseFile(handle);
        const HeaderOutcome header = file->headerWritten ? HeaderOutcome{} : file->NextHeader();
        if (result == EdfFailure ? !header.MayFail() : result != EdfOk || header.code != EdfOk)
            Finding("EdfCloseFile", "returned " + std::to_string(result) + " for the header check");
        if (result != EdfOk)
            return;
        if (!file->headerWritten) {
            // one record of digital zeros per annotation, so that every annotation has a slot
            file->records = static_cast<int64_t>(file->annotations.size());
            for (int64_t r = 0; r < file->records; ++r)
                KeepRecord(*file, nullptr);
        }
        if (!LabelNamesAnnotations(*file))
            Verify(*file);
        std::error_code ignored;
        std::filesystem::remove(file->path, ignored);
        files.erase(files.begin() + static_cast<std::ptrdiff_t>(current));
    }

    // The engine writes the labels it is given: a signal whose label the parser reads as "EDF
    // Annotations" is a second annotation signal, and the file is not EDF+. (The conversion
    // refuses channel names that come close to it.)
    static bool LabelNamesAnnotations(const FileModel& file)
    {
        const std::vector<unsigned char> bytes = FuzzSupport::ReadFile(file.path);
        EdfReader reader;
        std::string problem;
        if (!reader.OpenBytes(bytes, problem))
            return false;  // Verify reports it
        const std::vector<EdfSignal>& signals = reader.Header().signals;
        return std::any_of(signals.begin(),
                           signals.begin() + std::min<std::ptrdiff_t>(file.signalCount, std::ssize(signals)),
                           [](const EdfSignal& signal) { return signal.isAnnotation; });
    }

    // Gives a file up without completing it: only its slot and path are free again.
    void Release()
    {
        int handle = 0;
        FileModel* file = PickFile(handle);
        Expect(EdfReleaseFile(handle), file != nullptr ? EdfOk : EdfFailure, "EdfReleaseFile");
        if (file == nullptr)
            return;
        std::error_code ignored;
        std::filesystem::remove(file->path, ignored);
        files.erase(files.begin() + static_cast<std::ptrdiff_t>(current));
    }

    void MakeHeaderValid(FileModel& file)
    {
        for (int i = 0; i < file.signalCount; ++i) {
            SignalModel& signal = file.signals[static_cast<size_t>(i)];
            if (signal.samplesPerRecord < 1 && EdfSetSamplesPerRecord(file.handle, i, 1) == EdfOk)
                signal.samplesPerRecord = 1;
            if (signal.digitalMaximum <= signal.digitalMinimum && EdfSetDigitalMinimum(file.handle, i, -1) == EdfOk
                && EdfSetDigitalMaximum(file.handle, i, 1) == EdfOk) {
                signal.digitalMinimum = -1;
                signal.digitalMaximum = 1;
            }
            if (MayBeWrittenAlike(signal.physicalMinimum, signal.physicalMaximum)) {
                if (EdfSetPhysicalMinimum(file.handle, i, -1) == EdfOk
                    && EdfSetPhysicalMaximum(file.handle, i, 1) == EdfOk) {
                    signal.physicalMinimum = -1;
                    signal.physicalMaximum = 1;
                }
            }
        }
        if (file.NextHeader().MayFail())
            Finding("a file's parameters could not be made valid before its close");
    }

    // A close before the first record writes one record per annotation: keep those small.
    void LimitRecordsAtClose(FileModel& file)
    {
        const int64_t bytes = static_cast<int64_t>(file.annotations.size()) * 2 * file.SamplesPerRecord();
        if (bytes <= maxBytesWrittenAtClose)
            return;
        for (int i = 0; i < file.signalCount; ++i) {
            if (EdfSetSamplesPerRecord(file.handle, i, 1) == EdfOk)
                file.signals[static_cast<size_t>(i)].samplesPerRecord = 1;
        }
    }

    void Verify(const FileModel& file);

    InputCursor& input;
    std::vector<FileModel> files;
    size_t current = 0;
    int openedInRun = 0;
};

// Exact decimal of a non-negative number written with an optional fraction, in units of
// 10^-`decimals`; false when it is not such a number or has more decimals.
bool ParseFixedPoint(std::string_view text, int decimals, int64_t& units)
{
    const size_t dot = text.find('.');
    const std::string_view whole = text.substr(0, dot);
    std::string_view fraction = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    if (whole.empty() || fraction.size() > static_cast<size_t>(decimals)
        || (dot != std::string_view::npos && fraction.empty()))
        return false;
    int64_t value = 0;
    const auto [end, error] = std::from_chars(whole.data(), whole.data() + whole.size(), value);
    if (error != std::errc() || end != whole.data() + whole.size() || whole.front() == '-')
        return false;
    int64_t scaled = 0;
    for (int digit = 0; digit < decimals; ++digit) {
        const char c = static_cast<size_t>(digit) < fraction.size() ? fraction[static_cast<size_t>(digit)] : '0';
        if (c < '0' || c > '9')
            return false;
        scaled = scaled * 10 + (c - '0');
    }
    int64_t power = 1;
    for (int digit = 0; digit < decimals; ++digit)
        power *= 10;
    if (value > (INT64_MAX - scaled) / power)
        return false;
    units = value * power + scaled;
    return true;
}

double ParseDouble(const std::string& text, bool& ok)
{
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    ok = error == std::errc() && end == text.data() + text.size() && !text.empty();
    return value;
}

bool IsValidUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80)
            continue;
        if (byte < 0xC2 || byte > 0xDF || i + 1 >= text.size()
            || (static_cast<unsigned char>(text[i + 1]) & 0xC0) != 0x80)
            return false;  // the engine writes nothing beyond U+00FF
        ++i;
    }
    return true;
}

void EngineRun::Verify(const FileModel& file)
{
    const std::vector<unsigned char> bytes = FuzzSupport::ReadFile(file.path);
    EdfFile edf;
    std::string problem;
    if (!ParseEdfBytes(bytes, edf, problem))
        Finding("a closed file is not valid EDF+", problem);
    const int n = file.signalCount;
    if (edf.version != "0" || edf.reserved != "EDF+C" || edf.headerBytes != EdfHeaderBytesFor(n + 1)
        || edf.signalCount != n + 1)
        Finding("the fixed header fields differ from the file's parameters");
    if (edf.recordCount != file.records)
        Finding("the record count differs from the records written",
                std::to_string(edf.recordCount) + " in the header, " + std::to_string(file.records) + " written");
    // One annotation per record fits the annotation signal's usual samples; more may need a wider
    // one.
    const bool widened = file.annotations.size() > static_cast<size_t>(file.records);
    const int annotationSamples = edf.signals.back().samplesPerRecord;
    if (!edf.signals.back().isAnnotation || annotationSamples < edfAnnotationSamplesPerRecord
        || (!widened && annotationSamples != edfAnnotationSamplesPerRecord))
        Finding("the last signal is not the annotation signal of 57 samples, or wider only for more annotations than "
                "records",
                std::to_string(annotationSamples) + " samples, " + std::to_string(file.annotations.size())
                    + " annotations, " + std::to_string(file.records) + " records");

    int64_t durationTicks = 0;
    if (!ParseFixedPoint(edf.recordDuration, 7, durationTicks) || durationTicks != file.recordDurationTicks)
        Finding("the record duration in the header differs from the one set",
                edf.recordDuration + " for " + std::to_string(file.recordDurationTicks) + " units of 100 ns");
    if (file.startSet) {
        char date[9];
        char time[9];
        std::snprintf(date, sizeof date, "%02d.%02d.%02d", file.start[2], file.start[1], file.start[0] % 100);
        std::snprintf(time, sizeof time, "%02d.%02d.%02d", file.start[3], file.start[4], file.start[5]);
        if (edf.startDate != date || edf.startTime != time)
            Finding("the start date or time differs from the one set", edf.startDate + " " + edf.startTime);
    }

    for (int i = 0; i < n; ++i) {
        const SignalModel& model = file.signals[static_cast<size_t>(i)];
        const EdfSignal& signal = edf.signals[static_cast<size_t>(i)];
        if (signal.digitalMinimum != model.digitalMinimum || signal.digitalMaximum != model.digitalMaximum
            || signal.samplesPerRecord != model.samplesPerRecord)
            Finding("a signal's digital range or samples per record differ from the ones set", std::to_string(i));
        // the label: printable ASCII, each printable byte as set, the rest folded or blank
        constexpr auto width = static_cast<size_t>(edfMaxLabelLength);
        const std::string label = signal.label + std::string(width - std::min(signal.label.size(), width), ' ');
        if (label.size() != width)
            Finding("a label is longer than its field", signal.label);
        for (size_t k = 0; k < width; ++k) {
            const auto written = static_cast<unsigned char>(label[k]);
            const auto stored = k < model.label.size() ? static_cast<unsigned char>(model.label[k]) : ' ';
            if (written < 0x20 || written > 0x7E || (stored >= 0x20 && stored <= 0x7E && written != stored))
                Finding("a label differs from the one set", model.label);
        }
        bool minimumOk = false;
        bool maximumOk = false;
        const double minimum = ParseDouble(signal.physicalMinimum, minimumOk);
        const double maximum = ParseDouble(signal.physicalMaximum, maximumOk);
        if (!minimumOk || !maximumOk)
            Finding("a physical minimum or maximum is not a number",
                    signal.physicalMinimum + " " + signal.physicalMaximum);
        if (minimum == maximum)
            Finding("the header's physical minimum equals its maximum",
                    signal.physicalMinimum + " " + signal.physicalMaximum);
        // The text is cut to 8 characters: only a value whose whole part fits keeps its
        // magnitude, and at least 5 decimals ("-0.00000") or 5 significant digits remain.
        const auto close = [](double written, double set) {
            return !(std::fabs(set) < 9'999'999)
                   || std::fabs(written - set) <= 1.000001e-5 * std::max(1.0, std::fabs(set)) + 1e-12;
        };
        if (!close(minimum, model.physicalMinimum) || !close(maximum, model.physicalMaximum))
            Finding("a physical minimum or maximum in the header is not the value set",
                    signal.physicalMinimum + " " + signal.physicalMaximum);
    }

    if (file.samplesKept) {
        for (int64_t r = 0; r < file.records; ++r) {
            const std::vector<int16_t>& record = file.recordSamples[static_cast<size_t>(r)];
            size_t at = 0;
            for (int i = 0; i < n; ++i) {
                const int count = file.signals[static_cast<size_t>(i)].samplesPerRecord;
                const std::vector<int16_t>& read = edf.samplesPerSignal[static_cast<size_t>(i)];
                for (int k = 0; k < count; ++k, ++at) {
                    if (read[static_cast<size_t>(r * count + k)] != record[at])
                        Finding("a sample differs from the one written, clamped",
                                "record " + std::to_string(r) + " signal " + std::to_string(i));
                }
            }
        }
    }

    if (edf.recordStartTimes.size() != static_cast<size_t>(file.records))
        Finding("not every record has its time-keeping TAL");
    for (size_t r = 0; r < edf.recordStartTimes.size(); ++r) {
        int64_t ticks = 0;
        const std::string& text = edf.recordStartTimes[r];
        if (text.empty() || text[0] != '+' || !ParseFixedPoint(text.substr(1), 7, ticks)
            || ticks != static_cast<int64_t>(r) * file.recordDurationTicks)
            Finding("a record's start time differs from its number times the record duration", text);
    }

    // Every annotation, in the order added: one per record, or the same number in every record
    // (the last may hold fewer) when there are more annotations than records.
    const size_t placed = file.annotations.size();
    const size_t perRecord =
        file.records > 0 ? (placed + static_cast<size_t>(file.records) - 1) / static_cast<size_t>(file.records) : 1;
    if (edf.annotations.size() != placed)
        Finding("the file does not hold every annotation added",
                std::to_string(edf.annotations.size()) + " placed, " + std::to_string(placed) + " expected");
    for (size_t a = 0; a < placed; ++a) {
        const EdfTal& tal = edf.annotations[a];
        int64_t onset = 0;
        if (tal.record != static_cast<int64_t>(a / perRecord) || tal.onset.empty() || tal.onset[0] != '+'
            || !ParseFixedPoint(std::string_view(tal.onset).substr(1), 4, onset) || onset != file.annotations[a].onset)
            Finding("an annotation's record or onset differs from the one added", tal.onset);
        if (!tal.duration.empty() || tal.texts.size() != 1 || tal.texts[0].size() > edfMaxAnnotationTextBytes
            || !IsValidUtf8(tal.texts[0]))
            Finding("an annotation's text is not one UTF-8 text of at most 40 bytes without a duration");
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FuzzSupport::UseSmallStreams();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputCursor input(data, size);
    EngineRun run(input);
    while (!input.Empty())
        run.Step();
    run.CloseAll();
    return 0;
}
