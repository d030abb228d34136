#include "app/ui/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPixmap>
#include <QProgressDialog>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "app/art/ProgramArt.h"
#include "app/ui/LibraryReportDialog.h"
#include "app/ui/ProgressBarView.h"
#include "batch/Counts.h"
#include "platform/StepFailure.h"

namespace {

/// The file list's rows are plain paths: no check box is drawn or toggled.
class PlainRowDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->features &= ~QStyleOptionViewItem::HasCheckIndicator;
  }
  bool editorEvent(QEvent*, QAbstractItemModel*, const QStyleOptionViewItem&,
                   const QModelIndex&) override {
    return false;
  }
};

std::string Utf8(const QString& text) { return text.toUtf8().toStdString(); }

}  // namespace

MainWindow::MainWindow(Services& services, const QString& program_folder, QWidget* parent)
    : QMainWindow(parent), form_(services, *this, program_folder) {
  setObjectName(QStringLiteral("Form1"));
  BuildLayout();
  connect(&form_.MousePointer, &WindowPointer::ShapeChanged, this, &MainWindow::ShowPointer);
  // Stop is offered while a run or a scan works, when the pointer shows it busy.
  connect(&form_.MousePointer, &WindowPointer::ShapeChanged, this,
          [this] { stop_button_->setEnabled(form_.MousePointer.IsBusy()); });
  form_.Form_Load();
  RestoreGeometry();
  // A filter remembered from the last session shows, and applies to the rows of the next run.
  const QSignalBlocker quiet(filter_field_);
  filter_field_->setText(form_.ResultFilterText());
  ShowFilterState();
}

MainWindow::~MainWindow() = default;

QPushButton* MainWindow::MakeButton(int number, const QString& caption, void (Form1::*handler)()) {
  auto* button = new QPushButton(caption, this);
  button->setObjectName(QStringLiteral("PushButton%1").arg(number));
  button->setAutoDefault(false);
  button->installEventFilter(this);
  connect(button, &QPushButton::clicked, this, [this, handler] { (form_.*handler)(); });
  buttons_[number] = button;
  return button;
}

QPushButton* MainWindow::PushButton(int number) const {
  return number >= 1 && number <= 13 ? buttons_[number] : nullptr;
}

void MainWindow::AddShortcuts() {
  // The desktop's keys for the main actions, beside each button's Alt mnemonic.
  const auto add = [this](const QKeySequence& keys, QPushButton* button) {
    auto* shortcut = new QShortcut(keys, this);
    connect(shortcut, &QShortcut::activated, button, [button] {
      if (button->isEnabled() && button->isVisible()) button->click();
    });
    button->setToolTip(button->toolTip().isEmpty()
                           ? keys.toString(QKeySequence::NativeText)
                           : button->toolTip() + QStringLiteral(" (") +
                                 keys.toString(QKeySequence::NativeText) + u')');
  };
  add(QKeySequence::Open, buttons_[4]);
  add(QKeySequence(Qt::Key_F5), buttons_[10]);
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), buttons_[6]);
  add(QKeySequence::Save, buttons_[1]);
  add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S), buttons_[13]);
  add(QKeySequence::HelpContents, buttons_[9]);
}

QPushButton* MainWindow::MakeReportButton() {
  report_button_ = new QPushButton(QStringLiteral("Library report"), this);
  report_button_->setObjectName(QStringLiteral("LibraryReportButton"));
  report_button_->setAutoDefault(false);
  report_button_->setToolTip(
      QStringLiteral("What is wrong, missing, inconsistent or duplicated in the files read"));
  report_button_->installEventFilter(this);
  connect(report_button_, &QPushButton::clicked, this, [this] { ShowLibraryReport(); });
  return report_button_;
}

void MainWindow::ShowLibraryReport() {
  std::optional<LibraryReport::Made> made = form_.MakeLibraryReport();
  if (!made) return;
  QString note;
  if (!made->lacking.isEmpty())
    note = QStringLiteral(
               "The table lacks %1: the rules that need them said nothing. Add them "
               "with Columns… and run again to check them too.")
               .arg(made->lacking.join(QStringLiteral(", ")));
  OpenLibraryReport(std::make_shared<LibraryReport::Made>(std::move(*made)), note);
}

