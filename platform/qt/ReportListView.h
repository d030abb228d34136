#pragma once

#include <QTreeView>

#include "platform/ListViewPort.h"
#include "platform/ReportListModel.h"

/// The report-style list on screen: a flat tree view over a ReportListModel, one selected row
/// kept in step with the model, column widths from twips at the screen's logical DPI.
class ReportListView : public QTreeView, public ListViewPort {
  Q_OBJECT

 public:
  explicit ReportListView(ReportListModel& model, QWidget* parent = nullptr);

  std::optional<int> RowAt(int x, int y) const override;
  void EnsureVisible(int row) override;

  /// Twips (1/1440 inch) as pixels at the given logical DPI.
  static int TwipsToPixels(int twips, int dpi) { return (twips * dpi + 720) / 1440; }

 private:
  void ApplyColumnWidth(int column, int width_twips);
  void ShowModelSelection(int row);
  void Show(QItemSelectionModel* selection, int row);

  ReportListModel& model_;
  bool following_model_ = false;  // the view changes its selection to match the model
};
