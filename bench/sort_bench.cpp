// Sorting the result table as a header click does: 100 000 rows of the default columns, by a
// text column (Title), a number column (Year) and back to the run's order. Prints the times and
// PASS or FAIL against the target (each well under a second: at most 0.5 s).
//
//   bench_sort [ROWS]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>

#include "batch/ColumnCatalogue.h"
#include "batch/ResultSort.h"
#include "platform/ReportListModel.h"

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  ReportListModel table;
  ColumnCatalogue::AddColumns(table, ColumnCatalogue::DefaultHeaders());
  // Titles with accents and letter case mixed, years with gaps, as a real library has them.
  const QStringList words = {"Élan", "harbour", "Lantern", "zebra", "Ärger", "copper", "Øresund"};
  for (int r = 0; r < rows; ++r) {
    const int row = table.AppendRow(QStringLiteral("%1 - track.mp3").arg(r, 6, 10, QChar(u'0')));
    table.SetSubItem(row, 1,
                     words[r % words.size()] + QStringLiteral(" %1").arg((r * 7919) % rows));
    if (r % 5 != 0) table.SetSubItem(row, 5, QString::number(1950 + (r * 31) % 75));
  }
  const auto time = [&](const char* what, auto&& action) {
    QElapsedTimer clock;
    clock.start();
    action();
    const double seconds = clock.nsecsElapsed() / 1e9;
    std::printf("%-28s %8.3f s  %s\n", what, seconds, seconds <= 0.5 ? "PASS" : "FAIL");
    return seconds <= 0.5;
  };
  std::printf("%d rows of the default columns\n", rows);
  bool ok = true;
  ok &= time("by Title, ascending",
             [&] { ResultSort::Sort(table, 2, ResultSort::Direction::kAscending); });
  ok &= time("by Title, descending",
             [&] { ResultSort::Sort(table, 2, ResultSort::Direction::kDescending); });
  ok &= time("by Year, ascending",
             [&] { ResultSort::Sort(table, 6, ResultSort::Direction::kAscending); });
  ok &= time("back to the run's order", [&] { table.ReorderRows(table.ArrivalOrder()); });
  return ok ? 0 : 1;
}
