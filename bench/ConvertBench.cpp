// Measures whole conversions of 32 kHz recordings against copying the same directory on the
// same machine: 32 channels at two lengths (the cost must grow with the length only) and several
// channel counts at one length (the cost per byte must not depend on the count), each with the
// recording in the page cache and read from the disk, each converted as lab output without and
// with its read-back (and the 32-channel minute resampled to 1 kHz). Prints a table with the
// ratios and the conversion's peak resident memory, and writes every figure to a CSV file on
// request, from which scripts/plot-bench draws the cost per megabyte. Then, in the page cache,
// what lab output (varelo-convert's default, every file read back) and --exact-timing cost
// against the classic output (--classic), what the read-back costs, what resampling to 1 kHz
// costs against lab output and its peak memory with 256 channels, what a recording with more
// events than data records costs (its file is rewritten with a wider annotation signal), and
// whether a recording with 10,000 gaps costs about as much with 100,000 events as with 1,000
// (each file must find its own events, not read all of them).
//
//   varelo-bench-convert [--runs N] [--work DIR] [--cached | --cold] [--quick] [--csv FILE]
//                        [--only CHANNELSxSECONDS | --variants]
//
// "In the page cache" is the recording as right after it was written; "from the disk" drops its
// pages before each copy and conversion, as when a recording is converted some time after it was
// made. The kernel copy hands every file to the kernel (what cp -r does); the buffered copy reads
// and writes every byte through the program, as a converter must.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/ConversionRun.h"
#include "logging/FreedMemory.h"
#include "logging/TextConversion.h"
#include "synth/SynthRecording.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int samplingFrequency = 32000;

struct Measurement {
    double seconds = 0;
    long peakResidentKiB = 0;
    bool succeeded = false;
};

// Says nothing: the benchmark reports only its own figures.
class SilentFrontend : public ConversionFrontend {
public:
    void OnMessage(OrvLogging::ORVB_MESSAGE_TYPE, const std::wstring&) override {}
    void OnResult(int) override {}
};

constexpr uint64_t benchGapUs = 100000;  // each gap of the recordings with gaps
constexpr int benchEvents = 20;          // of each recording, unless a variant asks for more

constexpr int slowRateHz = 2000;  // of the slow channels of a recording of two rates

// slowChannels: the last ones are sampled at slowRateHz, the others at 32 kHz.
bool WriteRecording(const fs::path& directory, int channelCount, uint64_t seconds, int events = benchEvents,
                    uint32_t gaps = 0, int slowChannels = 0)
{
    VareloSynth::SynthOptions options;
    options.directory = directory;
    options.channels = std::vector<VareloSynth::SynthChannel>(channelCount);
    for (int c = std::max(0, channelCount - slowChannels); c < channelCount; ++c)
        options.channels[static_cast<size_t>(c)].rateHz = slowRateHz;
    options.samplingFrequencyHz = samplingFrequency;
    options.samplesPerChannel = seconds * samplingFrequency;
    options.spreadEventCount = events;
    options.spreadGapCount = gaps;
    options.spreadGapUs = benchGapUs;
    std::string error;
    if (VareloSynth::WriteSynthRecording(options, error) != 0) {
        std::fprintf(stderr, "cannot write the recording: %s\n", error.c_str());
        return false;
    }
    return true;
}

uint64_t DirectoryBytes(const fs::path& directory)
{
    uint64_t bytes = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error))
        bytes += entry.file_size(error);
    return bytes;
}

void RemoveOutputs(const fs::path& directory)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".edf" || entry.path().filename() == "VareloLogFile.txt")
            fs::remove(entry.path(), error);
    }
}

