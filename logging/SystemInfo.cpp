#include "logging/SystemInfo.h"

#include <ctime>
#include <fstream>
#include <string>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "logging/TextConversion.h"

namespace OrvSystem {
namespace {

std::string BrandFromCpuid()
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(0x80000000, &eax, &ebx, &ecx, &edx) == 0 || eax < 0x80000004)
        return {};
    char brand[49] = {};
    for (unsigned int leaf = 0; leaf < 3; ++leaf) {
        __get_cpuid(0x80000002 + leaf, &eax, &ebx, &ecx, &edx);
        const unsigned int registers[4] = {eax, ebx, ecx, edx};
        for (unsigned int r = 0; r < 4; ++r)
            for (unsigned int b = 0; b < 4; ++b)
                brand[leaf * 16 + r * 4 + b] = static_cast<char>((registers[r] >> (8 * b)) & 0xFF);
    }
    return std::string(brand);  // up to its first NUL
#else
    return {};
#endif
}

std::string BrandFromProcCpuinfo()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    std::string line;
    while (std::getline(cpuinfo, line)) {
        if (line.rfind("model name", 0) != 0)
            continue;
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const size_t start = line.find_first_not_of(" \t", colon + 1);
        return start == std::string::npos ? std::string() : line.substr(start);
    }
    return {};
}

}  // namespace

LocalTime CurrentLocalTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm parts{};
    localtime_r(&now.tv_sec, &parts);
    LocalTime local;
    local.year = parts.tm_year + 1900;
    local.month = parts.tm_mon + 1;
    local.day = parts.tm_mday;
    local.hour = parts.tm_hour;
    local.minute = parts.tm_min;
    local.second = parts.tm_sec;
    local.millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return local;
}

std::wstring ProcessorBrandString()
{
    std::string brand = BrandFromCpuid();
    if (brand.empty())
        brand = BrandFromProcCpuinfo();
    if (brand.empty())
        return L"Unknown";
    return OrvText::Latin1ToWide(brand);
}

long LogicalProcessorCount()
{
    return sysconf(_SC_NPROCESSORS_ONLN);
}

uint64_t TotalPhysicalMemoryBytes()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return 0;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize);
}

}  // namespace OrvSystem
