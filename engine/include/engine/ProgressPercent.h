#pragma once

// The whole percent that a front end shows for a conversion's progress fraction: 0 to 100,
// rounded down, so that 100 appears only once all is done. 0 for a fraction below 0 or NaN.
int WholePercent(double fraction);
