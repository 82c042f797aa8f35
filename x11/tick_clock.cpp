#include "tick_clock.h"

#include <algorithm>
#include <limits>

namespace Miruton {

Clock::time_point NextTickDue(Clock::time_point due, Clock::time_point now) {
    const Clock::time_point next = due + kTickPeriod;
    return next > now ? next : now + kTickPeriod;
}

int PollTimeout(Clock::time_point due, Clock::time_point now) {
    if (due <= now) return 0;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now).count();
    return static_cast<int>(std::min<long long>(wait, std::numeric_limits<int>::max()));
}

unsigned long MicrosecondsUntil(Clock::time_point due, Clock::time_point now) {
    if (due <= now) return 0;
    return static_cast<unsigned long>(
        std::chrono::ceil<std::chrono::microseconds>(due - now).count());
}

}  // namespace Miruton
