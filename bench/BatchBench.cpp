// Measures a batch of recordings converted by varelo-convert one at a time (-j 1) and two at a
// time (-j 2) on the same machine, in one run: the wall time of each (median of the runs), their
// ratio, and the peak resident memory of the largest process.
//
//   varelo-bench-batch [--recordings N] [--seconds S] [--runs N] [--work DIR]
//
// varelo-convert is taken from the folder of this program.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "synth/SynthRecording.h"

namespace {

namespace fs = std::filesystem;

struct Run {
    double seconds = 0;
    long peakResidentKiB = 0;
    bool succeeded = false;
};

// varelo-convert -q -r -j JOBS -o OUTPUT TREE, in a child whose resource use is its own.
Run Convert(const fs::path& program, const fs::path& tree, const fs::path& output, int jobs)
{
    Run run;
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        const std::string jobText = std::to_string(jobs);
        execl(program.c_str(), program.c_str(), "-q", "-r", "-j", jobText.c_str(), "-o", output.c_str(), tree.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child)
        return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);  // the largest of every process waited for so far
    run.peakResidentKiB = usage.ru_maxrss;
    run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

constexpr const char* usageText =
    "usage: varelo-bench-batch [--recordings N] [--seconds S] [--runs N] [--work DIR]\n"
    "\n"
    "Writes N recordings (default 8) of 32 channels at 32 kHz lasting S seconds (default 20) and\n"
    "converts the tree with varelo-convert -j 1 and -j 2, alternately, RUNS times (default 5), in\n"
    "the page cache. Prints the median wall times, -j 2 / -j 1, and the peak resident memory of\n"
    "the largest process.\n";

}  // namespace

int main(int argc, char** argv)
{
    int recordings = 8;
    uint64_t seconds = 20;
    int runs = 5;
    fs::path work = fs::temp_directory_path();
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--help") {
            std::fputs(usageText, stdout);
            return 0;
        } else if (option == "--recordings" && hasValue) {
            recordings = std::max(1, std::atoi(argv[++i]));
        } else if (option == "--seconds" && hasValue) {
            seconds = std::max<uint64_t>(1, std::strtoull(argv[++i], nullptr, 10));
        } else if (option == "--runs" && hasValue) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (option == "--work" && hasValue) {
            work = argv[++i];
        } else {
            std::fputs(usageText, stderr);
            return 2;
        }
    }
    const fs::path program = fs::path(argv[0]).parent_path() / "varelo-convert";
    const fs::path root = work / ("varelo-bench-batch-" + std::to_string(getpid()));
    std::error_code error;
    for (int r = 0; r < recordings; ++r) {
        VareloSynth::SynthOptions options;
        options.directory = root / "tree" / ("session" + std::to_string(r));
        options.channels = std::vector<VareloSynth::SynthChannel>(32);
        options.samplesPerChannel = seconds * 32000;
        options.seed = static_cast<uint64_t>(r) + 1;
        std::string problem;
        if (VareloSynth::WriteSynthRecording(options, problem) != 0) {
            std::fprintf(stderr, "cannot write the recordings: %s\n", problem.c_str());
            fs::remove_all(root, error);
            return 1;
        }
    }
    std::vector<double> times[2];
    long peakKiB[2] = {0, 0};
    for (int run = 0; run < runs; ++run) {
        for (int jobs = 1; jobs <= 2; ++jobs) {
            fs::remove_all(root / "out", error);
            const Run result = Convert(program, root / "tree", root / "out", jobs);
            if (!result.succeeded) {
                std::fprintf(stderr, "the conversion with -j %d failed\n", jobs);
                fs::remove_all(root, error);
                return 1;
            }
            times[jobs - 1].push_back(result.seconds);
            peakKiB[jobs - 1] = std::max(peakKiB[jobs - 1], result.peakResidentKiB);
        }
    }
    fs::remove_all(root, error);
    const double one = Median(times[0]);
    const double two = Median(times[1]);
    std::printf("%d recordings of 32 channels x 32 kHz x %llu s, median of %d runs:\n", recordings,
                static_cast<unsigned long long>(seconds), runs);
    std::printf("  -j 1  %7.3f s\n  -j 2  %7.3f s\n  -j 2 / -j 1 = %.2f (target 0.65 or less)\n", one, two, two / one);
    std::printf("  peak resident memory of the largest process: %.1f MiB (-j 1), %.1f MiB (-j 2)\n",
                static_cast<double>(peakKiB[0]) / 1024, static_cast<double>(peakKiB[1]) / 1024);
    return 0;
}
