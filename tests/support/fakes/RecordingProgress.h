#pragma once

#include <QObject>
#include <QString>
#include <utility>
#include <vector>

#include "platform/ProgressBarModel.h"

/// Records every (value, caption) a progress bar shows, in order.
class RecordingProgress {
 public:
  explicit RecordingProgress(ProgressBarModel& bar) {
    QObject::connect(
        &bar, &ProgressBarModel::Changed,
        [this](double value, const QString& caption) { states.emplace_back(value, caption); });
  }

  std::vector<std::pair<double, QString>> states;
};
