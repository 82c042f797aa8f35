#pragma once

#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace TesseraBench {

// When to stop repeating: after exactly `fixedRuns` rounds when it is given,
// else after at least `minimumRuns` rounds once every task has spent at least
// `minimumSeconds` in all.
struct TurnCount {
    std::optional<int> fixedRuns;
    int minimumRuns = 5;
    double minimumSeconds = 0.5;
};

// Runs the tasks in turns, round after round, each round starting with the
// next task so that none always runs right after the same other, and noise
// on the machine hits them alike; returns the seconds of every run of each
// task (indexed as the tasks).
std::vector<std::vector<double>> TimeInTurns(std::span<const std::function<void()>> tasks,
                                             const TurnCount& count);

}  // namespace TesseraBench
