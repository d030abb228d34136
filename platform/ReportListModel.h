#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <QStringList>
#include <optional>
#include <unordered_map>
#include <vector>

#include "platform/PackedCells.h"

/// A report-style list: columns with a header text and a width in twips, rows with a text,
/// sub-items, a checked flag and at most one selected row. Rows and columns count from 1;
/// an index out of range throws StepFailure. Column 1 shows the row's text and its check box.
/// On screen every cell takes one line; its tip holds the whole text.
///
/// A row is one block of packed cells (PackedCells.h), no object per cell, so a table of a
/// million rows fits in memory; the texts are unpacked when asked for.
class ReportListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  /// Width a column gets when it is added without one (1440 twips = 1 inch).
  static constexpr int kDefaultColumnWidth = 1440;
  /// What stands for a line break in a cell shown on one line.
  static constexpr QStringView kLineBreakMark = u" \u21B5 ";

  /// A cell's text on one line: each line break (CR LF, CR or LF) shows as kLineBreakMark.
  static QString OneLine(const QString& text);
  /// A cell's whole text for its tip, lines broken at LF.
  static QString WholeText(const QString& text);
  /// The most a cell shows of its text: no column is that wide, and laying out a whole lyric
  /// at every repaint would slow the window down. The tip still holds all of it.
  static constexpr qsizetype kLongestShown = 512;

  explicit ReportListModel(QObject* parent = nullptr);

  /// Adds a column at the end; returns its 1-based number.
  int AddColumn(const QString& header, std::optional<int> width_twips = std::nullopt);
  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  QString Header(int column) const;
  int ColumnWidth(int column) const;
  /// A column whose cells list items with "; " shows them one per line in the cell's tooltip.
  void SetListToolTip(int column, bool on);
  void SetColumnWidth(int column, int width_twips);
  /// A column whose cells' tips are the rows' own tips (SetRowToolTip), where a row has one.
  void SetRowToolTipColumn(int column, bool on);
  /// A tip the row keeps, made as it was read, for the columns that show it; empty removes it.
  void SetRowToolTip(int row, const QString& tip);
  /// A column of paths: cut in the middle on screen, so a folder and its subfolder differ.
  void SetMiddleElided(int column, bool on);
  bool MiddleElided(int column) const;

  int RowCount() const { return static_cast<int>(rows_.size()); }
  /// Appends a row with the given text, unchecked, with empty sub-items; returns its number.
  int AppendRow(const QString& text);
  int AppendRow(const PackedText& text);
  /// The same with the packed bytes of its text (a cell of RowCells).
  int AppendPackedRow(std::string_view packed_text);
  /// Appends a row made whole beforehand (its text, then its sub-items), unchecked.
  int AppendRow(RowCells&& cells);
  /// Appends many rows under one insertion notice, so huge lists fill quickly.
  void AppendRows(const QStringList& texts);
  /// The same with rows packed beforehand (RowCells::OfPath), unchecked.
  void AppendPackedRows(std::vector<RowCells> rows);
  QString Text(int row) const;
  /// Every row's own text, in row order (a run takes its paths once, at its start).
  QStringList Texts() const;
  void SetText(int row, const QString& text);
  /// Sub-item k shows in column k + 1; it reads as empty until set.
  QString SubItem(int row, int k) const;
  void SetSubItem(int row, int k, const QString& text);
  /// The same with a text packed beforehand, on another thread perhaps; a text given as an
  /// rvalue is moved into the row.
  void SetSubItem(int row, int k, const PackedText& text);
  void SetSubItem(int row, int k, PackedText&& text);
  /// The same with the packed bytes of a text (a cell of RowCells).
  void SetPackedSubItem(int row, int k, std::string_view packed);
  /// The sub-items set so far, in order; the list may end before the last column. A copy shares
  /// the texts, so an export can take the whole table cheaply.
  QStringList SubItems(int row) const;
  /// Cell text by column: column 1 is the row's text, column c > 1 its sub-item c - 1.
  QString Cell(int row, int column) const;
  /// The row's cells as one shared block: the text, then the sub-items set so far.
  const RowCells& Cells(int row) const;
  /// Every row's cells, in row order: a snapshot that costs a reference a row.
  std::vector<RowCells> AllCells() const;
  bool Checked(int row) const;
  void SetChecked(int row, bool checked);
  /// The selected row, or none.
  std::optional<int> SelectedRow() const { return selected_; }
  /// Selects the row, or clears the selection with std::nullopt.
  void SetSelectedRow(std::optional<int> row);
  /// Removes the row; the rows after it move up by one.
  void RemoveRow(int row);
  void Clear();
  /// Moves a row to another position (rows in between shift by one).
  void MoveRow(int from, int to);

  /// Puts the rows in a new order: `order[i]` is the 0-based index of the row that comes i-th.
  /// The selection follows its row.
  void ReorderRows(const std::vector<int>& order);
  /// The row's place among the rows as they arrived, from 0 (Clear starts again at 0).
  int Arrival(int row) const;
  /// The order that puts the rows back as they arrived (for ReorderRows).
  std::vector<int> ArrivalOrder() const;

  /// Every row in the order it arrived, those set aside by ShowOnly included: what a filter
  /// reads.
  /// With `arrivals`, each row's place among the rows as they arrived (Arrival) goes there.
  std::vector<RowCells> EveryRowCells(std::vector<uint32_t>* arrivals = nullptr) const;
  /// Shows only the rows whose flag is set (`shown[i]` for the i-th row of EveryRowCells), in
  /// the order they arrived; the others are set aside, out of RowCount, the view and every
  /// export, until the next ShowOnly or Clear. They keep their check boxes.
  void ShowOnly(const std::vector<bool>& shown);
  /// Rows set aside by ShowOnly.
  int SetAsideCount() const { return static_cast<int>(aside_.size()); }

  /// Replaces the columns; every row keeps the cells of the headers that stay, now under their
  /// new column, and the cells of new headers read as empty.
  void ReplaceColumns(const QStringList& headers, const std::vector<std::optional<int>>& widths);
  /// A column added by ReplaceColumns while the table held rows: those rows were never read for
  /// it, so it shows no cells and the exports leave it out, until Clear() empties the table.
  bool ColumnUnread(int column) const;
  bool HasUnreadColumns() const;
  /// What such a column's header and cells say.
  static constexpr QStringView kUnreadNote = u"Run again to fill the new columns";

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  /// The selected row changed (std::nullopt shows as 0).
  void SelectionChanged(int row);
  void ColumnWidthChanged(int column, int width_twips);

 private:
  struct Column {
    QString header;
    int width_twips;
    bool list_tool_tip = false;
    bool row_tool_tip = false;
    bool unread = false;
    bool middle_elided = false;
  };
  struct Row {
    RowCells cells;        // the text, then the sub-items as far as the highest one set
    uint32_t arrival = 0;  // the row's place when it was added, for undoing a sort
    bool checked = false;
  };

  void CheckRow(int row) const;
  void CheckColumn(int column) const;
  void CheckSubItem(int k) const;
  void SetPacked(int row, int cell, std::string_view packed, int column);
  void SetPacked(int row, int cell, std::string&& packed, int column);
  const RowCells& CellsOf(int row) const;  // 1-based, checked; closes the open row first
  void CloseOpenRow() const;

  std::vector<Column> columns_;
  // Mutable only so that a read can pack the open row first (CloseOpenRow).
  // Few rows have a tip of their own: kept apart, by the row's arrival, not in every row.
  std::unordered_map<uint32_t, QString> row_tips_;
  mutable std::vector<Row> rows_;
  std::vector<Row> aside_;  // rows a filter left out, in the order they arrived
  // The row appended last, while nobody has read it: a run fills its cells one statement at a
  // time, and they gather here to be packed into its block once, when the row is read or the
  // next one arrives. Until then nobody can hold an old cell, so a cell set here needs no notice.
  mutable int open_row_ = 0;  // 1-based; 0: none
  mutable std::vector<std::string> open_cells_;
  std::optional<int> selected_;
  uint32_t arrivals_ = 0;
};
