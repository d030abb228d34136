#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "platform/ShellProperties.h"
#include "platform/StepFailure.h"

/// A shell folder in memory: column names and, per item, its details by column.
struct FakeShellFolderData {
  QStringList column_names;  // missing or empty entries read as empty names
  QStringList items;
  QMap<QString, QMap<int, QString>> details;  // item name -> column -> text
};

class FakeShellFolder : public ShellFolder {
 public:
  explicit FakeShellFolder(FakeShellFolderData data) : data_(std::move(data)) {}
  QString ColumnName(int column) const override { return data_.column_names.value(column); }
  QStringList Items() const override { return data_.items; }
  QString DetailsOf(int item, int column) const override {
    return data_.details.value(data_.items.value(item)).value(column);
  }

 private:
  FakeShellFolderData data_;
};

/// Folders known by their path; any other path fails to open.
class FakeShellProperties : public ShellProperties {
 public:
  std::unique_ptr<ShellFolder> Namespace(const QString& path) override {
    opened.append(path);
    const auto it = folders.constFind(path);
    if (it == folders.constEnd()) throw StepFailure("The shell cannot open the folder.");
    return std::make_unique<FakeShellFolder>(it.value());
  }

  QMap<QString, FakeShellFolderData> folders;
  QStringList opened;
};
