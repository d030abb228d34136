#pragma once

/// The window's event loop, which long actions on the one thread let run between items.
class EventLoop {
 public:
  virtual ~EventLoop() = default;
  /// Lets pending events run (clicks, keys, repaints); may also do nothing when called again
  /// within a few milliseconds. Returns true once the program is closing: the caller stops at
  /// this point, because the window and its lists are going away.
  virtual bool Yield() = 0;
};
