#pragma once

#include <cstdint>
#include <string>

// The machine facts and the clock that the log file records.
namespace OrvSystem {

struct LocalTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

LocalTime CurrentLocalTime();

// The processor's own name (CPUID brand string on x86, /proc/cpuinfo elsewhere), "Unknown" when
// neither gives one.
std::wstring ProcessorBrandString();
long LogicalProcessorCount();
uint64_t TotalPhysicalMemoryBytes();

}  // namespace OrvSystem
