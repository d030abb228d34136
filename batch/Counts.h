#pragma once

#include <QString>

/// Counts as every caption shows them: digits in groups of three, a space between ("66 275"),
/// and the noun in the plural unless the count is one.
namespace Counts {

inline QString Grouped(qsizetype n) {
  QString digits = QString::number(n);
  for (qsizetype at = digits.size() - 3; at > (n < 0 ? 1 : 0); at -= 3) digits.insert(at, u' ');
  return digits;
}

inline QString Of(qsizetype n, const QString& one, const QString& many) {
  return Grouped(n) + u' ' + (n == 1 ? one : many);
}

}  // namespace Counts