void MainWindow::OpenLibraryReport(std::shared_ptr<LibraryReport::Made> made_rows,
                                   const QString& note) {
  auto* dialog = new LibraryReportDialog(made_rows->report, note, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &LibraryReportDialog::FileChosen, this, [this, made_rows](const QString& path) {
    if (const int row = LibraryReport::RowOf(*made_rows, path); row > 0) {
      form_.ListView2.SetSelectedRow(row);
      list_view2_->EnsureVisible(row);
    }
  });
  connect(dialog, &LibraryReportDialog::CheckAudioAsked, this, [this, dialog, made_rows, note] {
    // Like a run: read by a worker, with progress, and Stop leaves the report as it was.
    auto check = std::make_shared<LibraryReport::AudioCheck>(*made_rows, true, true);
    auto* progress =
        new QProgressDialog(QStringLiteral("Checking the audio…"), QStringLiteral("Stop"), 0,
                            static_cast<int>(check->Total()), dialog);
    progress->setObjectName(QStringLiteral("AudioCheckProgress"));
    progress->setAttribute(Qt::WA_DeleteOnClose);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(500);
    progress->setAutoReset(false);
    progress->setAutoClose(false);
    connect(progress, &QProgressDialog::canceled, progress, [check] { check->Stop(); });
    auto* poll = new QTimer(progress);
    connect(poll, &QTimer::timeout, progress,
            [this, dialog, made_rows, note, check, progress, poll] {
              if (!check->Finished()) {
                progress->setValue(static_cast<int>(check->Done()));
                return;
              }
              poll->stop();
              std::optional<LibraryReport::Made> checked = check->Result();
              const bool stopped = progress->wasCanceled() || !checked;
              progress->close();
              if (stopped) return;
              *made_rows = std::move(*checked);
              dialog->close();
              OpenLibraryReport(made_rows, note);
            });
    poll->start(50);
  });
  dialog->show();
}

