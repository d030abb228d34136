#include "platform/xlsx/XlsxSpreadsheet.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/StepFailure.h"
#include "platform/xlsx/SpreadsheetApp.h"
#include "tag/FileReplacement.h"
#include "tag/TagFileSystem.h"

namespace {

// The sheet's own bounds: 1 048 576 rows, 16 384 columns, 32 767 characters a cell.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;
constexpr qsizetype kMaxCellText = 32767;

[[noreturn]] void Fail(const QString& path, const std::string& reason) {
  throw StepFailure("Cannot write the workbook '" + path.toStdString() + "': " + reason);
}

qsizetype LongestLine(const QString& text) {
  qsizetype longest = 0;
  qsizetype current = 0;
  for (QChar ch : text) {
    if (ch == u'\n' || ch == u'\r') {
      current = 0;
    } else if (!ch.isLowSurrogate()) {  // a pair shows as one character
      longest = std::max(longest, ++current);
    }
  }
  return longest;
}

QByteArray CellBytes(const QString& text) {
  QString fitted = text;
  // The library takes C strings: a NUL would end the text early without a word.
  fitted.replace(QChar(u'\0'), QChar(QChar::ReplacementCharacter));
  if (fitted.size() > kMaxCellText) {
    qsizetype keep = kMaxCellText;
    if (fitted[keep - 1].isHighSurrogate()) --keep;
    fitted.truncate(keep);
  }
  return fitted.toUtf8();
}

uint32_t ModeFor(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 0777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~static_cast<uint32_t>(mask);
}

}  // namespace

XlsxSpreadsheet::XlsxSpreadsheet(std::unique_ptr<SpreadsheetApp> app) : app_(std::move(app)) {}

XlsxSpreadsheet::~XlsxSpreadsheet() = default;

bool XlsxSpreadsheet::Available() noexcept { return app_ && app_->Registered(); }

void XlsxSpreadsheet::NewWorkbook() {
  rows_.clear();
  filter_rows_ = filter_columns_ = 0;
  longest_line_.clear();
  widths_.clear();
  earlier_.clear();
  name_.clear();
  open_ = true;
}

void XlsxSpreadsheet::RequireWorkbook() const {
  if (!open_) throw StepFailure("No workbook has been started.");
}

void XlsxSpreadsheet::SetCell(int row, int column, const QString& text) {
  Put(row, column, {text, 0, Kind::kText});
}

void XlsxSpreadsheet::SetNumber(int row, int column, double value, const QString& text) {
  Put(row, column, {text, value, Kind::kNumber});
}

void XlsxSpreadsheet::SetDuration(int row, int column, double seconds, const QString& text) {
  Put(row, column, {text, seconds / 86400, Kind::kDuration});
}

void XlsxSpreadsheet::FreezeHeaderWithFilter(int rows, int columns) {
  RequireWorkbook();
  filter_rows_ = std::clamp(rows, 0, kMaxRows);
  filter_columns_ = std::clamp(columns, 0, kMaxColumns);
}

void XlsxSpreadsheet::Put(int row, int column, Cell cell) {
  RequireWorkbook();
  const QString& text = cell.text;
  if (row < 1 || row > kMaxRows || column < 1 || column > kMaxColumns)
    throw StepFailure("The cell (row " + std::to_string(row) + ", column " +
                      std::to_string(column) + ") lies outside the sheet, which holds " +
                      std::to_string(kMaxRows) + " rows of " + std::to_string(kMaxColumns) +
                      " columns.");
  if (rows_.size() < size_t(row)) rows_.resize(size_t(row));
  std::vector<Cell>& cells = rows_[size_t(row - 1)];
  if (cells.size() < size_t(column)) cells.resize(size_t(column));
  const qsizetype length = std::min(LongestLine(text), kMaxCellText);
  cells[size_t(column - 1)] = std::move(cell);
  if (longest_line_.size() < size_t(column)) longest_line_.resize(size_t(column), 0);
  longest_line_[size_t(column - 1)] = std::max(longest_line_[size_t(column - 1)], length);
}

void XlsxSpreadsheet::SetColumnWidth(int column, double characters) {
  RequireWorkbook();
  if (column < 1 || column > kMaxColumns)
    throw StepFailure("Column " + std::to_string(column) + " lies outside the sheet.");
  if (widths_.size() < size_t(column)) widths_.resize(size_t(column), 0);
  widths_[size_t(column - 1)] = std::clamp(characters, 0.0, kMaxColumnWidth);
}

double XlsxSpreadsheet::FittedWidth(qsizetype characters) {
  if (characters <= 0) return 0;
  // Proportional text runs a little wider than the digit width that a column's unit measures.
  return std::min(kFittedWidthLimit, double(characters) * 1.1 + 1.0);
}

void XlsxSpreadsheet::AutoFitColumns() {
  RequireWorkbook();
  if (widths_.size() < longest_line_.size()) widths_.resize(longest_line_.size(), 0);
  for (size_t c = 0; c < longest_line_.size(); ++c)
    if (longest_line_[c] > 0) widths_[c] = FittedWidth(longest_line_[c]);
}

void XlsxSpreadsheet::NameSheet(const QString& name) {
  RequireWorkbook();
  static const QString kForbidden = QStringLiteral("[]:*?/\\");
  if (name.isEmpty() || name.size() > 31 ||
      std::any_of(name.begin(), name.end(), [](QChar c) { return kForbidden.contains(c); }))
    throw StepFailure("'" + name.toStdString() + "' cannot name a sheet.");
  const auto taken = [&](const Sheet& sheet) {
    return sheet.name.compare(name, Qt::CaseInsensitive) == 0;
  };
  if (std::any_of(earlier_.begin(), earlier_.end(), taken))
    throw StepFailure("The workbook already has a sheet '" + name.toStdString() + "'.");
  name_ = name;
}

