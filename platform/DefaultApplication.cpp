#include "platform/DefaultApplication.h"

#include <QProcess>

namespace {

bool Ask(const QString& program, const QString& mime_type) noexcept {
  try {
    QProcess query;
    query.start(program, {QStringLiteral("query"), QStringLiteral("default"), mime_type});
    if (!query.waitForFinished(DefaultApplication::kTimeoutMs)) {
      query.kill();
      query.waitForFinished(1000);
      return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
  } catch (...) {
    return false;
  }
}

}  // namespace

DefaultApplication::DefaultApplication(const QString& mime_type, const QString& program) {
  try {
    answer_ = std::async(std::launch::async, Ask, program, mime_type).share();
  } catch (...) {
    // No thread to be had: the question waits until the answer is needed.
    answer_ = std::async(std::launch::deferred, Ask, program, mime_type).share();
  }
}

// The last copy of a future from std::async waits for its thread: the question ends before the
// object does.
DefaultApplication::~DefaultApplication() = default;

bool DefaultApplication::Found() noexcept {
  try {
    return answer_.get();
  } catch (...) {
    return false;
  }
}
