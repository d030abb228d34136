#pragma once

#include <QString>
#include <QStringList>
#include <array>
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

/// What the shell knows of one file: the text of each detail column.
using ShellDetails = std::array<QString, ShellFolder::kColumnCount>;

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

  /// Reads the details of the file at path ahead of the run's questions, or gives none when
  /// the service reads nothing ahead. Safe to call from any thread, several at once.
  virtual std::shared_ptr<const ShellDetails> ReadDetails(const QString& path) const {
    (void)path;
    return nullptr;
  }
  /// Details read ahead for the file the run asks about next: within the run, the item of that
  /// file answers with them rather than reading the file again.
  virtual void Offer(const QString& path, std::shared_ptr<const ShellDetails> details) {
    (void)path;
    (void)details;
  }
};
