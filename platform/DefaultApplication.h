#pragma once

#include <QString>
#include <future>

/// Whether the desktop names an application for a kind of file (`xdg-mime query default TYPE`).
/// The question is asked once, on a thread of its own, as soon as the object is made: the desktop
/// may take seconds to answer, and the window must not wait for it. Found() waits for the answer
/// only when it is still out.
class DefaultApplication {
 public:
  /// How long the desktop may take to answer before the answer counts as none.
  static constexpr int kTimeoutMs = 5000;

  /// `program` is asked as `program query default mime_type`.
  explicit DefaultApplication(const QString& mime_type,
                              const QString& program = QStringLiteral("xdg-mime"));
  ~DefaultApplication();
  DefaultApplication(const DefaultApplication&) = delete;
  DefaultApplication& operator=(const DefaultApplication&) = delete;

  /// True when the desktop named an application. Never throws.
  bool Found() noexcept;

 private:
  std::shared_future<bool> answer_;
};
