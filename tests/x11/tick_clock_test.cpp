#include "x11/tick_clock.h"

#include <gtest/gtest.h>

namespace Miruton {
namespace {

TEST(TickClock, KeepsTheRhythmDropsMissedTicksAndNeverWakesEarly) {
    using std::chrono::microseconds;
    using std::chrono::milliseconds;
    const Clock::time_point t0{};
    struct Case {
        microseconds due, now;
        microseconds next;
        int timeoutAtNow;  // until the next tick, rounded up
    };
    const Case cases[] = {
        {milliseconds(0), microseconds(3'000), milliseconds(100), 97},  // drawing took 3 ms
        {milliseconds(100), microseconds(100'000), milliseconds(200), 100},
        {milliseconds(100), microseconds(150'500), milliseconds(200), 50},  // 49.5 ms: 50
        {milliseconds(100), microseconds(199'999), milliseconds(200), 1},
        {milliseconds(100), microseconds(200'000), milliseconds(300), 100},  // a whole tick late
        {milliseconds(100), microseconds(1'234'000), microseconds(1'334'000), 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "due " << c.due.count() << " now " << c.now.count());
        const Clock::time_point next = NextTickDue(t0 + c.due, t0 + c.now);
        EXPECT_EQ(next - t0, c.next);
        EXPECT_EQ(PollTimeout(next, t0 + c.now), c.timeoutAtNow);
        EXPECT_EQ(MicrosecondsUntil(next, t0 + c.now), (c.next - c.now).count());
    }
    EXPECT_EQ(PollTimeout(t0, t0 + milliseconds(5)), 0);
    EXPECT_EQ(MicrosecondsUntil(t0, t0 + milliseconds(5)), 0u);
}

}  // namespace
}  // namespace Miruton