void MainWindow::BuildLayout() {
  resize(1100, 720);
  // The width is the layout's: a window narrower than its buttons would cut their captions.
  setMinimumHeight(420);

  list_view1_ = new ReportListView(form_.ListView1, this);
  list_view1_->setObjectName(QStringLiteral("ListView1"));
  list_view1_->setItemDelegate(new PlainRowDelegate(list_view1_));
  list_view2_ = new ReportListView(form_.ListView2, this);
  list_view2_->setObjectName(QStringLiteral("ListView2"));
  ConnectListEvents();
  progress_bar1_ = new ProgressBarView(form_.ProgressBar1, this);
  progress_bar1_->setObjectName(QStringLiteral("ProgressBar1"));

  QPushButton* add_files =
      MakeButton(4, QStringLiteral("&Add MP3 File(s)"), &Form1::PushButton4_Click);
  QPushButton* add_folder =
      MakeButton(3, QStringLiteral("Add All MP3 File(s) In &Folder"), &Form1::PushButton3_Click);
  QPushButton* samples =
      MakeButton(8, QStringLiteral("Load &Sample/Example Files"), &Form1::PushButton8_Click);
  QPushButton* clear_list = MakeButton(7, QStringLiteral("Clear &List"), &Form1::PushButton7_Click);
  QPushButton* start =
      MakeButton(10, QStringLiteral("S&tart Extracting Tags"), &Form1::PushButton10_Click);
  QPushButton* old = MakeButton(2, QStringLiteral("Old"), &Form1::PushButton2_Click);
  QPushButton* copy =
      MakeButton(6, QStringLiteral("&Copy Results To Clipboard"), &Form1::PushButton6_Click);
  QPushButton* save_text =
      MakeButton(1, QStringLiteral("Save Results As Te&xt File"), &Form1::PushButton1_Click);
  QPushButton* save_excel =
      MakeButton(13, QStringLiteral("Save Results As &Excel File"), &Form1::PushButton13_Click);
  QPushButton* clear_results =
      MakeButton(5, QStringLiteral("Clear &Results"), &Form1::PushButton5_Click);
  QPushButton* help = MakeButton(9, QStringLiteral("&Help"), &Form1::PushButton9_Click);
  old->hide();
  // Additions a user turns on: the column chooser, and Stop (Esc) for a long run or scan.
  columns_button_ = new QPushButton(QStringLiteral("Col&umns…"), this);
  columns_button_->setObjectName(QStringLiteral("ColumnsButton"));
  columns_button_->setAutoDefault(false);
  columns_button_->setToolTip(QStringLiteral("Choose and order the result table's columns"));
  columns_button_->installEventFilter(this);
  connect(columns_button_, &QPushButton::clicked, this, [this] { form_.ChooseColumns(); });
  stop_button_ = new QPushButton(QStringLiteral("St&op"), this);
  stop_button_->setObjectName(QStringLiteral("StopButton"));
  stop_button_->setAutoDefault(false);
  stop_button_->setToolTip(QStringLiteral("End the run or the folder scan at the next file (Esc)"));
  stop_button_->setEnabled(false);
  stop_button_->installEventFilter(this);
  connect(stop_button_, &QPushButton::clicked, this, [this] { form_.Stop(); });
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, [this] { form_.Stop(); });
  AddShortcuts();
  start->setDefault(true);
  QFont bold = start->font();
  bold.setBold(true);
  start->setFont(bold);
  start->setMinimumHeight(start->sizeHint().height() + 8);

  // Files to read, and the buttons that fill or empty that list.
  auto* files_box = new QGroupBox(QStringLiteral("Files to read"), this);
  auto* files_buttons = new QHBoxLayout;
  files_buttons->addWidget(add_files);
  files_buttons->addWidget(add_folder);
  files_buttons->addWidget(samples);
  files_buttons->addStretch(1);
  files_buttons->addWidget(clear_list);
  auto* files_layout = new QVBoxLayout(files_box);
  files_layout->addWidget(list_view1_, 1);
  files_layout->addLayout(files_buttons);

  // The run: its button beside the bar that shows how far it has got.
  auto* run_row = new QHBoxLayout;
  run_row->addWidget(start);
  run_row->addWidget(stop_button_);
  run_row->addWidget(progress_bar1_, 1);
  run_row->addWidget(old);

  auto* top = new QWidget(this);
  auto* top_layout = new QVBoxLayout(top);
  top_layout->setContentsMargins(0, 0, 0, 0);
  top_layout->addWidget(files_box, 1);
  top_layout->addLayout(run_row);

  // The tags found, and the ways to take them out of the program.
  auto* results_box =
      new QGroupBox(QStringLiteral("Tags found (clear a row's box to leave it out)"), this);
  auto* results_buttons = new QHBoxLayout;
  results_buttons->addWidget(copy);
  results_buttons->addWidget(save_text);
  results_buttons->addWidget(save_excel);
  results_buttons->addWidget(MakeReportButton());
  results_buttons->addWidget(columns_button_);
  playlist_button_ = new QPushButton(QStringLiteral("Save as playlist…"), this);
  playlist_button_->setObjectName(QStringLiteral("PlaylistButton"));
  playlist_button_->setAutoDefault(false);
  playlist_button_->setToolTip(QStringLiteral("The rows shown and checked as an M3U playlist"));
  playlist_button_->installEventFilter(this);
  connect(playlist_button_, &QPushButton::clicked, this, [this] { form_.SavePlaylist(); });
  results_buttons->addWidget(playlist_button_);
  results_buttons->addStretch(1);
  results_buttons->addWidget(clear_results);
  auto* results_layout = new QVBoxLayout(results_box);
  results_layout->addLayout(BuildFilterRow());
  results_layout->addWidget(list_view2_, 1);
  ConnectRowActions();
  results_layout->addLayout(results_buttons);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  splitter->setChildrenCollapsible(false);
  splitter->addWidget(top);
  splitter->addWidget(results_box);
  splitter->setStretchFactor(0, 2);
  splitter->setStretchFactor(1, 3);

  auto* bottom_row = new QHBoxLayout;
  bottom_row->addStretch(1);
  bottom_row->addWidget(help);

  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);
  outer->addWidget(splitter, 1);
  outer->addLayout(bottom_row);
  setCentralWidget(central);

  // Tab goes through the window as it is laid out: the files, the run, the results, Help.
  QWidget* const order[] = {list_view1_, add_files,       add_folder,    samples, clear_list,
                            start,       stop_button_,    list_view2_,   copy,    save_text,
                            save_excel,  columns_button_, clear_results, help};
  for (size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);

  // The list's title counts the files queued.
  files_box_ = files_box;
  for (auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
    connect(&form_.ListView1, signal, this, &MainWindow::ShowQueuedCount);
  connect(&form_.ListView1, &QAbstractItemModel::modelReset, this, &MainWindow::ShowQueuedCount);

  // The background's pointer rule needs moves over the containers, not only over buttons.
  for (QWidget* w : std::initializer_list<QWidget*>{central, top, files_box, results_box, splitter,
                                                    progress_bar1_}) {
    w->setMouseTracking(true);
    w->installEventFilter(this);
  }
}

