#include "MirroredIndex.h"

int64_t MirroredIndex(int64_t i, int64_t n)
{
    if (n <= 1)
        return 0;
    const int64_t period = 2 * (n - 1);
    int64_t j = i % period;
    j = j < 0 ? j + period : j;
    return j >= n ? period - j : j;
}
