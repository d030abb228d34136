#pragma once

#include <QString>

#include "core/ErrorReport.h"
#include "platform/Desktop.h"
#include "platform/FileSystem.h"
#include "platform/MainWindowPort.h"
#include "platform/RandomSource.h"
#include "platform/ReportListModel.h"
#include "platform/Ui.h"

/// The product name: the window's caption and the start of the application title.
inline constexpr char16_t kProductName[] = u"Tagloom";

/// The application title made from a product name: cut back at its last space at least once,
/// and again while more than 40 characters remain. A name without a space stays whole.
QString ApplicationTitleOf(const QString& product_name);

/// "Help": the maker's contact page in a plain message.
void ShowHelp(Ui& ui, ErrorReport& errors);

/// The window's start-up: skin, caption and title, hover pointer, the occasional visit to the
/// maker's home page, and the columns of both lists.
class FormLoad {
 public:
  FormLoad(const QString& program_folder, MainWindowPort& window, ReportListModel& file_list,
           ReportListModel& results, Ui& ui, const FileSystem& files, RandomSource& random,
           Desktop& desktop, ErrorReport& errors)
      : program_folder_(program_folder),
        window_(window),
        file_list_(file_list),
        results_(results),
        ui_(ui),
        files_(files),
        random_(random),
        desktop_(desktop),
        errors_(errors) {}

  void Run();

  /// Opens the maker's home page about once in a hundred starts; throws StepFailure when the
  /// desktop cannot open it.
  static void VisitHomePageSometimes(RandomSource& random, Desktop& desktop);

 private:
  QString Beside(const QString& relative) const;

  QString program_folder_;
  MainWindowPort& window_;
  ReportListModel& file_list_;
  ReportListModel& results_;
  Ui& ui_;
  const FileSystem& files_;
  RandomSource& random_;
  Desktop& desktop_;
  ErrorReport& errors_;
};
