#pragma once

#include <optional>

/// What only the view on screen can answer about a report-style list; the model's owner asks it.
class ListViewPort {
 public:
  virtual ~ListViewPort() = default;
  /// The 1-based row under the point (x, y in the list's own coordinates), or none.
  virtual std::optional<int> RowAt(int x, int y) const = 0;
  /// Scrolls so that the 1-based row shows; rows out of range are ignored.
  virtual void EnsureVisible(int row) = 0;
  /// The list's own pointer becomes its drag picture; it stays as it is when there is none.
  virtual void ShowDragPointer() {}
  /// The list's own pointer becomes the arrow.
  virtual void ShowArrowPointer() {}
};
