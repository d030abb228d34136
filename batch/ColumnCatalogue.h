#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <vector>

#include "batch/CellText.h"

class clsID3;
class ReportListModel;

/// Every column the result table can show: the twelve it shows by default, every other text
/// field of the tag object, the audio properties, facts about the file and its tags, and the
/// read's status. The window's chooser, the settings store and `extract --columns` name columns
/// by their header, in any letter case.
namespace ColumnCatalogue {

/// How a column's cells compare when the table is sorted by it.
enum class Order : uint8_t {
  kText,    ///< ignoring case and accents
  kNumber,  ///< as numbers ("1:02:03" as seconds), non-numbers after them
};

/// What a cell is made from: the tag object just after it read `path`.
struct Source {
  const clsID3& tag;
  const QString& path;
};

struct Column {
  QString header;
  QString group;  ///< "Default", "Tag", "Audio", "File" or "Status", for the chooser
  std::optional<int> width_twips;
  Order order;
  /// Keeps a leading "=" in the workbook: the cell names a file, it is no tag text.
  bool names_file;
  /// Appends the cell's text: a row's cells are made one after another into one buffer.
  void (*append)(const Source&, CellText& out) = nullptr;
  /// Made from the number of pictures: a read for this column must count them.
  bool pictures = false;
  /// Instead of `append`, where the cell is text the source holds as it is (a tag field, the
  /// path or part of it): that text, read without a copy.
  QStringView (*view)(const Source&) = nullptr;
};

/// All columns, the default ones first and in their order.
const std::vector<Column>& All();
/// The column of that header (any letter case), or none.
const Column* Find(const QString& header);
/// The headers of the default columns, in order.
QStringList DefaultHeaders();
/// True when the headers are exactly the default ones in their order.
bool IsDefault(const QStringList& headers);

/// Checks a choice: known headers (spelled as the catalogue spells them), none twice, at least
/// one. The unknown or doubled header is named in `problem`.
std::optional<QStringList> Resolve(const QStringList& headers, QString& problem);

/// The choice as the settings store keeps it, and back; a stored text that no longer resolves
/// gives the default columns.
QString Join(const QStringList& headers);
QStringList Split(const QString& stored);

/// Whether any of the columns is made from the number of pictures; reads for the others pass
/// the pictures over uncounted.
bool NeedPictureCount(const std::vector<const Column*>& columns);

/// Adds the columns to an empty table, in order.
void AddColumns(ReportListModel& results, const QStringList& headers);
/// Gives the columns that list several items in a cell (Sources, Conflicts) a tooltip with one
/// item per line, the Conflicts column the rows' own tips where they have one.
void MarkListColumns(ReportListModel& results);

/// Per header: whether the column names a file (its cells keep a leading "=" in a workbook),
/// and whether its cells are "h:mm:ss" durations.
std::vector<bool> NamesFile(const QStringList& headers);
std::vector<bool> Durations(const QStringList& headers);

/// "h:mm:ss", seconds rounded down; empty for no length.
QString Duration(double seconds);

}  // namespace ColumnCatalogue
