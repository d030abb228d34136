#include "platform/qt/QSettingsStore.h"

namespace {
const QString kGroup = QStringLiteral("Tagloom");
}

QSettingsStore::QSettingsStore()
    : settings_(std::make_unique<QSettings>(QSettings::UserScope, QStringLiteral("Vendramel"))) {}

QSettingsStore::QSettingsStore(const QString& ini_path)
    : settings_(std::make_unique<QSettings>(ini_path, QSettings::IniFormat)) {}

QString QSettingsStore::Read(const QString& key, const QString& default_value) const {
  return settings_->value(kGroup + u'/' + key, default_value).toString();
}

void QSettingsStore::Write(const QString& key, const QString& value) {
  settings_->setValue(kGroup + u'/' + key, value);
  settings_->sync();
}