void XlsxSpreadsheet::AddSheet(const QString& name) {
  RequireWorkbook();
  // The names a sheet may have: 1 to 31 characters, none of []:*?/\ and not taken.
  static const QString kForbidden = QStringLiteral("[]:*?/\\");
  if (name.isEmpty() || name.size() > 31 ||
      std::any_of(name.begin(), name.end(), [](QChar c) { return kForbidden.contains(c); }))
    throw StepFailure("'" + name.toStdString() + "' cannot name a sheet.");
  // An unnamed sheet is the library's "Sheet1".
  const auto named = [](const QString& given) {
    return given.isEmpty() ? QStringLiteral("Sheet1") : given;
  };
  bool taken = named(name_).compare(name, Qt::CaseInsensitive) == 0;
  for (const Sheet& sheet : earlier_)
    taken = taken || named(sheet.name).compare(name, Qt::CaseInsensitive) == 0;
  if (taken) throw StepFailure("The workbook already has a sheet '" + name.toStdString() + "'.");
  earlier_.push_back({name_, std::move(rows_), std::move(widths_), filter_rows_, filter_columns_});
  rows_.clear();
  filter_rows_ = filter_columns_ = 0;
  widths_.clear();
  longest_line_.clear();
  name_ = name;
}

void XlsxSpreadsheet::Save(const QString& path) {
  RequireWorkbook();
  if (path.isEmpty()) Fail(path, "no file name was given");
  std::string target = path.toStdString();
  // Through a link, the file it names is replaced and the link stays.
  if (char* real = ::realpath(target.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  // libxlsxwriter writes to a name: the new file has its hidden name from the start.
  FileReplacement replacement(TagFileSystem::PosixNamedOnly(), target);
  std::string failure;
  if (!replacement.Create(ModeFor(target), failure)) Fail(path, failure);
  const std::string temporary = replacement.New().Path();
  // Made no wider than the final mode while it is written; the workbook's mode is set now.
  ::chmod(temporary.c_str(), ModeFor(target));

  // Rows stream out in order with inline strings, so memory stays flat whatever the table holds.
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.use_zip64 = LXW_TRUE;
  lxw_workbook* book = workbook_new_opt(temporary.c_str(), &options);
  lxw_error error = LXW_NO_ERROR;
  lxw_format* duration = book ? workbook_add_format(book) : nullptr;
  if (duration) format_set_num_format(duration, "[h]:mm:ss");
  auto write_sheet = [&](const QString& name, const std::vector<std::vector<Cell>>& rows,
                         const std::vector<double>& widths, int filter_rows, int filter_columns) {
    const QByteArray title = name.toUtf8();
    lxw_worksheet* sheet =
        workbook_add_worksheet(book, name.isEmpty() ? nullptr : title.constData());
    if (!sheet) return false;
    if (filter_rows > 0 && filter_columns > 0) {
      worksheet_freeze_panes(sheet, 1, 0);
      error = worksheet_autofilter(sheet, 0, 0, lxw_row_t(filter_rows - 1),
                                   lxw_col_t(filter_columns - 1));
    }
    for (size_t c = 0; c < widths.size() && !error; ++c) {
      if (widths[c] > 0)
        error = worksheet_set_column(sheet, lxw_col_t(c), lxw_col_t(c), widths[c], nullptr);
    }
    for (size_t r = 0; r < rows.size() && !error; ++r) {
      const std::vector<Cell>& cells = rows[r];
      for (size_t c = 0; c < cells.size() && !error; ++c) {
        const Cell& cell = cells[c];
        if (cell.kind == Kind::kNumber) {
          error = worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), cell.value, nullptr);
        } else if (cell.kind == Kind::kDuration) {
          error = worksheet_write_number(sheet, lxw_row_t(r), lxw_col_t(c), cell.value, duration);
        } else if (!cell.text.isEmpty()) {
          error = worksheet_write_string(sheet, lxw_row_t(r), lxw_col_t(c),
                                         CellBytes(cell.text).constData(), nullptr);
        }
      }
    }
    return true;
  };
  bool started = book != nullptr;
  for (const Sheet& earlier : earlier_)
    if (started && !error)
      started = write_sheet(earlier.name, earlier.rows, earlier.widths, earlier.filter_rows,
                            earlier.filter_columns);
  if (started && !error)
    started = write_sheet(name_, rows_, widths_, filter_rows_, filter_columns_);
  if (!started) {
    if (book) workbook_close(book);
    replacement.Abandon();
    Fail(path, "the workbook could not be started");
  }
  const lxw_error closed = workbook_close(book);
  if (!error) error = closed;
  if (error) {
    replacement.Abandon();
    Fail(path, lxw_strerror(error));
  }
  if (!replacement.Commit({}, failure)) Fail(path, std::strerror(errno));
}

void XlsxSpreadsheet::Open(const QString& path) {
  if (!app_)
    throw StepFailure("No spreadsheet application is known to open '" + path.toStdString() + "'.");
  if (!QFileInfo(path).isFile())
    throw StepFailure("The workbook '" + path.toStdString() + "' is not there to open.");
  app_->Open(path);
}
