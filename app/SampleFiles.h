#pragma once

#include <QString>
#include <QStringList>

#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "platform/ReportListModel.h"
#include "platform/Ui.h"

namespace Samples {

/// True when the file's last-modified time can be read; any failure counts as absence.
bool FileHasDate(const FileSystem& files, const QString& path) noexcept;

/// True when some row's own text equals `text` exactly (letter case counts).
bool ListHasText(const ReportListModel& list, const QString& text);

/// The names of the files in `folder` ("*.*"), hidden ones included, in listing order. A missing
/// folder holds no files; a folder that exists but cannot be read throws StepFailure.
QStringList SampleNamesIn(const FileSystem& files, const QString& folder);

/// Appends every sample file beside the program that is present and not yet listed, then
/// offers to open the sample folder. Throws StepFailure; the caller's trap reports it.
void LoadSampleFiles(ReportListModel& list, const QString& program_folder, Ui& ui,
                     const FileSystem& files, Desktop& desktop);

}  // namespace Samples

class ErrorReport;

/// "Load Sample/Example Files": LoadSampleFiles under the button's error trap.
class SampleFiles {
 public:
  SampleFiles(ReportListModel& file_list, const QString& program_folder, Ui& ui,
              const FileSystem& files, Desktop& desktop, ErrorReport& errors)
      : file_list_(file_list),
        program_folder_(program_folder),
        ui_(ui),
        files_(files),
        desktop_(desktop),
        errors_(errors) {}

  void Load();

 private:
  ReportListModel& file_list_;
  const QString& program_folder_;
  Ui& ui_;
  const FileSystem& files_;
  Desktop& desktop_;
  ErrorReport& errors_;
};
