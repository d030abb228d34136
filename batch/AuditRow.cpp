#include "batch/AuditRow.h"

#include "batch/AuditFacts.h"
#include "batch/ColumnCatalogue.h"
#include "tag/clsID3.h"

namespace AuditRow {

namespace {

QString Cell(const ColumnCatalogue::Column& column, const ColumnCatalogue::Source& source,
             CellText& made) {
  if (column.view) return column.view(source).toString();
  made.clear();
  column.append(source, made);
  return made.View().toString();
}

}  // namespace

Audit::Row Make(const clsID3& tag, const QString& path, const QStringList& extra) {
  static const std::vector<const ColumnCatalogue::Column*> columns = [] {
    std::vector<const ColumnCatalogue::Column*> found;
    for (const QString& header : Audit::ColumnHeaders())
      found.push_back(ColumnCatalogue::Find(header));
    return found;
  }();
  Audit::Row row;
  const ColumnCatalogue::Source source{tag, path};
  CellText made;
  for (size_t c = 0; c < columns.size(); ++c)
    if (columns[c]) row.cells[c] = Cell(*columns[c], source, made);
  for (const QString& header : extra) {
    const ColumnCatalogue::Column* column = ColumnCatalogue::Find(header);
    row.extra.push_back(column ? Cell(*column, source, made) : QString());
  }
  row.profile = AuditFacts::Profile(tag.AudioState());
  if (tag.PicturesWanted()) row.cover = AuditFacts::CoverOf(tag);
  return row;
}

}  // namespace AuditRow
