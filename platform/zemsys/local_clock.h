// The local date and time of day, from the system's own clock service.
#ifndef ZEM_PLATFORM_ZEMSYS_LOCAL_CLOCK_H
#define ZEM_PLATFORM_ZEMSYS_LOCAL_CLOCK_H

#include <ctime>

namespace zem::sys {

// Fills *tm_now with the local time now; false when the system cannot tell.
bool LocalNow(std::tm *tm_now);

}  // namespace zem::sys

#endif  // ZEM_PLATFORM_ZEMSYS_LOCAL_CLOCK_H
