#pragma once
// Calendar time in the user's time zone, safe to call from any thread.
#include <ctime>

namespace kinevra::platform {

// The local broken-down time of t; all fields zero when it cannot be converted.
std::tm localTime(std::time_t t);

}  // namespace kinevra::platform
