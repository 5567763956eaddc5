// Measures how fast the trace viewer's reader gives a page: writes a 32-channel, 32 kHz EDF+ file
// of the given length (default 2 hours, about 15 GB) through the EDF file engine, then reads
// 10 s pages of all channels at random points, as the viewer does for a plot 1,600 pixels wide.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "edf/EdfFileEngine.h"
#include "edf/EdfPageReader.h"

namespace {

constexpr int signalCount = 32;
constexpr int sampleFrequency = 32'000;  // Hz, one record per second
constexpr int recordUnits = 100'000;     // 1 s in units of 10 µs
constexpr double pageSeconds = 10;
constexpr int columns = 1600;

bool WriteFile(const std::string& path, long seconds)
{
    const int handle = EdfOpenFile(path.c_str(), signalCount);
    if (handle < 0)
        return false;
    for (int i = 0; i < signalCount; ++i) {
        const std::string label = "CSC" + std::to_string(i + 1);
        if (EdfSetSamplesPerRecord(handle, i, sampleFrequency) != 0 || EdfSetPhysicalMinimum(handle, i, -3276.8) != 0
            || EdfSetPhysicalMaximum(handle, i, 3276.7) != 0 || EdfSetDigitalMinimum(handle, i, -32768) != 0
            || EdfSetDigitalMaximum(handle, i, 32767) != 0 || EdfSetLabel(handle, i, label.c_str()) != 0)
            return false;
    }
    if (EdfSetRecordDuration(handle, recordUnits) != 0 || EdfSetStartDateTime(handle, 2017, 7, 5, 10, 20, 30) != 0
        || EdfAddAnnotation(handle, "Recording starts", 0) != 0)
        return false;
    std::vector<int16_t> record(static_cast<size_t>(signalCount) * sampleFrequency);
    std::mt19937 random(1);
    for (int16_t& sample : record)
        sample = static_cast<int16_t>(random() % 2000 - 1000);
    for (long r = 0; r < seconds; ++r) {
        if (EdfWriteRecord(handle, record.data()) != 0)
            return false;
    }
    return EdfAddAnnotation(handle, "Recording ends", seconds * 10'000L) == 0 && EdfCloseFile(handle) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    long seconds = 7200;
    int pages = 20;
    std::string directory = (std::filesystem::temp_directory_path() / "varelo-bench-trace-page").string();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc)
            seconds = std::atol(argv[++i]);
        else if (std::strcmp(argv[i], "--pages") == 0 && i + 1 < argc)
            pages = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc)
            directory = argv[++i];
        else {
            std::fprintf(argc > 1 && std::strcmp(argv[i], "--help") == 0 ? stdout : stderr,
                         "Usage: varelo-bench-trace-page [--seconds N] [--pages N] [--dir DIRECTORY]\n"
                         "Writes a %d-channel, %d Hz EDF+ file of N seconds (default 7200) in DIRECTORY (a new\n"
                         "one under the temporary directory by default; removed at the end), reads N 10 s pages\n"
                         "(default 20) at random points and prints the median and the worst time of a page.\n",
                         signalCount, sampleFrequency);
            return std::strcmp(argv[i], "--help") == 0 ? 0 : 2;
        }
    }
    if (seconds < pageSeconds || pages < 1) {
        std::fprintf(stderr, "varelo-bench-trace-page: --seconds must be at least 10 and --pages at least 1\n");
        return 2;
    }
    std::filesystem::create_directories(directory);
    const std::string path = directory + "/trace-page.edf";
    if (!WriteFile(path, seconds)) {
        std::fprintf(stderr, "varelo-bench-trace-page: cannot write %s\n", path.c_str());
        return 1;
    }
    EdfPageReader reader;
    std::string error;
    if (!reader.Open(path, error)) {
        std::fprintf(stderr, "varelo-bench-trace-page: %s\n", error.c_str());
        return 1;
    }
    std::mt19937 random(2);
    std::uniform_real_distribution<double> startAt(0, static_cast<double>(seconds) - pageSeconds);
    std::vector<double> times;
    EdfPage page;
    for (int i = 0; i < pages; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!reader.ReadPage(startAt(random), pageSeconds, columns, reader.SampleSignals(), page, error)) {
            std::fprintf(stderr, "varelo-bench-trace-page: %s\n", error.c_str());
            return 1;
        }
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::filesystem::remove(path);
    std::sort(times.begin(), times.end());
    std::printf("%d pages of %.0f s, %d channels at %d Hz, from a %ld s file: median %.1f ms, worst %.1f ms\n", pages,
                pageSeconds, signalCount, sampleFrequency, seconds, times[times.size() / 2], times.back());
    return 0;
}