void MainWindow::KeepUserColumnWidths() {
  const QHeaderView* header = list_view2_->header();
  const int dpi = std::max(list_view2_->logicalDpiX(), 1);
  for (int c = 1; c <= form_.ListView2.ColumnCount(); ++c) {
    const int pixels = header->sectionSize(c - 1);
    if (pixels != ReportListView::TwipsToPixels(form_.ListView2.ColumnWidth(c), dpi))
      form_.RememberColumnWidth(c, pixels * 1440 / dpi);
  }
}

QLayout* MainWindow::BuildFilterRow() {
  filter_field_ = new QLineEdit(this);
  filter_field_->setObjectName(QStringLiteral("ResultFilter"));
  filter_field_->setPlaceholderText(
      QStringLiteral("Filter (Ctrl+F): words, column:word, column=, bitrate<128, -term, OR"));
  filter_field_->setClearButtonEnabled(true);
  filter_field_->installEventFilter(this);
  filter_caption_ = new QLabel(this);
  filter_caption_->setObjectName(QStringLiteral("FilterCaption"));
  auto* focus = new QShortcut(QKeySequence::Find, this);
  connect(focus, &QShortcut::activated, this, [this] {
    filter_field_->setFocus(Qt::ShortcutFocusReason);
    filter_field_->selectAll();
  });
  connect(filter_field_, &QLineEdit::textChanged, this, [this](const QString& text) {
    form_.SetResultFilter(text);
    ShowFilterState();
    ShowSortIndicator();
  });
  ReportListModel* results = &form_.ListView2;
  connect(results, &QAbstractItemModel::modelReset, this, &MainWindow::ShowFilterState);
  connect(results, &QAbstractItemModel::rowsRemoved, this, &MainWindow::ShowFilterState);
  connect(results, &QAbstractItemModel::rowsInserted, this, &MainWindow::ShowFilterState);
  auto* row = new QHBoxLayout;
  row->addWidget(filter_field_, 1);
  row->addWidget(filter_caption_);
  return row;
}

std::vector<int> MainWindow::SelectedResultRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : list_view2_->selectionModel()->selectedRows())
    rows.push_back(index.row() + 1);
  std::sort(rows.begin(), rows.end());
  return rows;
}

void MainWindow::ConnectRowActions() {
  ReportListView* results = list_view2_;
  results->setSelectionMode(QAbstractItemView::ExtendedSelection);
  struct Action {
    QString caption;
    QKeySequence keys;
    void (Form1::*act)(const std::vector<int>&);
  };
  const std::vector<Action> actions = {
      {QStringLiteral("Open in Player"), QKeySequence(Qt::Key_Return), &Form1::OpenResultFiles},
      {QStringLiteral("Show in File Manager"), QKeySequence(Qt::CTRL | Qt::Key_E),
       &Form1::ShowResultFiles},
      {QStringLiteral("Copy Full Path"), QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_C),
       &Form1::CopyResultPaths},
      {QStringLiteral("Read Again"), QKeySequence(Qt::CTRL | Qt::Key_R), &Form1::RereadResultRows},
      {QStringLiteral("Remove from Table"), QKeySequence(Qt::SHIFT | Qt::Key_Delete),
       &Form1::RemoveResultRows},
  };
  auto* menu = new QMenu(results);
  menu->setObjectName(QStringLiteral("ResultRowMenu"));
  for (const Action& action : actions) {
    QAction* item = menu->addAction(action.caption);
    item->setShortcut(action.keys);
    item->setShortcutContext(Qt::WidgetShortcut);
    results->addAction(item);
    connect(item, &QAction::triggered, this,
            [this, act = action.act] { (form_.*act)(SelectedResultRows()); });
  }
  results->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(results, &QWidget::customContextMenuRequested, this, [this, menu](const QPoint& at) {
    if (SelectedResultRows().empty()) return;
    menu->popup(list_view2_->viewport()->mapToGlobal(at));
  });
}

