#include "edf/EdfNumbers.h"

#include <cmath>

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
