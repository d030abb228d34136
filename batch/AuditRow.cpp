#include "batch/AuditRow.h"

#include "batch/AuditFacts.h"
#include "batch/ColumnCatalogue.h"
#include "tag/clsID3.h"

namespace AuditRow {

Audit::Row Make(const clsID3& tag, const QString& path) {
  static const std::vector<const ColumnCatalogue::Column*> columns = [] {
    std::vector<const ColumnCatalogue::Column*> found;
    for (const QString& header : Audit::ColumnHeaders())
      found.push_back(ColumnCatalogue::Find(header));
    return found;
  }();
  Audit::Row row;
  const ColumnCatalogue::Source source{tag, path};
  CellText made;
  for (size_t c = 0; c < columns.size(); ++c) {
    const ColumnCatalogue::Column* column = columns[c];
    if (!column) continue;
    if (column->view) {
      row.cells[c] = column->view(source).toString();
    } else {
      made.clear();
      column->append(source, made);
      row.cells[c] = made.View().toString();
    }
  }
  if (tag.PicturesWanted() && tag.AttachedPictures())
    row.cover = AuditFacts::FrontCover(*tag.AttachedPictures());
  return row;
}

}  // namespace AuditRow
