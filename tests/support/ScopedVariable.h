#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

/// An environment variable set for a test's scope and put back as it was after it.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const QString& value) : name_(name), old_(qgetenv(name)) {
    qputenv(name, QFile::encodeName(value));
  }
  ~ScopedVariable() { qputenv(name_, old_); }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  QByteArray old_;
};
