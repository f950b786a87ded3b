// Timing for the benchmark programs: the best of several rounds, so that a
// passing hiccup of the machine does not count.
#pragma once

#include <algorithm>
#include <chrono>

template <typename F>
double BestSeconds(int rounds, F&& run) {
  double best = 1e9;
  for (int r = 0; r < rounds; ++r) {
    const auto start = std::chrono::steady_clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}
