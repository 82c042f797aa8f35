#pragma once

#include <chrono>

namespace Miruton {

using Clock = std::chrono::steady_clock;

// The show's timer period, as on Windows.
constexpr std::chrono::milliseconds kTickPeriod{100};

// When the tick after the one due at `due` is due, the tick having been drawn
// at `now`. Ticks keep their 100 ms rhythm however long drawing takes; after
// a stall of a whole period or more the missed ticks are dropped, not drawn
// in a burst (as a window timer does).
Clock::time_point NextTickDue(Clock::time_point due, Clock::time_point now);

// How long poll() may sleep until `due`, in whole milliseconds rounded up,
// so that the loop never wakes a little early and spins until the tick.
int PollTimeout(Clock::time_point due, Clock::time_point now);

// Microseconds from `now` until `due`, 0 when it has passed.
unsigned long MicrosecondsUntil(Clock::time_point due, Clock::time_point now);

}  // namespace Miruton
