#include "app/Form1.h"

#include <QDir>
#include <QFile>
#include <utility>

#include "batch/ColumnCatalogue.h"
#include "batch/ResultSort.h"
#include "batch/ShellPropertyRun.h"
#include "export/ClipboardCopy.h"
#include "export/ResultTable.h"
#include "export/SpreadsheetExport.h"
#include "export/TextExport.h"
#include "legacy/IconvLegacyText.h"

namespace {

Services WithEventLoop(const Services& s, EventLoop& events) {
  return Services{s.ui,   s.settings, s.clipboard,   s.desktop, s.random,
                  events, s.files,    s.spreadsheet, s.shell};
}

}  // namespace

Form1::Form1(Services& services, MainWindowPort& window, QString program_folder)
    : events_(services.events),
      services_(WithEventLoop(services, events_)),
      window_(window),
      program_folder_(std::move(program_folder)),
      errors_(services.ui),
      form_load_(program_folder_, window_, ListView1, ListView2, services_.ui, services_.files,
                 services_.random, services_.desktop, errors_),
      sample_files_(ListView1, program_folder_, services_.ui, services_.files, services_.desktop,
                    errors_),
      extraction_run_(ListView1, ListView2, ProgressBar1, MousePointer, ExtractionRunning,
                      services_.ui, services_.events, errors_),
      folder_scan_(services_.ui, services_.settings, services_.files, services_.events, ListView1,
                   MousePointer, errors_),
      file_list_(services_.ui, services_.files, services_.events, ListView1, ListView2,
                 file_list_view_, MousePointer, errors_),
      result_filter_(ListView2, ProgressBar1, services_.events) {
  ProgressBar1.SetCaption(QStringLiteral("Progress Bar"));
  extraction_run_.SetStopFlag(&stop_requested_);
  extraction_run_.SetFolderTotals(&folder_totals_);
  folder_totals_.KeepFiles(true);
  folder_scan_.SetStopFlag(&stop_requested_);
  folder_scan_.SetProgress(&ProgressBar1);
  legacy_text_ = QString::fromLatin1(LegacyText::kDefault);
  // A new run, "Clear Results" or a removal leaves the order the sort gave; the header forgets.
  QObject::connect(&ListView2, &QAbstractItemModel::modelReset, [this] {
    sort_column_ = 0;
    ShowUnreadColumns();
  });
}

void Form1::ShowUnreadColumns() {
  const QString note = ReportListModel::kUnreadNote.toString();
  if (ListView2.HasUnreadColumns())
    ProgressBar1.SetCaption(note);
  else if (ProgressBar1.Caption() == note)
    ProgressBar1.SetCaption(QStringLiteral("Progress Bar"));
}

// ---- Window events --------------------------------------------------------------------------

void Form1::Form_Load() {
  form_load_.Run();
  // Widths the user gave columns in an earlier session: "Title=2400;Artist=1800".
  const QString widths = services_.settings.Read(QString::fromUtf16(kColumnWidthsKey), QString());
  for (const QString& pair : widths.split(u';', Qt::SkipEmptyParts)) {
    const qsizetype equals = pair.lastIndexOf(u'=');
    bool ok = false;
    const int twips = equals > 0 ? pair.mid(equals + 1).toInt(&ok) : 0;
    if (ok && twips > 0) column_widths_[pair.left(equals)] = twips;
  }
  ApplyRememberedWidths();
  // A choice of columns made in an earlier session; none stored keeps the default table.
  const QString stored = services_.settings.Read(QString::fromUtf16(kColumnsKey), QString());
  if (!stored.isEmpty()) {
    const QStringList chosen = ColumnCatalogue::Split(stored);
    if (!ColumnCatalogue::IsDefault(chosen)) ApplyColumns(chosen);
  }
  // A code page that no longer converts (the system lost it) falls back to the default.
  const QString legacy = services_.settings.Read(QString::fromUtf16(kLegacyTextKey), QString());
  if (!legacy.isEmpty()) {
    std::string problem;
    auto decoder = LegacyText::DecoderFor(legacy.toStdString(), problem);
    if (problem.empty()) {
      legacy_text_ = legacy;
      extraction_run_.SetLegacyTextDecoder(std::move(decoder));
    }
  }
  summary_sheet_ = services_.settings.Read(QString::fromUtf16(kSummarySheetKey), QString()) == u"1";
  const QString filter = services_.settings.Read(QString::fromUtf16(kFilterKey), QString());
  if (!filter.isEmpty()) result_filter_.SetText(filter);
  remember_files_ =
      services_.settings.Read(QString::fromUtf16(kRememberFilesKey), QString()) == u"1";
  if (remember_files_) OpenIndex();
  ApplyEveryFormat(services_.settings.Read(QString::fromUtf16(kEveryFormatKey), QString()) == u"1");
}

