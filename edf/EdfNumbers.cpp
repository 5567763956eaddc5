#include "EdfNumbers.h"

#include <cmath>
#include <cstdio>
#include <cstring>

int WriteDecimal(char* out, int64_t value, int minDigits)
{
    char digits[20];
    int count = 0;
    uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    int n = 0;
    if (value < 0)
        out[n++] = '-';
    for (int pad = count; pad < minDigits; ++pad)
        out[n++] = '0';
    while (count > 0)
        out[n++] = digits[--count];
    return n;
}

int WriteSeconds(char* out, int64_t ticks)
{
    constexpr int64_t ticksPerSecond = 10'000'000;
    int n = WriteDecimal(out, ticks / ticksPerSecond);
    if (ticks % ticksPerSecond != 0) {
        out[n++] = '.';
        n += WriteDecimal(out + n, ticks % ticksPerSecond, 7);
        while (out[n - 1] == '0')
            --n;
    }
    return n;
}

int FormatDouble(char* out, double x)
{
    if (std::isnan(x)) {
        out[0] = '0';
        return 1;
    }
    int n = 0;
    if (x < 0)
        out[n++] = '-';
    constexpr double int32Limit = 2147483648.0;
    if (x >= int32Limit || x < -int32Limit)  // saturate: there is no room for such a number anyway
        return n + WriteDecimal(out + n, x < 0 ? 2147483648LL : 2147483647LL);
    auto whole = static_cast<int32_t>(x);  // toward zero
    double fraction = x - whole;
    n += WriteDecimal(out + n, whole < 0 ? -static_cast<int64_t>(whole) : whole);
    auto billionths = static_cast<int64_t>(std::fabs(fraction * 1e9));
    if (billionths == 0)
        return n;
    out[n++] = '.';
    n += WriteDecimal(out + n, billionths, 9);
    while (out[n - 1] == '0')
        --n;
    return n;
}

int FormatDoubleNearest(char* out, double x, int width)
{
    if (!std::isfinite(x))
        return -1;
    constexpr int mostDecimals = 9;
    char text[352];  // the longest double written in full, with its decimals
    for (int decimals = mostDecimals; decimals >= 0; --decimals) {
        int n = std::snprintf(text, sizeof text, "%.*f", decimals, x);
        if (n < 0 || n > width)
            continue;
        if (decimals > 0) {
            while (text[n - 1] == '0')
                --n;
            if (text[n - 1] == '.')
                --n;
        }
        if (n == 2 && text[0] == '-' && text[1] == '0')
            n = std::snprintf(text, sizeof text, "0");  // a tiny negative value rounds to 0
        std::memcpy(out, text, static_cast<size_t>(n));
        return n;
    }
    return -1;
}
