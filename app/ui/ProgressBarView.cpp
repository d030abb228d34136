#include "app/ui/ProgressBarView.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

ProgressBarView::ProgressBarView(ProgressBarModel& model, QWidget* parent)
    : QWidget(parent), model_(model) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  // Repaints are coalesced, so a run that sets the bar per file does not paint per file; asked
  // for once until the paint comes, not once a file.
  connect(&model_, &ProgressBarModel::Changed, this, [this] {
    if (update_asked_ || !isVisible()) return;
    update_asked_ = true;
    update();
  });
}

QSize ProgressBarView::sizeHint() const { return {300, fontMetrics().height() + 12}; }

QSize ProgressBarView::minimumSizeHint() const { return {100, fontMetrics().height() + 8}; }

void ProgressBarView::paintEvent(QPaintEvent*) {
  update_asked_ = false;
  QStyleOptionProgressBar option;
  option.initFrom(this);
  option.minimum = 0;
  option.maximum = 1000;
  option.progress = model_.FillPermille();
  option.text = fontMetrics().elidedText(model_.Caption(), Qt::ElideMiddle, width() - 16);
  option.textVisible = true;
  option.textAlignment = Qt::AlignCenter;
  option.state |= QStyle::State_Horizontal;
  QPainter painter(this);
  style()->drawControl(QStyle::CE_ProgressBar, &option, &painter, this);
}
