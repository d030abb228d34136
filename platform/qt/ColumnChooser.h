#pragma once

#include <QDialog>
#include <QStringList>

#include "platform/Ui.h"

class QCheckBox;
class QComboBox;
class QListWidget;

/// "Columns…": every column as a check box, the shown ones first in their order; dragging a
/// row reorders, "Reset to default" brings back the default set.
class ColumnChooser : public QDialog {
  Q_OBJECT

 public:
  explicit ColumnChooser(const ColumnChoiceRequest& request, QWidget* parent = nullptr);

  /// The ticked columns, top to bottom.
  QStringList Chosen() const;
  /// Ticks exactly these columns and puts them first, in this order.
  void Show(const QStringList& chosen);
  QListWidget* List() const { return list_; }
  /// The legacy-text reading chosen ("windows-1252", "detect" or an iconv code page name).
  QString LegacyText() const;
  bool SummarySheet() const;
  /// Moves the current column up (by -1) or down (by 1); the keyboard's way of dragging it.
  void MoveCurrent(int by);
  bool EveryFormat() const;

 private:
  void UpdateOk();

  ColumnChoiceRequest request_;
  QListWidget* list_ = nullptr;
  QWidget* ok_ = nullptr;
  QComboBox* legacy_ = nullptr;
  QCheckBox* summary_ = nullptr;
  QCheckBox* every_format_ = nullptr;
};
