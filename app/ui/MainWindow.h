#pragma once

#include <QCursor>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <memory>
#include <optional>
#include <vector>

#include "app/Form1.h"
#include "platform/MainWindowPort.h"
#include "platform/qt/ReportListView.h"

class ProgressBarView;
class QGroupBox;

/// The Tagloom window: the file list on top, the run in the middle, the results below. Every
/// widget forwards its events to a Form1 handler; nothing here decides anything.
class MainWindow : public QMainWindow, public MainWindowPort {
  Q_OBJECT

 public:
  /// Runs the window's start-up; the caller shows the window afterwards.
  MainWindow(Services& services, const QString& program_folder, QWidget* parent = nullptr);
  ~MainWindow() override;

  Form1& form() { return form_; }
  /// The button with the given number (1 to 13); nullptr for numbers without a button.
  QPushButton* PushButton(int number) const;
  ReportListView& FileListView() { return *list_view1_; }
  ReportListView& ResultListView() { return *list_view2_; }
  QPushButton* ColumnsButton() const { return columns_button_; }
  QPushButton* StopButton() const { return stop_button_; }
  QLineEdit* FilterField() const { return filter_field_; }
  QLabel* FilterCaption() const { return filter_caption_; }

  /// The settings key of the window's size and place.
  static constexpr char16_t kGeometryKey[] = u"WindowGeometry";
  QPushButton* ReportButton() const { return report_button_; }
  /// "Library report": the report of the last run's rows in a window of its own.
  void ShowLibraryReport();

  // MainWindowPort
  void ApplySkin(const QString& skin_path) override;
  void SetCaption(const QString& caption) override;
  void ShowProgramIcon() override;
  void LoadHoverPicture(const QString& path) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QPushButton* MakeButton(int number, const QString& caption, void (Form1::*handler)());
  void BuildLayout();
  void AddShortcuts();
  void ShowQueuedCount();
  void RestoreGeometry();
  void KeepUserColumnWidths();
  QPushButton* MakeReportButton();
  void OpenLibraryReport(std::shared_ptr<LibraryReport::Made> made, const QString& note);
  /// Hands the lists' mouse, key and drop events to Form1's handlers.
  void ConnectListEvents();
  void ShowPointer(Pointer shape);
  void ShowSortIndicator();
  /// The filter field above the results, its caption and its keys.
  QLayout* BuildFilterRow();
  void ShowFilterState();
  /// The result table's context menu and keys for the rows selected (Shift and Ctrl clicks).
  void ConnectRowActions();
  std::vector<int> SelectedResultRows() const;

  Form1 form_;
  ReportListView* list_view1_ = nullptr;
  ReportListView* list_view2_ = nullptr;
  ProgressBarView* progress_bar1_ = nullptr;
  QPushButton* buttons_[14] = {};
  QPushButton* columns_button_ = nullptr;
  QPushButton* stop_button_ = nullptr;
  QGroupBox* files_box_ = nullptr;
  QPushButton* playlist_button_ = nullptr;
  QLineEdit* filter_field_ = nullptr;
  QLabel* filter_caption_ = nullptr;
  QString shown_filter_problem_;  // what the field last showed, so an unchanged state costs nothing
  QPushButton* report_button_ = nullptr;
  std::optional<QCursor> hover_cursor_;
};
