#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

#include "platform/Clipboard.h"
#include "platform/Desktop.h"
#include "platform/EventLoop.h"
#include "platform/RandomSource.h"
#include "platform/SettingsStore.h"
#include "platform/StepFailure.h"

/// Settings kept in memory.
class MemorySettings : public SettingsStore {
 public:
  QString Read(const QString& key, const QString& default_value) const override {
    return values.value(key, default_value);
  }
  void Write(const QString& key, const QString& value) override { values[key] = value; }

  QMap<QString, QString> values;
};

/// A clipboard in memory whose next attempts can be made to fail, as when another program
/// holds it.
class MemoryClipboard : public Clipboard {
 public:
  bool Clear() override {
    ++clear_attempts;
    if (Failing()) return false;
    text.clear();
    holds_text = false;
    return true;
  }
  bool SetText(const QString& t) override {
    ++set_attempts;
    if (Failing()) return false;
    text = t;
    html.clear();
    holds_text = true;
    return true;
  }
  bool SetTextAndHtml(const QString& t, const QString& h) override {
    if (!SetText(t)) return false;
    html = h;
    return true;
  }

  /// The next n attempts, of either kind, fail.
  int fail_next = 0;
  int clear_attempts = 0;
  int set_attempts = 0;
  QString text;
  QString html;
  bool holds_text = false;

 private:
  bool Failing() {
    if (fail_next <= 0) return false;
    --fail_next;
    return true;
  }
};

/// Records what would have been opened; can refuse.
class RecordingDesktop : public Desktop {
 public:
  void OpenFolder(const QString& path) override {
    if (refuse) throw StepFailure("The desktop could not open the folder.");
    opened_folders.append(path);
  }
  void OpenWebAddress(const QString& address) override {
    if (refuse) throw StepFailure("The desktop could not open the address.");
    opened_addresses.append(address);
  }
  void OpenFile(const QString& path) override {
    if (refuse) throw StepFailure("The desktop could not open the file.");
    opened_files.append(path);
  }
  void ShowInFolder(const QString& path, std::function<void(const StepFailure&)> failed) override {
    if (refuse) throw StepFailure("The desktop could not show the file.");
    shown_files.append(path);
    late_failures.push_back(std::move(failed));
  }

  bool refuse = false;
  QStringList opened_files;
  QStringList shown_files;
  /// Where a failure of each file shown goes once the call has returned.
  std::vector<std::function<void(const StepFailure&)>> late_failures;
  QStringList opened_folders;
  QStringList opened_addresses;
};

/// Answers queued fractions; 0.5 once the queue is empty.
class ScriptedRandom : public RandomSource {
 public:
  double NextFraction() override {
    if (fractions.empty()) return 0.5;
    const double f = fractions.front();
    fractions.pop_front();
    return f;
  }

  std::deque<double> fractions;
};

/// Counts yields and runs a hook at each, e.g. a second click while a run yields.
class FakeEventLoop : public EventLoop {
 public:
  bool Yield() override {
    ++yields;
    if (on_yield) on_yield(yields);
    return closing;
  }

  int yields = 0;
  /// Called with the running count of yields, the first one being 1.
  std::function<void(int)> on_yield;
  /// What Yield answers: set it to simulate the window being closed.
  bool closing = false;
};