// Runs the conversion in a child process, so that its peak resident memory is its own. The time
// is taken in the child, from the directory scan to the end of the conversion, as the copies are
// timed in this process: neither includes starting or ending a process.
Measurement MeasureConversion(const fs::path& directory, const ConversionOptions& options = {})
{
    Measurement measurement;
    int timing[2];
    if (pipe(timing) != 0)
        return measurement;
    const pid_t child = fork();
    if (child == 0) {
        close(timing[0]);
        const Clock::time_point start = Clock::now();
        ConversionRequest request;
        request.dataDirectory = OrvText::Utf8ToWide(directory.string());
        ScanDirectory(request.dataDirectory, request.cscFiles, request.eventFile, ChannelOrderOf(options));
        request.options = options;
        int result = 0;
        {
            LogFile logFile;
            SilentFrontend frontend;
            result = RunConversion(request, logFile, frontend);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const bool sent = write(timing[1], &seconds, sizeof seconds) == static_cast<ssize_t>(sizeof seconds);
        _exit(result == 0 && sent ? 0 : 1);
    }
    close(timing[1]);
    const bool received =
        child > 0 && read(timing[0], &measurement.seconds, sizeof measurement.seconds) == sizeof measurement.seconds;
    close(timing[0]);
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return measurement;
    measurement.peakResidentKiB = usage.ru_maxrss;
    measurement.succeeded = received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return measurement;
}

// The time to copy the directory with std::filesystem::copy, which on Linux hands each file to
// the kernel (copy_file_range): no byte passes through the program. Negative when it failed.
double MeasureKernelCopy(const fs::path& source, const fs::path& target)
{
    std::error_code error;
    fs::remove_all(target, error);
    const Clock::time_point start = Clock::now();
    fs::copy(source, target, fs::copy_options::recursive, error);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const bool copied = !error;
    fs::remove_all(target, error);
    return copied ? seconds : -1;
}

bool CopyThroughBuffer(const fs::path& source, const fs::path& target, std::vector<char>& buffer)
{
    const int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    bool copied = in >= 0 && out >= 0;
    while (copied) {
        const ssize_t got = read(in, buffer.data(), buffer.size());
        if (got <= 0) {
            copied = got == 0;
            break;
        }
        copied = write(out, buffer.data(), static_cast<size_t>(got)) == got;
    }
    if (in >= 0)
        close(in);
    if (out >= 0)
        close(out);
    return copied;
}

// The time to copy the directory by reading every file into a buffer and writing it out, as a
// program that reads and writes every byte must. Negative when it failed.
double MeasureBufferedCopy(const fs::path& source, const fs::path& target)
{
    std::error_code error;
    fs::remove_all(target, error);
    std::vector<char> buffer(1 << 20);
    const Clock::time_point start = Clock::now();
    bool copied = fs::create_directory(target, error);
    for (const auto& entry : fs::directory_iterator(source, error)) {
        if (copied)
            copied = CopyThroughBuffer(entry.path(), target / entry.path().filename(), buffer);
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    fs::remove_all(target, error);
    return copied ? seconds : -1;
}

// Writes back and drops from the page cache every file of the directory.
void EvictFromPageCache(const fs::path& directory)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        const int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        (void)fdatasync(fd);
        (void)posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        close(fd);
    }
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The medians of one recording in one cache state. The conversion is lab output without its
// read-back; the verified one lab output as varelo-convert writes it by default.
struct Report {
    double kernelCopySeconds = 0;
    double copySeconds = 0;
    double convertSeconds = 0;
    double verifiedSeconds = 0;
    double verifiedRatio = 0;     // the median of the runs' verified / plain
    double resampledSeconds = 0;  // --resample 1000, where measured
    long peakResidentKiB = 0;
    bool measured = false;
};

ConversionOptions PlainLabOutput()
{
    ConversionOptions options = ConversionOptions::Lab();
    options.verify = false;
    return options;
}

ConversionOptions ResampledTo1kHz()
{
    ConversionOptions options = ConversionOptions::Lab();
    options.resampleHz = 1000;
    return options;
}

// Converts with `options` into `seconds`; false (with a message) when the conversion fails.
bool Convert(const fs::path& recording, const ConversionOptions& options, std::vector<double>& seconds, Report& report)
{
    const Measurement conversion = MeasureConversion(recording, options);
    RemoveOutputs(recording);
    if (!conversion.succeeded) {
        std::fprintf(stderr, "the conversion failed\n");
        return false;
    }
    seconds.push_back(conversion.seconds);
    report.peakResidentKiB = std::max(report.peakResidentKiB, conversion.peakResidentKiB);
    return true;
}

bool MeasureRuns(const fs::path& recording, const fs::path& copy, int runs, bool cold, bool resample, Report& report)
{
    std::vector<double> kernelCopies;
    std::vector<double> copies;
    std::vector<double> conversions;
    std::vector<double> verified;
    std::vector<double> resampled;
    std::vector<double> verifiedRatios;
    // Before each step the dirty pages of the steps before go to the disk, so that no step pays
    // for the writing back of another's output.
    const auto prepare = [&] {
        sync();
        if (cold)
            EvictFromPageCache(recording);
    };
    for (int run = 0; run < runs; ++run) {
        prepare();
        const double kernelCopySeconds = MeasureKernelCopy(recording, copy);
        prepare();
        const double copySeconds = MeasureBufferedCopy(recording, copy);
        if (kernelCopySeconds < 0 || copySeconds < 0) {
            std::fprintf(stderr, "cannot copy %s\n", recording.c_str());
            return false;
        }
        kernelCopies.push_back(kernelCopySeconds);
        copies.push_back(copySeconds);
        prepare();
        if (!Convert(recording, PlainLabOutput(), conversions, report))
            return false;
        prepare();
        if (!Convert(recording, ConversionOptions::Lab(), verified, report))
            return false;
        verifiedRatios.push_back(verified.back() / conversions.back());
        prepare();
        if (resample && !Convert(recording, ResampledTo1kHz(), resampled, report))
            return false;
    }
    report.kernelCopySeconds = Median(kernelCopies);
    report.copySeconds = Median(copies);
    report.convertSeconds = Median(conversions);
    report.verifiedSeconds = Median(verified);
    report.verifiedRatio = Median(verifiedRatios);
    report.resampledSeconds = resample ? Median(resampled) : 0;
    report.measured = true;
    return true;
}

// Which cache states to measure.
struct CacheStates {
    bool cached = true;    // the recording in the page cache, as right after it was written
    bool fromDisk = true;  // the recording dropped from the page cache before each step
};

// One recording measured: its shape, its size and the medians in each cache state.
struct Case {
    int channels = 0;
    uint64_t seconds = 0;
    double megabytes = 0;
    Report cached;
    Report fromDisk;

    double MillisecondsPerMegabyte(const Report& report) const { return 1000.0 * report.convertSeconds / megabytes; }
};

bool MeasureCase(const fs::path& work, int runs, CacheStates states, Case& measured)
{
    const fs::path recording =
        work / ("recording-" + std::to_string(measured.channels) + "ch-" + std::to_string(measured.seconds) + "s");
    const fs::path copy = work / "copy";
    std::error_code error;
    fs::remove_all(recording, error);
    std::fprintf(stderr, "measuring %d channels, %llu s ...\n", measured.channels,
                 static_cast<unsigned long long>(measured.seconds));
    if (!WriteRecording(recording, measured.channels, measured.seconds))
        return false;
    measured.megabytes = static_cast<double>(DirectoryBytes(recording)) / 1e6;
    const bool resample = measured.channels == 32 && measured.seconds == 60;  // the reference recording
    const bool ok = (!states.cached || MeasureRuns(recording, copy, runs, false, resample, measured.cached))
                    && (!states.fromDisk || MeasureRuns(recording, copy, runs, true, resample, measured.fromDisk));
    fs::remove_all(recording, error);
    return ok;
}

void PrintRow(const Case& measured, const char* state, const Report& report)
{
    if (!report.measured)
        return;
    std::printf("%4d ch %4llu s %8.1f MB  %-6s %8.3f %8.3f %8.3f %8.3f  %5.2f x %5.2f x %5.2f x %7.2f %7.1f\n",
                measured.channels, static_cast<unsigned long long>(measured.seconds), measured.megabytes, state,
                report.kernelCopySeconds, report.copySeconds, report.convertSeconds, report.verifiedSeconds,
                report.convertSeconds / report.kernelCopySeconds, report.convertSeconds / report.copySeconds,
                report.verifiedRatio, measured.MillisecondsPerMegabyte(report),
                static_cast<double>(report.peakResidentKiB) / 1024.0);
}

void PrintTable(const std::vector<Case>& cases)
{
    std::printf("%-26s %-6s %8s %8s %8s %8s  %7s %7s %7s %7s %7s\n", "recording", "cache", "kernel", "buffered",
                "convert", "verified", "/kernel", "/buffer", "/plain", "ms/MB", "MiB");
    for (const Case& measured : cases) {
        PrintRow(measured, "cached", measured.cached);
        PrintRow(measured, "disk", measured.fromDisk);
    }
}

// The cost per megabyte of the last case chosen against the first's: above 1 when it grows.
double CostRatio(const std::vector<const Case*>& chosen, Report Case::*state)
{
    const double first = chosen.front()->MillisecondsPerMegabyte(chosen.front()->*state);
    return first > 0 ? chosen.back()->MillisecondsPerMegabyte(chosen.back()->*state) / first : 0;
}

void PrintVerdicts(const std::vector<Case>& cases, bool quick)
{
    const Case* reference = nullptr;  // 32 channels, 60 s
    std::vector<const Case*> lengths;
    std::vector<const Case*> counts;
    long peakKiB = 0;
    int peakChannels = 0;
    for (const Case& measured : cases) {
        if (measured.channels == 32 && measured.seconds >= 60)
            lengths.push_back(&measured);
        if (measured.seconds == 10)
            counts.push_back(&measured);
        if (measured.channels == 32 && measured.seconds == 60)
            reference = &measured;
        const long kib = std::max(measured.cached.peakResidentKiB, measured.fromDisk.peakResidentKiB);
        if (kib > peakKiB) {
            peakKiB = kib;
            peakChannels = measured.channels;
        }
    }
    std::printf("\n");
    if (reference && reference->cached.measured)
        std::printf("in the page cache, 32 ch 60 s: conversion %.2f x the kernel copy (target 2.0 or less)\n",
                    reference->cached.convertSeconds / reference->cached.kernelCopySeconds);
    if (reference && reference->fromDisk.measured)
        std::printf("from the disk, 32 ch 60 s: conversion %.2f x the buffered copy (target 1.1 or less)\n",
                    reference->fromDisk.convertSeconds / reference->fromDisk.copySeconds);
    if (reference && reference->cached.measured)
        std::printf("in the page cache, 32 ch 60 s: verified %.2f x unverified, run by run (target 1.3 or less)\n",
                    reference->cached.verifiedRatio);
    if (reference && reference->fromDisk.measured)
        std::printf("from the disk, 32 ch 60 s: --resample 1000 %.2f x the buffered copy (target 1.0 or less)\n",
                    reference->fromDisk.resampledSeconds / reference->fromDisk.copySeconds);
    for (Report Case::*state : {&Case::cached, &Case::fromDisk}) {
        const char* name = state == &Case::cached ? "in the page cache" : "from the disk";
        if (!quick && lengths.size() > 1 && (lengths[0]->*state).measured)
            std::printf("%s, cost per MB at 600 s / at 60 s: %.2f (target 0.9 to 1.1)\n", name,
                        CostRatio(lengths, state));
        if (counts.size() > 1 && (counts[0]->*state).measured)
            std::printf("%s, cost per MB at 256 channels / at 4 channels: %.2f (target 0.8 to 1.2)\n", name,
                        CostRatio(counts, state));
    }
    std::printf("peak resident memory %.1f MiB, at %d channels (target 64 MiB or less)\n",
                static_cast<double>(peakKiB) / 1024.0, peakChannels);
}

// The figures of one measurement as a row of the CSV file; the columns a measurement lacks stay
// empty.
struct CsvRow {
    std::string measurement;  // "recording": a shape in one cache state; "variant": an option or event count
    std::string name;
    int channels = 0;
    uint64_t seconds = 0;
    int events = 0;
    uint32_t gaps = 0;
    double megabytes = 0;
    const char* cache = "cached";
    const Report* report = nullptr;  // the copies and the conversion; null for a variant
    double convertSeconds = 0;
    long peakResidentKiB = 0;
};

constexpr const char* csvColumns = "measurement,name,channels,seconds,events,gaps,megabytes,cache,kernel_copy_s,"
                                   "buffered_copy_s,convert_s,convert_ms_per_mb,peak_resident_mib,verified_s";

// A text field as CSV writes it: in double quotes, a quote doubled.
std::string CsvText(const std::string& text)
{
    std::string quoted = "\"";
    for (const char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string CsvLine(const CsvRow& row)
{
    char figures[256];
    std::snprintf(figures, sizeof figures, "%d,%llu,%d,%u,%.3f,%s,", row.channels,
                  static_cast<unsigned long long>(row.seconds), row.events, row.gaps, row.megabytes, row.cache);
    std::string line = row.measurement + "," + CsvText(row.name) + "," + figures;
    if (row.report != nullptr) {
        std::snprintf(figures, sizeof figures, "%.6f,%.6f,", row.report->kernelCopySeconds, row.report->copySeconds);
        line += figures;
    } else {
        line += ",,";
    }
    const double msPerMegabyte = row.megabytes > 0 ? 1000.0 * row.convertSeconds / row.megabytes : 0;
    std::snprintf(figures, sizeof figures, "%.6f,%.4f,%.1f,", row.convertSeconds, msPerMegabyte,
                  static_cast<double>(row.peakResidentKiB) / 1024.0);
    line += figures;
    if (row.report != nullptr) {
        std::snprintf(figures, sizeof figures, "%.6f", row.report->verifiedSeconds);
        line += figures;
    }
    return line + "\n";
}

// The rows of the recordings measured, one per cache state.
std::vector<CsvRow> CaseRows(const std::vector<Case>& cases)
{
    std::vector<CsvRow> rows;
    for (const Case& measured : cases) {
        for (const auto& [state, report] :
             {std::pair{"cached", &measured.cached}, std::pair{"disk", &measured.fromDisk}}) {
            if (!report->measured)
                continue;
            const std::string name =
                std::to_string(measured.channels) + " ch " + std::to_string(measured.seconds) + " s";
            rows.push_back({"recording", name, measured.channels, measured.seconds, benchEvents, 0, measured.megabytes,
                            state, report, report->convertSeconds, report->peakResidentKiB});
        }
    }
    return rows;
}

// Writes the rows to `path`, when one was given; false (with a message) when it cannot.
bool WriteCsvIfAsked(const fs::path& path, const std::vector<CsvRow>& rows)
{
    if (path.empty())
        return true;
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << csvColumns << "\n";
    for (const CsvRow& row : rows)
        file << CsvLine(row);
    file.close();
    if (file.fail()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

// The cost of the options and of the path that keeps every event, in the page cache: the median
// conversion time of one recording with and without.
struct Variant {
    const char* name;
    int channels;
    uint64_t seconds;
    int events;
    uint32_t gaps;
    ConversionOptions options;
    int slowChannels = 0;  // at 2 kHz
};

bool MeasureVariants(const fs::path& work, int runs, std::vector<CsvRow>& rows)
{
    ConversionOptions exact;
    exact.exactTiming = true;
    const ConversionOptions resampled = ResampledTo1kHz();
    ConversionOptions split = ConversionOptions::Lab();
    split.splitMicroseconds = 100000000;  // 6 parts, as --split 600 cuts an hour
    const Variant variants[] = {
        {"32 ch 60 s --classic", 32, 60, 20, 0, {}},
        {"32 ch 60 s lab output --no-verify", 32, 60, 20, 0, PlainLabOutput()},
        {"32 ch 60 s lab output", 32, 60, 20, 0, ConversionOptions::Lab()},
        {"32 ch 60 s --resample 1000", 32, 60, 20, 0, resampled},
        {"32 ch 60 s --exact-timing", 32, 60, 20, 0, exact},
        {"32 ch 600 s lab output", 32, 600, 20, 0, ConversionOptions::Lab()},
        {"32 ch 600 s --split 100", 32, 600, 20, 0, split},
        {"32 ch 600 s, 16 of them at 2 kHz", 32, 600, 20, 0, ConversionOptions::Lab(), 16},
        {"256 ch 10 s --resample 1000", 256, 10, 20, 0, resampled},
        {"1 ch 600 s, 20 events", 1, 600, 20, 0, {}},
        {"1 ch 600 s, 6,000 events (10 Hz)", 1, 600, 6000, 0, {}},
        {"1 ch 600 s, 10,000 gaps, 1,000 events", 1, 600, 1000, 10000, {}},
        {"1 ch 600 s, 10,000 gaps, 100,000 events", 1, 600, 100000, 10000, {}},
    };
    std::printf("\n%-42s %8s %9s\n", "in the page cache", "convert", "peak MiB");
    fs::path recording;
    const size_t count = std::size(variants);
    std::vector<std::vector<double>> seconds(count);
    std::vector<long> peakKiB(count, 0);
    std::vector<double> megabytes(count, 0);
    // The variants of one recording are measured in turns, run by run, so that a change in the
    // machine's load falls on all of them alike.
    for (size_t first = 0; first < count;) {
        size_t end = first + 1;
        const auto sameShape = [&](const Variant& a, const Variant& b) {
            return a.channels == b.channels && a.seconds == b.seconds && a.events == b.events && a.gaps == b.gaps
                   && a.slowChannels == b.slowChannels;
        };
        while (end < count && sameShape(variants[end], variants[first]))
            ++end;
        std::error_code error;
        fs::remove_all(recording, error);
        recording = work / ("variant-" + std::to_string(first));
        if (!WriteRecording(recording, variants[first].channels, variants[first].seconds, variants[first].events,
                            variants[first].gaps, variants[first].slowChannels))
            return false;
        std::fill(megabytes.begin() + static_cast<std::ptrdiff_t>(first),
                  megabytes.begin() + static_cast<std::ptrdiff_t>(end),
                  static_cast<double>(DirectoryBytes(recording)) / 1e6);
        for (int run = 0; run < runs; ++run) {
            for (size_t v = first; v < end; ++v) {
                sync();
                const Measurement conversion = MeasureConversion(recording, variants[v].options);
                RemoveOutputs(recording);
                if (!conversion.succeeded) {
                    std::fprintf(stderr, "the conversion (%s) failed\n", variants[v].name);
                    return false;
                }
                seconds[v].push_back(conversion.seconds);
                peakKiB[v] = std::max(peakKiB[v], conversion.peakResidentKiB);
            }
        }
        first = end;
    }
    // lab output against --classic, and resampling against lab output: the median of the ratios of
    // the runs taken in one turn
    const auto medianRatio = [&](size_t v, size_t of) {
        std::vector<double> ratios;
        for (int run = 0; run < runs; ++run)
            ratios.push_back(seconds[v][static_cast<size_t>(run)] / seconds[of][static_cast<size_t>(run)]);
        return Median(ratios);
    };
    for (size_t v = 0; v < count; ++v) {
        std::printf("%-42s %8.3f %9.1f", variants[v].name, Median(seconds[v]),
                    static_cast<double>(peakKiB[v]) / 1024.0);
        if (v == 1)  // the target: at most 5 % more than the classic output
            std::printf("  %.3f of --classic, run by run (target 1.05 or less)", medianRatio(1, 0));
        if (v == 2)  // the target: the read-back at most 30 % more than the conversion alone
            std::printf("  %.3f of --no-verify, run by run (target 1.3 or less)", medianRatio(2, 1));
        if (v == 3)  // the target: at most half as much again as the same recording's lab output
            std::printf("  %.3f of lab output, run by run (target 1.5 or less)", medianRatio(3, 2));
        if (v == 6)  // the target: at most a tenth more than the same recording's lab output
            std::printf("  %.3f of lab output, run by run (target 1.1 or less)", medianRatio(6, 5));
        if (v == 7)  // the target: per megabyte at most a tenth more than one rate's lab output
            std::printf("  %.3f of 32 ch 600 s lab output per MB (target 1.1 or less)",
                        Median(seconds[7]) / megabytes[7] / (Median(seconds[5]) / megabytes[5]));
        if (variants[v].channels == 256)
            std::printf("  (target: peak 64 MiB or less)");
        std::printf("\n");
        const Variant& variant = variants[v];
        rows.push_back({"variant", variant.name, variant.channels, variant.seconds, variant.events, variant.gaps,
                        megabytes[v], "cached", nullptr, Median(seconds[v]), peakKiB[v]});
    }
    // the last two: each file must find its own events, not read all of them
    const double fewEvents = Median(seconds[count - 2]);
    if (fewEvents > 0)
        std::printf("10,000 gaps, 100,000 events / 1,000 events: %.2f (target 2 or less)\n",
                    Median(seconds[count - 1]) / fewEvents);
    std::error_code error;
    fs::remove_all(recording, error);
    return true;
}

}  // namespace

constexpr const char* usageText =
    "usage: varelo-bench-convert [--runs N] [--work DIR] [--cached | --cold] [--quick] [--csv FILE]\n"
    "                            [--only CHANNELSxSECONDS | --variants]\n"
    "\n"
    "Converts recordings at 32 kHz (32 channels of 60 s and 600 s; 4, 32, 128 and 256 channels of\n"
    "10 s) as lab output without and with its read-back (--no-verify and the default; the 32\n"
    "channels of 60 s also with --resample 1000) and copies each directory, in the kernel and\n"
    "through a buffer, RUNS times (default 5), in the work directory (default under the system's\n"
    "temporary directory). Prints the medians with the recording in the page cache and read from\n"
    "the disk (--cached or --cold: only that one), the ratios, the conversion's peak resident\n"
    "memory, and the targets; then, in the page cache, the cost of lab output, its read-back,\n"
    "--exact-timing, --resample and --split, of a recording with more events than data records,\n"
    "and of 100,000 events against 1,000 in a recording with 10,000 gaps.\n"
    "--quick leaves out the 600 s recording, --only measures one recording of that shape (for\n"
    "example 64x30) and nothing else, --variants only the options and events in the page cache;\n"
    "--csv writes every figure printed to FILE, one row per recording and cache state and per\n"
    "variant; scripts/plot-bench draws the cost per megabyte from it.\n";

int main(int argc, char** argv)
{
    OrvSystem::KeepFreedMemory();  // as varelo-convert does
    int runs = 5;
    bool quick = false;
    bool variantsOnly = false;  // only the options and the many events, in the page cache
    CacheStates states;
    fs::path csv;
    std::optional<Case> only;
    fs::path work = fs::temp_directory_path() / ("varelo-bench-" + std::to_string(getpid()));
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--cold") {
            states = {false, true};
        } else if (option == "--cached") {
            states = {true, false};
        } else if (option == "--quick") {
            quick = true;
        } else if (option == "--variants") {
            variantsOnly = true;
        } else if (option == "--help") {
            std::fputs(usageText, stdout);
            return 0;
        } else if (option == "--runs" && hasValue) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (option == "--work" && hasValue) {
            work = fs::path(argv[++i]) / ("varelo-bench-" + std::to_string(getpid()));
        } else if (option == "--csv" && hasValue) {
            csv = argv[++i];
        } else if (option == "--only" && hasValue) {
            int channels = 0;
            unsigned long long seconds = 0;
            if (std::sscanf(argv[++i], "%dx%llu", &channels, &seconds) != 2 || channels < 1 || channels > 512
                || seconds < 1) {
                std::fputs(usageText, stderr);
                return 2;
            }
            only = Case{channels, seconds, 0, {}, {}};
        } else {
            std::fputs(usageText, stderr);
            return 2;
        }
    }
    std::error_code error;
    fs::create_directories(work, error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", work.c_str(), error.message().c_str());
        return 1;
    }
    if (variantsOnly) {
        std::printf("32 kHz recordings, median of %d runs, work directory %s\n", runs, work.c_str());
        std::vector<CsvRow> rows;
        const bool variantsMeasured = MeasureVariants(work, runs, rows);
        fs::remove_all(work, error);
        return variantsMeasured && WriteCsvIfAsked(csv, rows) ? 0 : 1;
    }
    std::vector<Case> cases;
    if (only) {
        cases.push_back(*only);
    } else {
        for (const int channels : {4, 32, 128, 256})
            cases.push_back({channels, 10, 0, {}, {}});
        cases.push_back({32, 60, 0, {}, {}});
        if (!quick)
            cases.push_back({32, 600, 0, {}, {}});
    }
    std::printf("32 kHz recordings, median of %d runs, work directory %s\n\n", runs, work.c_str());
    bool measured = true;
    for (Case& each : cases)
        measured = measured && MeasureCase(work, runs, states, each);
    if (!measured) {
        fs::remove_all(work, error);
        return 1;
    }
    PrintTable(cases);
    PrintVerdicts(cases, quick);
    std::vector<CsvRow> rows = CaseRows(cases);
    const bool variantsMeasured = only || !states.cached || MeasureVariants(work, runs, rows);
    fs::remove_all(work, error);
    return variantsMeasured && WriteCsvIfAsked(csv, rows) ? 0 : 1;
}
