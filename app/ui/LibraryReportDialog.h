#pragma once

#include <QDialog>
#include <QString>

#include "batch/Audit.h"

class QComboBox;
class QTreeWidget;

/// The library report on screen: the findings grouped by album, with a filter by rule and
/// severity, and a bar chart per statistic; the same findings and figures as the HTML page,
/// which "Save report…" writes.
class LibraryReportDialog : public QDialog {
  Q_OBJECT

 public:
  /// `note` is shown under the summary (the columns the table lacks, say).
  LibraryReportDialog(Audit::Report report, const QString& note, QWidget* parent = nullptr);

  QTreeWidget& Findings() { return *findings_; }
  /// Writes the page; false, with the reason in `why`, when the file could not be written.
  bool SaveHtml(const QString& path, QString& why) const;

 signals:
  /// A finding about one file was double-clicked.
  void FileChosen(const QString& path);
  /// "Check audio…": the frame walk and the audio hashes, read from the files.
  void CheckAudioAsked();

 private:
  void Filter();
  QWidget* MakeCharts();

  const Audit::Report report_;
  QTreeWidget* findings_ = nullptr;
  QComboBox* rule_ = nullptr;
  QComboBox* severity_ = nullptr;
};
