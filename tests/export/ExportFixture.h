#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <initializer_list>

#include "core/ErrorReport.h"
#include "platform/ProgressBarModel.h"
#include "platform/ReportListModel.h"
#include "platform/WindowPointer.h"
#include "tests/support/fakes/FakeServices.h"
#include "tests/support/fakes/RecordingProgress.h"

/// A result table to export, the fakes around it and a folder to write into.
class ExportFixture : public ::testing::Test {
 protected:
  /// Columns with these headers.
  void Columns(std::initializer_list<const char*> headers) {
    for (const char* h : headers) results.AddColumn(QString::fromUtf8(h));
  }
  /// A row with these cells (column 1 first).
  int Row(const QStringList& cells, bool checked = true) {
    const int row = results.AppendRow(cells.value(0));
    for (qsizetype k = 1; k < cells.size(); ++k) results.SetSubItem(row, int(k), cells[k]);
    results.SetChecked(row, checked);
    return row;
  }
  QString PathOf(const QString& name) const { return QDir(dir.path()).filePath(name); }
  static QByteArray Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
  }
  /// Files in the folder other than the ones named, e.g. half-built ones left behind.
  QStringList Leftovers(const QStringList& expected) const {
    QStringList names = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : expected) names.removeAll(name);
    return names;
  }

  QTemporaryDir dir;
  ReportListModel results;
  ProgressBarModel progress;
  RecordingProgress recorded{progress};
  WindowPointer pointer;
  FakeServices fakes;
  ErrorReport errors{fakes.ui};
};
