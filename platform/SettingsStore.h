#pragma once

#include <QString>

/// Per-user strings of the program (organisation "Vendramel", section "Tagloom").
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  /// The stored value, or default_value when the key is missing.
  virtual QString Read(const QString& key, const QString& default_value) const = 0;
  virtual void Write(const QString& key, const QString& value) = 0;
};
