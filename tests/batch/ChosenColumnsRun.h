#pragma once

#include <gtest/gtest.h>

#include <QStringList>
#include <memory>

#include "batch/ColumnCatalogue.h"
#include "batch/ExtractionRun.h"
#include "batch/FolderTotals.h"
#include "core/ErrorReport.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"

/// A run over files with a chosen set of columns; its cells row by row, and what it left.
class ChosenColumnsRun : public ::testing::Test {
 protected:
  QStringList Cells(const QStringList& columns, const QStringList& paths,
                    std::shared_ptr<LegacyTextDecoder> decoder = nullptr) {
    ReportListModel file_list, results;
    for (const QString& p : paths) file_list.AppendRow(p);
    ColumnCatalogue::AddColumns(results, columns);
    ProgressBarModel progress;
    WindowPointer pointer;
    bool running = false;
    ExtractionRun run(file_list, results, progress, pointer, running, f.ui, f.events, errors);
    run.SetColumns(columns);
    run.SetLegacyTextDecoder(std::move(decoder));
    run.SetFolderTotals(&totals);
    run.Start();
    caption = progress.Caption();
    QStringList cells;
    tips.clear();
    for (int r = 1; r <= results.RowCount(); ++r)
      for (int c = 1; c <= results.ColumnCount(); ++c) {
        cells.append(results.Cell(r, c));
        tips.append(results.data(results.index(r - 1, c - 1), Qt::ToolTipRole).toString());
      }
    return cells;
  }

  FakeServices f;
  ErrorReport errors{f.ui};
  TestFiles::TempDir dir;
  FolderTotals totals;
  QString caption;
  QStringList tips;  ///< each cell's tip, as the cells
};
