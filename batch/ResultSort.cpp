#include "batch/ResultSort.h"

#include <algorithm>

#include "platform/ReportListModel.h"

namespace ResultSort {

std::optional<double> NumberOf(QStringView cell) {
  const QStringView text = cell.trimmed();
  qsizetype i = 0;
  const bool negative = i < text.size() && text[i] == u'-';
  if (negative) ++i;
  if (i >= text.size() || !text[i].isDigit()) return std::nullopt;
  // Whole parts separated by ":" count as sexagesimal (durations), one "." starts a fraction.
  double value = 0;
  double part = 0;
  for (; i < text.size(); ++i) {
    const QChar c = text[i];
    if (c.isDigit()) {
      part = part * 10 + c.digitValue();
    } else if (c == u':' && i + 1 < text.size() && text[i + 1].isDigit()) {
      value = (value + part) * 60;
      part = 0;
    } else {
      break;
    }
  }
  value += part;
  if (i + 1 < text.size() && text[i] == u'.' && text[i + 1].isDigit()) {
    double scale = 0.1;
    for (++i; i < text.size() && text[i].isDigit(); ++i, scale /= 10)
      value += text[i].digitValue() * scale;
  }
  return negative ? -value : value;
}

QString TextKey(const QString& cell) {
  const QString decomposed = cell.normalized(QString::NormalizationForm_KD);
  QString key;
  key.reserve(decomposed.size());
  for (const QChar c : decomposed)
    if (c.category() != QChar::Mark_NonSpacing) key.append(c);
  return key.toCaseFolded();
}

std::vector<int> Order(const ReportListModel& results, int column, ColumnCatalogue::Order kind,
                       Direction direction) {
  struct Key {
    int row;
    int rank;  // 0 a number, 1 text, 2 empty
    double number;
    QString text;
  };
  std::vector<Key> keys;
  keys.reserve(static_cast<size_t>(results.RowCount()));
  for (int r = 1; r <= results.RowCount(); ++r) {
    const QString cell = results.Cell(r, column);
    Key key{r - 1, 2, 0, {}};
    if (!cell.isEmpty()) {
      const std::optional<double> number =
          kind == ColumnCatalogue::Order::kNumber ? NumberOf(cell) : std::nullopt;
      key.rank = number ? 0 : 1;
      key.number = number.value_or(0);
      key.text = TextKey(cell);
    }
    keys.push_back(std::move(key));
  }
  const bool down = direction == Direction::kDescending;
  std::stable_sort(keys.begin(), keys.end(), [down](const Key& a, const Key& b) {
    if (a.rank != b.rank) return a.rank < b.rank;  // empty last whichever way
    if (a.rank == 2) return false;
    int c = 0;
    if (a.rank == 0 && a.number != b.number) c = a.number < b.number ? -1 : 1;
    if (c == 0) c = a.text.compare(b.text);
    return down ? c > 0 : c < 0;
  });
  std::vector<int> order;
  order.reserve(keys.size());
  for (const Key& key : keys) order.push_back(key.row);
  return order;
}

void Sort(ReportListModel& results, int column, Direction direction) {
  const ColumnCatalogue::Column* known = ColumnCatalogue::Find(results.Header(column));
  const ColumnCatalogue::Order kind = known ? known->order : ColumnCatalogue::Order::kText;
  results.ReorderRows(Order(results, column, kind, direction));
}

}  // namespace ResultSort