bool Form1::SetResultFilter(const QString& text) {
  if (text != result_filter_.Text()) services_.settings.Write(QString::fromUtf16(kFilterKey), text);
  if (ExtractionRunning) {
    // The rows a run adds are filtered once it ends.
    result_filter_.Remember(text);
    return true;
  }
  const int column = sort_column_;
  const bool descending = sort_descending_;
  const ResultFilter::Outcome outcome = result_filter_.SetText(text);
  if (outcome == ResultFilter::Outcome::kApplied && column > 0 &&
      column <= ListView2.ColumnCount()) {
    ResultSort::Sort(
        ListView2, column,
        descending ? ResultSort::Direction::kDescending : ResultSort::Direction::kAscending);
    sort_column_ = column;
    sort_descending_ = descending;
  }
  return outcome != ResultFilter::Outcome::kProblem;
}

void Form1::ReapplyFilter() {
  if (!result_filter_.Text().trimmed().isEmpty()) SetResultFilter(result_filter_.Text());
}

QString Form1::IndexPath() {
  QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
  // XDG_CACHE_HOME counts only when it is an absolute path.
  if (!cache.startsWith(u'/')) cache = QDir::homePath() + QStringLiteral("/.cache");
  return cache + QStringLiteral("/tagloom/index.db");
}

