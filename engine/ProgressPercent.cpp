#include "engine/ProgressPercent.h"

int WholePercent(double fraction)
{
    if (!(fraction > 0))  // NaN too
        return 0;
    if (fraction >= 1)
        return 100;
    return static_cast<int>(fraction * 100);
}
