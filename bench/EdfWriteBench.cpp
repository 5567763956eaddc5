// Measures how fast the EDF file engine writes a file the way the writer does for 32 channels at
// 32 kHz: records of 2,941 units of 10 µs with 941 samples per signal, 60 s of signal.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

#include "edf/EdfFileEngine.h"

namespace {

constexpr int signalCount = 32;
constexpr int sampleFrequency = 32'000;  // Hz
constexpr int recordDuration = 2'941;    // units of 10 µs
constexpr int samplesPerRecord = 941;
constexpr int seconds = 60;
constexpr int distinctRecords = 16;  // prepared beforehand, so that only the engine is timed

void PrintUsage(std::FILE* out)
{
    std::fprintf(out,
                 "Usage: varelo-bench-edf-write [--runs N] [--dir DIRECTORY]\n"
                 "Writes a %d-signal, %d Hz, %d s EDF+ file through the EDF file engine N times (default 5)\n"
                 "in DIRECTORY (default: a new directory under the system's temporary directory) and\n"
                 "prints the median speed in MB/s and the file size.\n",
                 signalCount, sampleFrequency, seconds);
}

int ConfigureFile(int handle)
{
    for (int i = 0; i < signalCount; ++i) {
        std::string label = "CSC" + std::to_string(i + 1);
        if (EdfSetSamplesPerRecord(handle, i, samplesPerRecord) != 0 || EdfSetPhysicalMinimum(handle, i, -3276.8) != 0
            || EdfSetPhysicalMaximum(handle, i, 3276.7) != 0 || EdfSetDigitalMinimum(handle, i, -32768) != 0
            || EdfSetDigitalMaximum(handle, i, 32767) != 0 || EdfSetLabel(handle, i, label.c_str()) != 0)
            return -1;
    }
    if (EdfSetRecordDuration(handle, recordDuration) != 0 || EdfSetStartDateTime(handle, 2017, 7, 5, 10, 20, 30) != 0)
        return -1;
    return EdfAddAnnotation(handle, "Recording starts", 0);
}

// One timed run: open, configure, write every record, annotate and close. Seconds, or < 0.
double WriteOnce(const std::string& path, const std::vector<std::vector<int16_t>>& records, long recordCount)
{
    auto start = std::chrono::steady_clock::now();
    int handle = EdfOpenFile(path.c_str(), signalCount);
    if (handle < 0 || ConfigureFile(handle) != 0)
        return -1;
    for (long r = 0; r < recordCount; ++r)
        if (EdfWriteRecord(handle, records[static_cast<std::size_t>(r % distinctRecords)].data()) != 0)
            return -1;
    if (EdfAddAnnotation(handle, "Recording ends", seconds * 10'000L) != 0 || EdfCloseFile(handle) != 0)
        return -1;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    int runs = 5;
    std::string directory;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help") {
            PrintUsage(stdout);
            return 0;
        }
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
            if (runs >= 1)
                continue;
        } else if (arg == "--dir" && i + 1 < argc) {
            directory = argv[++i];
            continue;
        }
        PrintUsage(stderr);
        return 2;
    }

    bool ownDirectory = directory.empty();
    if (ownDirectory) {
        std::string pattern = (std::filesystem::temp_directory_path() / "varelo-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::fprintf(stderr, "Unable to create a directory from %s\n", pattern.c_str());
            return 1;
        }
        directory = pattern;
    }
    const std::string path = (std::filesystem::path(directory) / "bench.edf").string();

    // samples of a few sine waves near full scale, clamping included
    std::vector<std::vector<int16_t>> records(distinctRecords);
    for (int r = 0; r < distinctRecords; ++r) {
        for (int s = 0; s < signalCount; ++s)
            for (int k = 0; k < samplesPerRecord; ++k) {
                double t = (r * samplesPerRecord + k) / static_cast<double>(sampleFrequency);
                records[r].push_back(static_cast<int16_t>(32'000 * std::sin(2 * std::numbers::pi * (5 + s) * t)));
            }
    }
    const long totalSamples = static_cast<long>(sampleFrequency) * seconds;
    const long recordCount = (totalSamples + samplesPerRecord - 1) / samplesPerRecord;

    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        std::remove(path.c_str());  // every run creates a new file, as the writer does
        double time = WriteOnce(path, records, recordCount);
        if (time < 0) {
            std::fprintf(stderr, "Unable to write EDF file %s\n", path.c_str());
            return 1;
        }
        times.push_back(time);
    }
    struct stat info {};
    long long size = stat(path.c_str(), &info) == 0 ? static_cast<long long>(info.st_size) : -1;
    std::sort(times.begin(), times.end());
    double median = times[times.size() / 2];
    std::printf("EDF write: %d signals, %d Hz, %d s, %ld records of %d samples per signal\n", signalCount,
                sampleFrequency, seconds, recordCount, samplesPerRecord);
    std::printf("file size: %lld bytes\n", size);
    std::printf("median of %d runs: %.3f s, %.0f MB/s (fastest %.0f, slowest %.0f)\n", runs, median,
                size / median / 1e6, size / times.front() / 1e6, size / times.back() / 1e6);

    std::remove(path.c_str());
    if (ownDirectory)
        rmdir(directory.c_str());
    return 0;
}
