#include "app/SampleFiles.h"

#include "batch/AddFolder.h"
#include "core/ErrorTrap.h"
#include "core/Locations.h"
#include "core/Main.h"

namespace Samples {

bool FileHasDate(const FileSystem& files, const QString& path) noexcept {
  return files.FileHasDate(path);
}

bool ListHasText(const ReportListModel& list, const QString& text) {
  for (int r = 1; r <= list.RowCount(); ++r)
    if (list.Text(r) == text) return true;
  return false;
}

QStringList SampleNamesIn(const FileSystem& files, const QString& folder) {
  // A folder that is not there holds no files, as the old wildcard listing found none in it.
  const std::optional<int> bits = files.Attributes(folder);
  if (!bits || !(*bits & FileAttribute::kDirectory)) return {};
  return AddFolder::ListFilesInFolder(files, folder, QStringLiteral("*.*"));
}

void LoadSampleFiles(ReportListModel& list, const QString& program_folder, Ui& ui,
                     const FileSystem& files, Desktop& desktop) {
  const QString folder = program_folder + Main::kSeparator + QStringLiteral("Samples");
  const QStringList names = SampleNamesIn(files, folder);
  for (const QString& name : names) {
    const QString path = folder + Main::kSeparator + name;
    if (FileHasDate(files, path) && !ListHasText(list, path)) list.AppendRow(path);
  }
  const bool open = ui.AskYesNo(QStringLiteral(
      "Would you like this software to open the folder where these sample files are stored (so "
      "that you can view them before working with them)?"));
  // Handed to the desktop as a plain path: no quotes, no command line.
  if (open) desktop.OpenFolder(folder + Main::kSeparator);
}

}  // namespace Samples

void SampleFiles::Load() {
  ErrorTrap trap(loc::kPushButton8Click, errors_);
  trap.Step(100,
            [&] { Samples::LoadSampleFiles(file_list_, program_folder_, ui_, files_, desktop_); });
}
