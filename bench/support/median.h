// The median of a benchmark's round times.
#pragma once

#include <algorithm>
#include <vector>

namespace hub::bench {

// The middle value (the upper one of an even count); the rounds must not be empty.
inline double Median(std::vector<double> rounds) {
  std::nth_element(rounds.begin(), rounds.begin() + rounds.size() / 2, rounds.end());
  return rounds[rounds.size() / 2];
}

}  // namespace hub::bench
