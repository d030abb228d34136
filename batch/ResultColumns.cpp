#include "batch/ResultColumns.h"

#include "platform/ReportListModel.h"

namespace ResultColumns {

namespace {

QString Text(std::u16string_view text) {
  return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void AddFileNameColumn(ReportListModel& results) {
  results.AddColumn(Text(kFileNameHeader), kFileNameWidth);
}

void AddFieldColumn(ReportListModel& results, const Field& field) {
  results.AddColumn(Text(field.header), field.width_twips);
}

void AddAll(ReportListModel& results) {
  AddFileNameColumn(results);
  for (const Field& field : kFields) AddFieldColumn(results, field);
}

}  // namespace ResultColumns