void MainWindow::ShowFilterState() {
  filter_caption_->setText(form_.ResultFilterCaption());
  const QString& problem = form_.ResultFilterProblem();
  // This runs for every row a run adds: a style sheet set again, even the same, polishes the
  // field anew, which took most of the window's time in a run.
  if (problem == shown_filter_problem_) return;
  shown_filter_problem_ = problem;
  filter_field_->setToolTip(problem);
  filter_field_->setStyleSheet(problem.isEmpty() ? QString()
                                                 : QStringLiteral("border: 2px solid #d00000;"));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::MouseButtonRelease && list_view2_ != nullptr &&
      watched == list_view2_->header()->viewport())
    KeepUserColumnWidths();
  // Esc in the filter field empties it; with the field empty, Esc stops a run as anywhere else.
  if (watched == filter_field_ && (type == QEvent::ShortcutOverride || type == QEvent::KeyPress) &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !filter_field_->text().isEmpty()) {
    event->accept();
    if (type == QEvent::KeyPress) filter_field_->clear();
    return type == QEvent::KeyPress;
  }
  if (type == QEvent::Enter || type == QEvent::MouseMove) {
    // A button takes only the moves made with a mouse button held; a plain move over it goes on
    // to its container. So the widget under the pointer decides, not the one the event reached.
    QWidget* under = qobject_cast<QWidget*>(watched);
    if (under != nullptr && qobject_cast<QPushButton*>(under) == nullptr) {
      const auto* at = dynamic_cast<const QSinglePointEvent*>(event);
      if (QWidget* child = at ? under->childAt(at->position().toPoint()) : nullptr) under = child;
    }
    // A disabled button takes no click, so it offers no hand either.
    if (const auto* button = qobject_cast<QPushButton*>(under);
        button != nullptr && button->isEnabled()) {
      form_.PushButton_MouseMove();
    } else {
      form_.Form_MouseMove();
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::ShowQueuedCount() {
  const int files = form_.ListView1.RowCount();
  files_box_->setTitle(
      files == 0 ? QStringLiteral("Files to read")
                 : QStringLiteral("Files to read: ") +
                       Counts::Of(files, QStringLiteral("file"), QStringLiteral("files")));
}

void MainWindow::ShowPointer(Pointer shape) {
  switch (shape) {
    case Pointer::Busy:
      setCursor(Qt::WaitCursor);
      break;
    case Pointer::Hover:
      setCursor(hover_cursor_.value_or(QCursor(Qt::ArrowCursor)));
      break;
    case Pointer::Default:
      setCursor(Qt::ArrowCursor);
      break;
  }
}

void MainWindow::RestoreGeometry() {
  // The first size fits the screen; a size and place from an earlier session come back.
  if (const QScreen* shown_on = screen()) {
    const QRect room = shown_on->availableGeometry();
    resize(std::min(width(), room.width()), std::min(height(), room.height()));
  }
  const QString stored =
      form_.services().settings.Read(QString::fromUtf16(kGeometryKey), QString());
  if (!stored.isEmpty()) restoreGeometry(QByteArray::fromBase64(stored.toLatin1()));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  form_.services().settings.Write(QString::fromUtf16(kGeometryKey),
                                  QString::fromLatin1(saveGeometry().toBase64()));
  // An action yielding now stops at its next yield; the window itself lives on until the event
  // loop has ended, so that action never touches a destroyed window.
  form_.Form_Unload();
  event->accept();
}

void MainWindow::ApplySkin(const QString& skin_path) {
  QFile file(skin_path);
  if (!file.open(QIODevice::ReadOnly))
    throw StepFailure("The skin could not be read: " + Utf8(file.errorString()));
  const QString sheet = QString::fromUtf8(file.readAll());
  QPalette colours = palette();
  colours.setColor(QPalette::Window, colours.color(QPalette::Button));
  setPalette(colours);
  setStyleSheet(sheet);
}

void MainWindow::SetCaption(const QString& caption) { setWindowTitle(caption); }

void MainWindow::ShowProgramIcon() { setWindowIcon(ProgramArt::ProgramIcon()); }

void MainWindow::LoadHoverPicture(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly))
    throw StepFailure("The pointer file could not be read: " + Utf8(file.errorString()));
  const QByteArray bytes = file.readAll();
  QPixmap picture;
  if (!picture.loadFromData(bytes)) throw StepFailure("Invalid picture: " + Utf8(path));
  const QPoint hotspot = ProgramArt::CursorHotspot(bytes);
  // On a scaled screen the hand grows with the arrow, which the desktop draws at that scale.
  const qreal scale = devicePixelRatioF();
  if (scale > 1) {
    picture = picture.scaled(picture.size() * scale, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    picture.setDevicePixelRatio(scale);
  }
  hover_cursor_ = QCursor(picture, hotspot.x(), hotspot.y());
}

void MainWindow::ConnectListEvents() {
  ReportListView* files = list_view1_;
  files->setToolTip(
      QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | line to "
                     "right and out of window to reveal full names."));
  files->AcceptFileDrops();
  files->SetDragPicture(form_.ProgramFolder() + QStringLiteral("/drag.ico"));
  form_.AttachFileListView(*files);
  connect(files, &ReportListView::MouseDown, this, [this] { form_.ListView1_MouseDown(); });
  connect(files, &ReportListView::RowClicked, this, [this] { form_.ListView1_ItemClick(); });
  connect(files, &ReportListView::PointerMoved, this,
          [this](int x, int y, int screen_y) { form_.ListView1_MouseMove(x, y, screen_y); });
  connect(files, &ReportListView::MouseUp, this, [this] { form_.ListView1_MouseUp(); });
  connect(files, &ReportListView::DoubleClicked, this, [this] { form_.ListView1_DblClick(); });
  connect(files, &ReportListView::KeyDown, this,
          [this](int key_code) { form_.ListView1_KeyDown(key_code); });
  connect(files, &ReportListView::FilesDropped, this,
          [this](const QStringList& paths) { form_.ListView1_OLEDragDrop(paths); });

  ReportListView* results = list_view2_;
  results->setToolTip(
      QStringLiteral("Move | line to right and out of window to reveal full names."));
  results->viewport()->setMouseTracking(true);
  connect(results, &ReportListView::KeyDown, this,
          [this](int key_code) { form_.ListView2_KeyDown(key_code); });
  connect(results, &ReportListView::PointerMoved, this, [this] { form_.ListView2_MouseMove(); });

  // A header click sorts (up, down, then the run's order); its menu offers the chooser.
  QHeaderView* header = results->header();
  header->setSectionsClickable(true);
  connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
    form_.SortResultsBy(section + 1);
    ShowSortIndicator();
  });
  connect(&form_.ListView2, &QAbstractItemModel::modelReset, this, &MainWindow::ShowSortIndicator);
  connect(&form_.ListView2, &QAbstractItemModel::layoutChanged, this,
          &MainWindow::ShowSortIndicator);
  // A width the user gives a column is kept for that column, in this session and the next: the
  // header's widths are compared with the table's when the user lets go of the header.
  header->viewport()->installEventFilter(this);
  header->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header, &QWidget::customContextMenuRequested, this, [this, header](const QPoint& at) {
    QMenu menu(header);
    QAction* choose = menu.addAction(QStringLiteral("Columns…"));
    choose->setEnabled(!form_.ExtractionRunning);
    QAction* summary = menu.addAction(QStringLiteral("Copy Folder Summary"));
    summary->setEnabled(!form_.ExtractionRunning);
    menu.addSeparator();
    QAction* remember = menu.addAction(QStringLiteral("Remember Files Between Runs"));
    remember->setCheckable(true);
    remember->setChecked(form_.RememberFiles());
    remember->setEnabled(!form_.ExtractionRunning);
    QAction* forget = menu.addAction(QStringLiteral("Forget Remembered Files"));
    forget->setEnabled(!form_.ExtractionRunning);
    QAction* picked = menu.exec(header->mapToGlobal(at));
    if (picked == choose) form_.ChooseColumns();
    if (picked == summary) form_.CopySummary();
    if (picked == remember) form_.SetRememberFiles(remember->isChecked());
    if (picked == forget) form_.ForgetFiles();
  });
  ShowSortIndicator();
}

void MainWindow::ShowSortIndicator() {
  QHeaderView* header = list_view2_->header();
  // A click during a run shows at once the sort that comes when the run ends.
  const int column = form_.PendingSort() > 0 ? form_.PendingSort() : form_.SortColumn();
  header->setSortIndicatorShown(column > 0);
  if (column > 0)
    header->setSortIndicator(column - 1,
                             form_.SortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}
