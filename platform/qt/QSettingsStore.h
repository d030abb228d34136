#pragma once

#include <QSettings>
#include <memory>

#include "platform/SettingsStore.h"

/// The user's settings file "Vendramel", group "Tagloom".
class QSettingsStore : public SettingsStore {
 public:
  QSettingsStore();
  /// Settings in the given INI file instead, for tests.
  explicit QSettingsStore(const QString& ini_path);

  QString Read(const QString& key, const QString& default_value) const override;
  void Write(const QString& key, const QString& value) override;

 private:
  std::unique_ptr<QSettings> settings_;
};
