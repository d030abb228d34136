#pragma once

#include <vector>

#include "platform/ListViewPort.h"
#include "platform/ReportListModel.h"

/// A list view without a screen: rows of a fixed height from y = 0, all rows visible.
class FakeListViewPort : public ListViewPort {
 public:
  explicit FakeListViewPort(const ReportListModel& model, int row_height = 20)
      : model_(model), row_height_(row_height) {}

  std::optional<int> RowAt(int x, int y) const override {
    if (x < 0 || y < 0) return std::nullopt;
    const int row = y / row_height_ + 1;
    if (row > model_.RowCount()) return std::nullopt;
    return row;
  }
  void EnsureVisible(int row) override { made_visible.push_back(row); }

  std::vector<int> made_visible;

 private:
  const ReportListModel& model_;
  int row_height_;
};
