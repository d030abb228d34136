#pragma once

#include <QString>
#include <QStringView>
#include <optional>
#include <vector>

#include "batch/ColumnCatalogue.h"

class ReportListModel;

/// Sorting the result table by one column: numbers and durations as numbers, text ignoring
/// letter case and accents, empty cells last in either direction. Ties keep the rows' order.
namespace ResultSort {

enum class Direction : uint8_t { kAscending, kDescending };

/// The order of the table's rows sorted by `column` (1-based), for ReorderRows.
std::vector<int> Order(const ReportListModel& results, int column, ColumnCatalogue::Order kind,
                       Direction direction);

/// Sorts the table in place by the column, compared as its catalogue column says (text when the
/// catalogue does not know the header).
void Sort(ReportListModel& results, int column, Direction direction);

/// The value a cell sorts by as a number: its leading number, "h:mm:ss" or "m:ss" as seconds;
/// none when it starts with no digit.
std::optional<double> NumberOf(QStringView cell);
inline std::optional<double> NumberOf(const QString& cell) { return NumberOf(QStringView(cell)); }

/// The text a cell sorts by: letters without their accents, case folded.
QString TextKey(const QString& cell);

}  // namespace ResultSort
