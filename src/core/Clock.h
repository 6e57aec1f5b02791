#pragma once
// "Now", injectable so that results that depend on the date (the year of a listing line that shows none)
// can be tested.

#include <ctime>
#include <functional>

using Clock = std::function<std::time_t()>;

// The system clock.
Clock systemClock();
