// Measures a whole conversion of a 32-channel, 32 kHz recording against copying the same
// directory on the same machine, and the conversion's peak resident memory for two recording
// lengths (it must not grow with the length).
//
//   varelo-bench-convert [--seconds N] [--runs N] [--work DIR] [--cached | --cold]
//
// Each length is measured twice: with the recording in the page cache (as right after it was
// written) and with its pages dropped before each copy and conversion, so that both read from the
// disk, as when a recording is converted some time after it was made or copied.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "engine/ConversionRun.h"
#include "logging/TextConversion.h"
#include "synth/SynthRecording.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int channelCount = 32;
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

bool WriteRecording(const fs::path& directory, uint64_t seconds)
{
    VareloSynth::SynthOptions options;
    options.directory = directory;
    options.channels = std::vector<VareloSynth::SynthChannel>(channelCount);
    options.samplingFrequencyHz = samplingFrequency;
    options.samplesPerChannel = seconds * samplingFrequency;
    options.spreadEventCount = 20;
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

// Runs the conversion in a child process, so that its peak resident memory is its own.
Measurement MeasureConversion(const fs::path& directory)
{
    Measurement measurement;
    const Clock::time_point start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::vector<std::wstring> cscFiles;
        std::wstring eventFile;
        const std::wstring wideDirectory = OrvText::Utf8ToWide(directory.string());
        ScanDirectory(wideDirectory, cscFiles, eventFile);
        LogFile logFile;
        SilentFrontend frontend;
        _exit(RunConversion(wideDirectory, cscFiles, eventFile, logFile, frontend) == 0 ? 0 : 1);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child)
        return measurement;
    measurement.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    measurement.peakResidentKiB = usage.ru_maxrss;
    measurement.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
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

// The medians of one recording length in one cache state.
struct Report {
    double kernelCopySeconds = 0;
    double copySeconds = 0;
    double convertSeconds = 0;
    long peakResidentKiB = 0;
    bool measured = false;
};

bool MeasureRuns(const fs::path& recording, const fs::path& copy, int runs, bool cold, Report& report)
{
    std::vector<double> kernelCopies;
    std::vector<double> copies;
    std::vector<double> conversions;
    for (int run = 0; run < runs; ++run) {
        if (cold)
            EvictFromPageCache(recording);
        const double kernelCopySeconds = MeasureKernelCopy(recording, copy);
        if (cold)
            EvictFromPageCache(recording);
        const double copySeconds = MeasureBufferedCopy(recording, copy);
        if (kernelCopySeconds < 0 || copySeconds < 0) {
            std::fprintf(stderr, "cannot copy %s\n", recording.c_str());
            return false;
        }
        kernelCopies.push_back(kernelCopySeconds);
        copies.push_back(copySeconds);
        if (cold)
            EvictFromPageCache(recording);
        const Measurement conversion = MeasureConversion(recording);
        RemoveOutputs(recording);
        if (!conversion.succeeded) {
            std::fprintf(stderr, "the conversion failed\n");
            return false;
        }
        conversions.push_back(conversion.seconds);
        report.peakResidentKiB = std::max(report.peakResidentKiB, conversion.peakResidentKiB);
    }
    report.kernelCopySeconds = Median(kernelCopies);
    report.copySeconds = Median(copies);
    report.convertSeconds = Median(conversions);
    report.measured = true;
    return true;
}

void PrintReport(const char* state, double megabytes, const Report& report)
{
    if (!report.measured)
        return;
    std::printf("  %s:\n", state);
    std::printf("    copy through a buffer   %7.3f s\n", report.copySeconds);
    std::printf("    copy in the kernel      %7.3f s\n", report.kernelCopySeconds);
    std::printf("    conversion              %7.3f s  (%.1f MB/s; %.2f x the buffered copy, %.2f x the kernel copy)\n",
                report.convertSeconds, megabytes / report.convertSeconds, report.convertSeconds / report.copySeconds,
                report.convertSeconds / report.kernelCopySeconds);
    std::printf("    peak resident memory of the conversion: %.1f MiB\n",
                static_cast<double>(report.peakResidentKiB) / 1024.0);
}

// Which cache states to measure.
struct CacheStates {
    bool cached = true;    // the recording in the page cache, as right after it was written
    bool fromDisk = true;  // the recording dropped from the page cache before each step
};

struct LengthReport {
    Report cached;
    Report fromDisk;
};

bool Measure(const fs::path& work, uint64_t seconds, int runs, CacheStates states, LengthReport& report)
{
    const fs::path recording = work / ("recording-" + std::to_string(seconds) + "s");
    const fs::path copy = work / "copy";
    std::error_code error;
    fs::remove_all(recording, error);
    if (!WriteRecording(recording, seconds))
        return false;
    const bool measured = (!states.cached || MeasureRuns(recording, copy, runs, false, report.cached))
                          && (!states.fromDisk || MeasureRuns(recording, copy, runs, true, report.fromDisk));
    if (measured) {
        const double megabytes = static_cast<double>(DirectoryBytes(recording)) / 1e6;
        std::printf("%3llu s recording, %.1f MB:\n", static_cast<unsigned long long>(seconds), megabytes);
        PrintReport("in the page cache", megabytes, report.cached);
        PrintReport("from the disk", megabytes, report.fromDisk);
    }
    fs::remove_all(recording, error);
    return measured;
}

long PeakResidentKiB(const LengthReport& report)
{
    return std::max(report.cached.peakResidentKiB, report.fromDisk.peakResidentKiB);
}

void PrintSummary(const LengthReport& half, const LengthReport& full)
{
    std::printf("conversion / buffered copy (target 1.5 or less):");
    if (full.cached.measured)
        std::printf(" %.2f in the page cache", full.cached.convertSeconds / full.cached.copySeconds);
    if (full.fromDisk.measured)
        std::printf("%s %.2f from the disk", full.cached.measured ? "," : "",
                    full.fromDisk.convertSeconds / full.fromDisk.copySeconds);
    const long halfKiB = PeakResidentKiB(half);
    const long fullKiB = PeakResidentKiB(full);
    std::printf("\npeak memory %s with the length (%.1f MiB for half, %.1f MiB for the whole)\n",
                fullKiB <= halfKiB * 11 / 10 + 1024 ? "does not grow" : "GROWS", static_cast<double>(halfKiB) / 1024.0,
                static_cast<double>(fullKiB) / 1024.0);
}

}  // namespace

