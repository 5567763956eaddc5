#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

// The progress line of a batch on standard error: recordings done of all, bytes converted of
// all (the recordings' channel and event files), and the time left as the pace so far gives it.
class BatchProgress {
public:
    // bytes: the input bytes of each recording. Shows nothing unless `show`.
    BatchProgress(std::vector<int64_t> bytes, bool show, std::FILE* out);

    void Update(size_t recording, double fraction);
    void Finish(size_t recording);
    // Takes the line off the terminal, before other lines are printed there.
    void Clear();

private:
    void Draw();

    std::vector<int64_t> bytes;
    std::vector<double> fractions;
    int64_t totalBytes = 0;
    size_t finished = 0;
    bool show;
    std::FILE* out;
    bool drawn = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point lastDrawn{};
};
