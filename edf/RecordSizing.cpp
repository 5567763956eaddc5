#include "edf/RecordSizing.h"

#include <algorithm>
#include <numeric>

RecordSize SpecifiedRecordSize(int64_t signalCount, int sampleFrequency)
{
    // 64-bit, so that no signal count and frequency overflow into a small or negative size
    const int64_t bytes = signalCount * sampleFrequency * 2;
    if (bytes <= largestRecordSampleBytes)
        return {sampleFrequency, oneSecondUnits};
    const int64_t parts = bytes / largestRecordSampleBytes + 1;
    return {static_cast<int>(sampleFrequency / parts), static_cast<int>(oneSecondUnits / parts)};
}

RecordSize ExactRecordSize(int64_t signalCount, int sampleFrequency)
{
    const RecordSize specified = SpecifiedRecordSize(signalCount, sampleFrequency);
    if (static_cast<int64_t>(specified.samplesPerRecord) * oneSecondUnits
        == static_cast<int64_t>(specified.durationUnits) * sampleFrequency)
        return specified;  // exact already: the usual layout stays
    const int64_t f = sampleFrequency;
    // n samples last n / f s = n * 100,000 / f units, a whole number when n is a multiple of step
    const int64_t step = f / std::gcd(f, int64_t{oneSecondUnits});
    const int64_t fitting = signalCount > 0 ? largestRecordSampleBytes / (2 * signalCount) : f;
    const int64_t shortest = (f + 999) / 1000;  // samples of 1 ms, the shortest record
    int64_t n = std::min(fitting, f) / step * step;
    if (n < shortest)
        n = std::min((shortest + step - 1) / step * step, f);
    if (n < step)
        n = step;  // no exact record fits the bytes: the smallest one
    return {static_cast<int>(n), static_cast<int>(n * oneSecondUnits / f)};
}

MixedRecordSize ExactMixedRecordSize(const std::vector<int>& sampleFrequencies)
{
    MixedRecordSize size;
    if (sampleFrequencies.empty())
        return size;
    const int first = sampleFrequencies.front();
    if (std::all_of(sampleFrequencies.begin(), sampleFrequencies.end(), [first](int f) { return f == first; })) {
        const RecordSize exact = ExactRecordSize(static_cast<int64_t>(sampleFrequencies.size()), first);
        size.samplesPerRecord.assign(sampleFrequencies.size(), exact.samplesPerRecord);
        size.durationUnits = exact.durationUnits;
        return size;
    }
    // The shortest duration whole for every rate divides one second, as each rate's step does.
    int64_t unit = 1;
    for (const int f : sampleFrequencies)
        unit = std::lcm(unit, oneSecondUnits / std::gcd(int64_t{f}, int64_t{oneSecondUnits}));
    int64_t bytesPerUnit = 0;
    for (const int f : sampleFrequencies)
        bytesPerUnit += 2 * int64_t{f} * unit / oneSecondUnits;
    constexpr int64_t shortestUnits = 100;  // 1 ms
    int64_t duration = std::min(largestRecordSampleBytes / bytesPerUnit * unit, int64_t{oneSecondUnits});
    if (duration < shortestUnits)
        duration = std::min((shortestUnits + unit - 1) / unit * unit, int64_t{oneSecondUnits});
    size.durationUnits = static_cast<int>(duration);
    for (const int f : sampleFrequencies)
        size.samplesPerRecord.push_back(static_cast<int>(f * duration / oneSecondUnits));
    return size;
}

double RateSeen(const RecordSize& size)
{
    return static_cast<double>(size.samplesPerRecord) * oneSecondUnits / size.durationUnits;
}