constexpr const char* usageText =
    "usage: varelo-bench-convert [--seconds N] [--runs N] [--work DIR] [--cached | --cold]\n"
    "\n"
    "Converts a 32-channel, 32 kHz recording of N seconds (default 60) and of half that, and copies\n"
    "the same directory, each RUNS times (default 3), in the work directory (default under the\n"
    "system's temporary directory). Prints the medians with the recording in the page cache and\n"
    "read from the disk (--cached or --cold: only that one), and the conversion's peak resident\n"
    "memory.\n";

int main(int argc, char** argv)
{
    uint64_t seconds = 60;
    int runs = 3;
    CacheStates states;
    fs::path work = fs::temp_directory_path() / ("varelo-bench-" + std::to_string(getpid()));
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--cold") {
            states = {false, true};
        } else if (option == "--cached") {
            states = {true, false};
        } else if (option == "--help") {
            std::fputs(usageText, stdout);
            return 0;
        } else if (option == "--seconds" && hasValue) {
            seconds = std::strtoull(argv[++i], nullptr, 10);
        } else if (option == "--runs" && hasValue) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (option == "--work" && hasValue) {
            work = fs::path(argv[++i]) / ("varelo-bench-" + std::to_string(getpid()));
        } else {
            std::fputs(usageText, stderr);
            return 2;
        }
    }
    if (seconds < 1) {
        std::fputs(usageText, stderr);
        return 2;
    }
    std::error_code error;
    fs::create_directories(work, error);
    if (error) {
        std::fprintf(stderr, "cannot create %s: %s\n", work.c_str(), error.message().c_str());
        return 1;
    }
    std::printf("%d channels at %d Hz, median of %d runs, work directory %s\n", channelCount, samplingFrequency, runs,
                work.c_str());
    LengthReport half;
    LengthReport full;
    const bool measured = Measure(work, seconds / 2 > 0 ? seconds / 2 : 1, runs, states, half)
                          && Measure(work, seconds, runs, states, full);
    fs::remove_all(work, error);
    if (!measured)
        return 1;
    PrintSummary(half, full);
    return 0;
}
