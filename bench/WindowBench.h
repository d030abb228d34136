// What the benchmarks of the window's runs share: boxes answered at once, and the services a
// run never calls.
#pragma once

#include <QString>
#include <cstdio>
#include <memory>

#include "app/Form1.h"
#include "platform/StepFailure.h"

namespace bench {

/// Boxes answered at once; a run shows "Done." and nothing else unless a step fails.
class SilentUi : public Ui {
 public:
  void SetApplicationTitle(const QString& title) override { title_ = title; }
  QString ApplicationTitle() const override { return title_; }
  void Message(const QString& text) override { last_message = text; }
  bool AskYesNo(const QString&) override { return false; }
  void Exclamation(const QString& text, const QString&) override {
    std::fprintf(stderr, "report: %s\n", qPrintable(text));
    ++reports;
  }
  QString InputBox(const QString&, const QString&, const QString&) override { return {}; }
  OpenFilesResult OpenFiles(const FileDialogRequest&) override { return {}; }
  QString SaveFile(const FileDialogRequest&) override { return {}; }
  QString BrowseForFolder(const QString&, const QString&) override { return {}; }

  QString last_message;
  int reports = 0;

 private:
  QString title_;
};

// Services a run never calls; settings read as their defaults, so the default columns show.
class Unused : public SettingsStore,
               public Clipboard,
               public Desktop,
               public RandomSource,
               public Spreadsheet,
               public ShellProperties,
               public MainWindowPort {
 public:
  QString Read(const QString&, const QString& d) const override { return d; }
  void Write(const QString&, const QString&) override {}
  bool Clear() override { return true; }
  bool SetText(const QString&) override { return true; }
  void OpenFolder(const QString&) override {}
  void OpenWebAddress(const QString&) override {}
  double NextFraction() override { return 0.5; }
  bool Available() noexcept override { return false; }
  void NewWorkbook() override {}
  void SetCell(int, int, const QString&) override {}
  void SetColumnWidth(int, double) override {}
  void AutoFitColumns() override {}
  void Save(const QString&) override {}
  void Open(const QString&) override {}
  std::unique_ptr<ShellFolder> Namespace(const QString&) override { throw StepFailure("no shell"); }
  void ApplySkin(const QString&) override {}
  void SetCaption(const QString&) override {}
  void ShowProgramIcon() override {}
  void LoadHoverPicture(const QString&) override {}
};

}  // namespace bench
