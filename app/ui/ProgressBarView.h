#pragma once

#include <QWidget>

#include "platform/ProgressBarModel.h"

/// The progress bar on screen: the model's value fills it, its caption is drawn on it as it is
/// (a "%" in a file name stays a "%").
class ProgressBarView : public QWidget {
  Q_OBJECT

 public:
  explicit ProgressBarView(ProgressBarModel& model, QWidget* parent = nullptr);
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ProgressBarModel& model_;
  bool update_asked_ = false;  // a repaint is on its way
};
