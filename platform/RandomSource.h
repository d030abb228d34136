#pragma once

/// Random fractions, seeded from the clock by the real source.
class RandomSource {
 public:
  virtual ~RandomSource() = default;
  /// A fraction from 0 up to, not including, 1.
  virtual double NextFraction() = 0;
};
