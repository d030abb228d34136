#pragma once

#include <random>

#include "platform/RandomSource.h"

/// Random fractions from a generator seeded from the clock when it is made.
class ClockRandomSource : public RandomSource {
 public:
  ClockRandomSource();
  double NextFraction() override;

 private:
  std::mt19937_64 engine_;
};
