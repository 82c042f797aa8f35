#include "turn_timing.h"

#include <algorithm>
#include <chrono>

namespace TesseraBench {

std::vector<std::vector<double>> TimeInTurns(std::span<const std::function<void()>> tasks,
                                             const TurnCount& count) {
    using Clock = std::chrono::steady_clock;
    std::vector<std::vector<double>> seconds(tasks.size());
    std::vector<double> totals(tasks.size(), 0.0);
    auto enough = [&](std::size_t rounds) {
        if (count.fixedRuns) return rounds >= static_cast<std::size_t>(*count.fixedRuns);
        const double least = *std::min_element(totals.begin(), totals.end());
        return rounds >= static_cast<std::size_t>(count.minimumRuns) &&
               least >= count.minimumSeconds;
    };
    if (tasks.empty()) return seconds;
    for (std::size_t round = 0; !enough(round); ++round) {
        for (std::size_t turn = 0; turn < tasks.size(); ++turn) {
            const std::size_t which = (round + turn) % tasks.size();
            const Clock::time_point start = Clock::now();
            tasks[which]();
            const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
            seconds[which].push_back(elapsed);
            totals[which] += elapsed;
        }
    }
    return seconds;
}

}  // namespace TesseraBench
