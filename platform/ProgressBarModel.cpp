#include "platform/ProgressBarModel.h"

#include <cmath>

void ProgressBarModel::SetValue(double value) {
  value_ = value;
  emit Changed(value_, caption_);
}

void ProgressBarModel::SetCaption(const QString& caption) {
  caption_ = caption;
  emit Changed(value_, caption_);
}

int ProgressBarModel::FillPermille() const {
  if (!(value_ > 0)) return 0;  // also NaN
  if (value_ >= 100) return 1000;
  return static_cast<int>(std::lround(value_ * 10));
}
