#pragma once

#include <QString>
#include <QStringList>
#include <memory>

/// One folder as the shell presents it: detail columns and items.
class ShellFolder {
 public:
  /// The number of detail columns the shell reports names for.
  static constexpr int kColumnCount = 42;

  virtual ~ShellFolder() = default;
  /// Name of detail column 0 to 41; empty when the shell has none there.
  virtual QString ColumnName(int column) const = 0;
  /// The items of the folder, each by its name as the shell shows it, in the shell's order.
  virtual QStringList Items() const = 0;
  /// Detail text of item (0-based index into Items()) for column 0 to 41; empty when unknown.
  virtual QString DetailsOf(int item, int column) const = 0;
};

/// The shell's property service.
class ShellProperties {
 public:
  virtual ~ShellProperties() = default;
  /// The shell folder of path; throws StepFailure when the shell cannot open it.
  virtual std::unique_ptr<ShellFolder> Namespace(const QString& path) = 0;
  /// A run over many files begins: until the matching EndRun the service may keep what it has
  /// read of a folder, so a folder's files are read once per run, not once per queued file.
  /// Runs may nest (a run started from a yield of another).
  virtual void BeginRun() noexcept {}
  /// The run ends; once no run is left, what was kept is dropped and the next run reads afresh.
  virtual void EndRun() noexcept {}
};