void Form1::OpenIndex() {
  extraction_run_.SetIndex(nullptr);
  index_.reset();
  const QString path = IndexPath();
  // Only its owner may look into the folder: the index holds the paths of the user's files.
  const QString folder = path.left(path.lastIndexOf(u'/'));
  QDir().mkpath(folder);
  QFile::setPermissions(folder,
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
  std::weak_ptr<std::pair<std::mutex, QStringList>> notes = index_notes_;
  index_ = ReadIndex::Open(QFile::encodeName(path).toStdString(), [notes](const std::string& text) {
    if (const auto kept = notes.lock()) {
      std::lock_guard lock(kept->first);
      kept->second.append(QString::fromStdString(text));
    }
  });
  extraction_run_.SetIndex(index_.get());
  TellIndexNotes();
}

void Form1::TellIndexNotes() {
  QStringList notes;
  {
    std::lock_guard lock(index_notes_->first);
    notes.swap(index_notes_->second);
  }
  for (const QString& note : notes) services_.ui.Message(note);
}

void Form1::SetRememberFiles(bool on) {
  if (on == remember_files_ || ExtractionRunning) return;
  remember_files_ = on;
  services_.settings.Write(QString::fromUtf16(kRememberFilesKey),
                           on ? QStringLiteral("1") : QStringLiteral("0"));
  if (on) {
    OpenIndex();
  } else {
    extraction_run_.SetIndex(nullptr);
    index_.reset();
  }
}

bool Form1::ForgetFiles() {
  if (ExtractionRunning) return false;
  extraction_run_.SetIndex(nullptr);
  index_.reset();
  const QString path = IndexPath();
  for (const char* end : {"", "-wal", "-shm", ".damaged"}) QFile::remove(path + end);
  if (remember_files_) OpenIndex();
  return true;
}

void Form1::SetEveryFormat(bool on) {
  if (on == every_format_ || ExtractionRunning) return;
  services_.settings.Write(QString::fromUtf16(kEveryFormatKey),
                           on ? QStringLiteral("1") : QStringLiteral("0"));
  ApplyEveryFormat(on);
}

void Form1::SetOtherFormatReader(std::shared_ptr<const OtherFormatReader> reader) {
  other_formats_ = std::move(reader);
  ApplyEveryFormat(every_format_);
}

void Form1::ApplyEveryFormat(bool on) {
  // Without a reader (a window built without TagLib) the setting is kept but MP3 stays alone.
  every_format_ = on;
  extraction_run_.SetOtherFormatReader(on ? other_formats_ : nullptr);
  folder_scan_.SetEveryFormat(on);
  file_list_.SetEveryFormat(on);
}

void Form1::SetSummarySheet(bool on) {
  if (on == summary_sheet_) return;
  summary_sheet_ = on;
  services_.settings.Write(QString::fromUtf16(kSummarySheetKey),
                           on ? QStringLiteral("1") : QStringLiteral("0"));
}

void Form1::FillSummaryTable(ReportListModel& table) const {
  if (!totals_of_rows_ ||
      (ListView2.SetAsideCount() == 0 && result_filter_.Text().trimmed().isEmpty())) {
    folder_totals_.FillTable(table);
    return;
  }
  std::vector<bool> shown(folder_totals_.FilesKept(), false);
  for (int row = 1; row <= ListView2.RowCount(); ++row)
    if (const auto arrival = static_cast<size_t>(ListView2.Arrival(row)); arrival < shown.size())
      shown[arrival] = true;
  folder_totals_.Part(shown).FillTable(table);
}

void Form1::CopySummary() {
  ReportListModel summary;
  FillSummaryTable(summary);
  SummaryCopy(summary, services_.clipboard, services_.events, services_.ui, errors_).Run();
}

bool Form1::SetLegacyText(const QString& setting) {
  if (ExtractionRunning) return false;
  std::string problem;
  auto decoder = LegacyText::DecoderFor(setting.trimmed().toStdString(), problem);
  if (!problem.empty()) return false;
  legacy_text_ = LegacyText::IsDefault(setting.trimmed().toStdString())
                     ? QString::fromLatin1(LegacyText::kDefault)
                     : setting.trimmed();
  extraction_run_.SetLegacyTextDecoder(std::move(decoder));
  services_.settings.Write(QString::fromUtf16(kLegacyTextKey), legacy_text_);
  return true;
}

void Form1::ApplyColumns(const QStringList& headers) {
  ShowColumns(headers);
  extraction_run_.SetColumns(headers);
}

QStringList Form1::Headers(const ReportListModel& list) {
  QStringList headers;
  for (int c = 1; c <= list.ColumnCount(); ++c) headers.append(list.Header(c));
  return headers;
}

QStringList Form1::ReadHeaders(const ReportListModel& list) {
  QStringList headers;
  for (int c = 1; c <= list.ColumnCount(); ++c)
    if (!list.ColumnUnread(c)) headers.append(list.Header(c));
  return headers;
}

void Form1::RememberColumnWidth(int column, int twips) {
  if (column < 1 || column > ListView2.ColumnCount() || twips <= 0) return;
  const QString header = ListView2.Header(column);
  if (column_widths_.value(header) == twips) return;
  column_widths_[header] = twips;
  ListView2.SetColumnWidth(column, twips);
  QStringList pairs;
  for (auto at = column_widths_.cbegin(); at != column_widths_.cend(); ++at)
    pairs.append(at.key() + u'=' + QString::number(at.value()));
  services_.settings.Write(QString::fromUtf16(kColumnWidthsKey), pairs.join(u';'));
}

void Form1::ApplyRememberedWidths() {
  for (int c = 1; c <= ListView2.ColumnCount(); ++c) {
    const auto at = column_widths_.constFind(ListView2.Header(c));
    if (at != column_widths_.cend() && *at != ListView2.ColumnWidth(c))
      ListView2.SetColumnWidth(c, *at);
  }
}

void Form1::ShowColumns(const QStringList& headers) {
  std::vector<std::optional<int>> widths;
  for (const QString& header : headers) {
    const ColumnCatalogue::Column* column = ColumnCatalogue::Find(header);
    const auto remembered = column_widths_.constFind(header);
    widths.push_back(remembered != column_widths_.cend() ? std::optional<int>(*remembered)
                     : column                            ? column->width_twips
                                                         : std::nullopt);
  }
  ListView2.ReplaceColumns(headers, widths);
  ColumnCatalogue::MarkListColumns(ListView2);
}

bool Form1::SetResultColumns(const QStringList& headers) {
  if (ExtractionRunning) return false;
  QString problem;
  const std::optional<QStringList> chosen = ColumnCatalogue::Resolve(headers, problem);
  if (!chosen) return false;
  ApplyColumns(*chosen);
  services_.settings.Write(QString::fromUtf16(kColumnsKey), ColumnCatalogue::Join(*chosen));
  ReapplyFilter();
  return true;
}

void Form1::ChooseColumns() {
  if (ExtractionRunning) return;
  ColumnChoiceRequest request;
  for (const ColumnCatalogue::Column& column : ColumnCatalogue::All()) {
    request.headers.append(column.header);
    request.groups.append(column.group);
  }
  request.chosen = extraction_run_.Columns();
  request.defaults = ColumnCatalogue::DefaultHeaders();
  request.legacy_text = legacy_text_;
  request.summary_sheet = summary_sheet_;
  request.every_format = every_format_;
  const ColumnChoice choice = services_.ui.ChooseColumns(request);
  if (choice.columns.isEmpty()) return;
  // Only what changed is stored: a choice left as it was writes nothing.
  if (choice.columns != extraction_run_.Columns()) SetResultColumns(choice.columns);
  if (!choice.legacy_text.isEmpty() && choice.legacy_text != legacy_text_)
    SetLegacyText(choice.legacy_text);
  SetSummarySheet(choice.summary_sheet);
  SetEveryFormat(choice.every_format);
}

std::optional<LibraryReport::Made> Form1::MakeLibraryReport() {
  if (ExtractionRunning) return std::nullopt;
  if (ListView2.RowCount() == 0) {
    services_.ui.Message(QStringLiteral(
        "Start Extracting Tags first: the report is made from the rows of the last run."));
    return std::nullopt;
  }
  return LibraryReport::FromTables(ListView1, ListView2, {}, extraction_run_.ReportFacts());
}

bool Form1::Stop() {
  if (!ExtractionRunning && !MousePointer.IsBusy()) return false;
  stop_requested_ = true;
  return true;
}

bool Form1::SortResultsBy(int column) {
  if (column < 1 || column > ListView2.ColumnCount()) return false;
  // Rows still arrive in the run's order; the click is kept and sorts once the run ends.
  if (ExtractionRunning) {
    pending_sort_ = column;
    return false;
  }
  // The state first: the view asks for it when the rows have moved.
  if (column != sort_column_) {
    sort_column_ = column;
    sort_descending_ = false;
    ResultSort::Sort(ListView2, column, ResultSort::Direction::kAscending);
  } else if (!sort_descending_) {
    sort_descending_ = true;
    ResultSort::Sort(ListView2, column, ResultSort::Direction::kDescending);
  } else {
    sort_column_ = 0;
    sort_descending_ = false;
    ListView2.ReorderRows(ListView2.ArrivalOrder());
  }
  return true;
}

void Form1::SetReadJobs(int jobs) {
  read_jobs_ = jobs;
  extraction_run_.SetJobs(jobs);
}

void Form1::Form_Unload() { events_.SetClosing(); }

void Form1::Form_MouseMove() { MousePointer.SetDefault(); }

void Form1::PushButton_MouseMove() { MousePointer.SetHover(); }

// ---- PushButton1: "Save Results As Text File" -----------------------------------------------

void Form1::PushButton1_Click() {
  TextFileExport(ListView2, ProgressBar1, MousePointer, services_.ui, {services_.events, errors_})
      .Run();
  ShowUnreadColumns();
}

// ---- PushButton2: "Old" (hidden) ------------------------------------------------------------

void Form1::PushButton2_Click() {
  // "Old" fills the default columns by position; a chosen set comes back with the next run.
  if (!ExtractionRunning && !ColumnCatalogue::IsDefault(Headers(ListView2)))
    ShowColumns(ColumnCatalogue::DefaultHeaders());
  ShellPropertyRun run(ListView1, ListView2, ProgressBar1, MousePointer, services_.ui,
                       services_.events, services_.shell, errors_);
  run.SetStopFlag(&stop_requested_);
  run.SetJobs(read_jobs_);
  if (!ExtractionRunning) {
    result_paths_ = ListView1.AllCells();
    totals_of_rows_ = false;
    result_filter_.SetKeptCells({}, nullptr);
  }
  run.Start();
  ReapplyFilter();
}

// ---- PushButton3: "Add All MP3 File(s) In Folder" -------------------------------------------

void Form1::PushButton3_Click() {
  const int before = ListView1.RowCount();
  folder_scan_.QueueFolder();
  // The last row, then the first one added: the new rows show from their start.
  if (!Closing() && ListView1.RowCount() > before) {
    file_list_view_.EnsureVisible(ListView1.RowCount());
    file_list_view_.EnsureVisible(before + 1);
  }
}

// ---- PushButton4: "Add MP3 File(s)" ---------------------------------------------------------

void Form1::PushButton4_Click() { file_list_.AddFiles(); }

// ---- PushButton5: "Clear Results" -----------------------------------------------------------

void Form1::PushButton5_Click() { file_list_.ClearResults(); }

// ---- PushButton6: "Copy Results To Clipboard" -----------------------------------------------

void Form1::PushButton6_Click() {
  ClipboardCopy(ListView2, services_.clipboard, services_.events, services_.ui, errors_).Run();
}

// ---- PushButton7: "Clear List" --------------------------------------------------------------

void Form1::PushButton7_Click() { file_list_.ClearList(); }

// ---- PushButton8: "Load Sample/Example Files" -----------------------------------------------

void Form1::PushButton8_Click() { sample_files_.Load(); }

// ---- PushButton9: "Help" --------------------------------------------------------------------

void Form1::PushButton9_Click() { ShowHelp(services_.ui, errors_); }

// ---- PushButton10: "Start Extracting Tags" --------------------------------------------------

void Form1::PushButton10_Click() {
  if (!ExtractionRunning && Headers(ListView2) != extraction_run_.Columns())
    ShowColumns(extraction_run_.Columns());
  const bool was_running = ExtractionRunning;
  if (!was_running) {
    pending_sort_ = 0;
    result_paths_ = ListView1.AllCells();
    // A run of an empty list leaves the table and the totals as they were.
    if (ListView1.RowCount() > 0) totals_of_rows_ = true;
    // A column the filter names but the table does not show is read too, for the filter alone.
    extraction_run_.SetFilterColumns(result_filter_.ColumnsNotIn(extraction_run_.Columns()));
  }
  extraction_run_.Start();
  if (!was_running)
    result_filter_.SetKeptCells(extraction_run_.FilterColumns(), &extraction_run_.FilterCells());
  ReapplyFilter();
  TellIndexNotes();
  if (was_running || Closing() || pending_sort_ == 0) return;
  const int column = pending_sort_;
  pending_sort_ = 0;
  SortResultsBy(column);
}

// ---- PushButton13: "Save Results As Excel File" ---------------------------------------------

void Form1::PushButton13_Click() {
  SpreadsheetExport book(ListView2, services_.spreadsheet, MousePointer, services_.ui,
                         services_.events, errors_);
  const QStringList headers = ReadHeaders(ListView2);
  if (!ColumnCatalogue::IsDefault(headers))
    book.SetColumnKinds({ColumnCatalogue::NamesFile(headers), ColumnCatalogue::Durations(headers)});
  if (summary_sheet_) {
    ReportListModel summary;
    FillSummaryTable(summary);
    book.SetSummary(ResultTable::Of(summary));
  }
  book.Run();
}

// ---- List events ----------------------------------------------------------------------------

void Form1::ListView1_MouseDown() { file_list_.ReorderButtonDown(); }

void Form1::ListView1_ItemClick() { file_list_.ReorderRowClicked(); }

void Form1::ListView1_MouseMove(int x, int y, int screen_y) {
  file_list_.ReorderPointerMoved(x, y, screen_y);
}

void Form1::ListView1_MouseUp() { file_list_.ReorderButtonUp(); }

void Form1::ListView1_DblClick() { file_list_.RemoveSelectedFile(); }

void Form1::ListView1_KeyDown(int key_code) { file_list_.FileListKeyDown(key_code); }

void Form1::ListView1_OLEDragDrop(const QStringList& paths) { file_list_.DropPaths(paths); }

void Form1::ListView2_KeyDown(int key_code) { file_list_.ResultsKeyDown(key_code); }

void Form1::ListView2_MouseMove() { file_list_.PointerOverResults(); }
