#include "batch/RowFilter.h"

#include <QChar>
#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include "batch/ColumnCatalogue.h"
#include "batch/ResultSort.h"

namespace {

// What each UTF-16 unit folds to: itself or one other unit, nothing (a mark), or several units
// ("ß" to "ss", "ﬁ" to "fi"). Worked out once for the whole plane, so folding a cell is a
// table look-up a unit.
constexpr uint32_t kDropped = 0x10000;
constexpr uint32_t kExpanded = 0x20000;

struct FoldTable {
  std::array<uint32_t, 0x10000> unit{};
  std::vector<std::u16string> expansions;

  FoldTable() {
    for (uint32_t c = 0; c < 0x10000; ++c) {
      unit[c] = c;
      if (c < 0x80) {
        if (c >= 'A' && c <= 'Z') unit[c] = c + 32;
        continue;
      }
      if (QChar::isSurrogate(c)) continue;
      const QString decomposed =
          QString(QChar(static_cast<char16_t>(c))).normalized(QString::NormalizationForm_KD);
      QString bare;
      for (const QChar d : decomposed)
        if (d.category() != QChar::Mark_NonSpacing) bare.append(d);
      // Upper case first: Qt folds case one unit to one, which leaves "ß" as it is.
      const QString folded = bare.toUpper().toCaseFolded();
      if (folded.isEmpty()) {
        unit[c] = kDropped;
      } else if (folded.size() == 1) {
        unit[c] = folded[0].unicode();
      } else {
        unit[c] = kExpanded | static_cast<uint32_t>(expansions.size());
        expansions.emplace_back(reinterpret_cast<const char16_t*>(folded.utf16()),
                                static_cast<size_t>(folded.size()));
      }
    }
  }
};

const FoldTable& Table() {
  static const auto table = std::make_unique<FoldTable>();
  return *table;
}

// The catalogue's headers by their key: folded, without spaces.
std::u16string ColumnKey(QStringView name) {
  std::u16string folded;
  RowFilter::AppendFolded(name, folded);
  std::erase_if(folded, [](char16_t c) { return c == u' ' || c == u'\t'; });
  return folded;
}

const ColumnCatalogue::Column* FindColumn(QStringView name) {
  static const auto keys = [] {
    std::vector<std::pair<std::u16string, const ColumnCatalogue::Column*>> all;
    for (const ColumnCatalogue::Column& column : ColumnCatalogue::All())
      all.emplace_back(ColumnKey(column.header), &column);
    return all;
  }();
  const std::u16string key = ColumnKey(name);
  for (const auto& [known, column] : keys)
    if (known == key) return column;
  return nullptr;
}

// A number as a comparison's right side: digits, whole parts joined by ":" (h:mm:ss), one
// fraction; nothing else.
std::optional<double> ExactNumber(QStringView text) {
  qsizetype i = 0;
  if (i < text.size() && text[i] == u'-') ++i;
  bool digits = false;
  bool after_colon = false;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c >= u'0' && c <= u'9') {
      digits = true;
      after_colon = false;
    } else if (c == u':' && digits && !after_colon) {
      after_colon = true;
    } else {
      break;
    }
  }
  if (!digits || after_colon) return std::nullopt;
  if (i < text.size() && text[i] == u'.') {
    qsizetype fraction = ++i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') ++i;
    if (i == fraction) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return ResultSort::NumberOf(text);
}

// Per thread, the cells of the row being tested as folded so far: a row's cell is folded at
// most once, however many terms read it, into room kept from row to row.
struct FoldedCells {
  std::vector<std::u16string> text;
  std::vector<uint64_t> row;
  uint64_t now = 0;
};
thread_local FoldedCells folded_cells;

}  // namespace

QString RowFilter::Problem::Text() const {
  return QStringLiteral("%1 (at character %2)").arg(what).arg(at + 1);
}

void RowFilter::AppendFolded(QStringView text, std::u16string& out) {
  const FoldTable& table = Table();
  for (const QChar q : text) {
    const char16_t c = q.unicode();
    if (c < 0x80) {
      out.push_back(c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c);
      continue;
    }
    const uint32_t to = table.unit[c];
    if (to < kDropped) {
      out.push_back(static_cast<char16_t>(to));
    } else if (to != kDropped) {
      out += table.expansions[to & 0xFFFF];
    }
  }
}

// ---- Parsing ------------------------------------------------------------------------------

// The text split at blanks outside quotes; each piece keeps where it starts.
class RowFilter::Parser {
 public:
  Parser(QStringView text, RowFilter& filter, Problem& problem)
      : filter_(filter), problem_(problem) {
    qsizetype i = 0;
    while (i < text.size()) {
      if (text[i].isSpace()) {
        ++i;
        continue;
      }
      const qsizetype start = i;
      bool quoted = false;
      for (; i < text.size() && (quoted || !text[i].isSpace()); ++i) {
        if (text[i] == u'\\' && quoted && i + 1 < text.size()) {
          ++i;
        } else if (text[i] == u'"') {
          quoted = !quoted;
        }
      }
      pieces_.push_back({text.mid(start, i - start), start});
    }
  }

  // The root node, or -1 after a problem.
  int Expression() {
    std::vector<int> alternatives;
    for (;;) {
      const qsizetype at = Here();
      if (AtOr() || at_ == pieces_.size())
        return Fail(at, pieces_.empty() ? QString() : QStringLiteral("OR needs a term before it"));
      const int all = Terms();
      if (all < 0) return -1;
      alternatives.push_back(all);
      if (at_ == pieces_.size()) break;
      // Terms stops only at an OR.
      const qsizetype or_at = Here();
      ++at_;
      if (at_ == pieces_.size() || AtOr())
        return Fail(or_at, QStringLiteral("OR needs a term after it"));
    }
    return alternatives.size() == 1 ? alternatives[0]
                                    : Add({Kind::kAny, {}, -1, 0, {}, alternatives});
  }

 private:
  struct Piece {
    QStringView text;
    qsizetype at;
  };

  bool AtOr() const { return at_ < pieces_.size() && pieces_[at_].text == u"OR"; }
  qsizetype Here() const {
    if (at_ < pieces_.size()) return pieces_[at_].at;
    return pieces_.empty() ? 0 : pieces_.back().at + pieces_.back().text.size();
  }

  int Fail(qsizetype at, const QString& what) {
    problem_ = {at, what};
    return -1;
  }

  int Add(Node node) {
    filter_.nodes_.push_back(std::move(node));
    return static_cast<int>(filter_.nodes_.size()) - 1;
  }

  // Terms up to an OR or the end, all of which must hold.
  int Terms() {
    std::vector<int> all;
    while (at_ < pieces_.size() && !AtOr()) {
      const int term = Term();
      if (term < 0) return -1;
      all.push_back(term);
    }
    return all.size() == 1 ? all[0] : Add({Kind::kAll, {}, -1, 0, {}, all});
  }

  // The operator's place in a piece: the first of : = < > outside quotes; -1 for none.
  static qsizetype OperatorAt(QStringView text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
      const QChar c = text[i];
      if (c == u'"') return -1;
      if (c == u':' || c == u'=' || c == u'<' || c == u'>') return i;
    }
    return -1;
  }

  int Term() {
    const Piece piece = pieces_[at_++];
    QStringView body = piece.text;
    qsizetype at = piece.at;
    const bool negated = body.startsWith(u'-');
    if (negated) {
      body = body.mid(1);
      ++at;
      if (body.isEmpty() || body.startsWith(u'-'))
        return Fail(piece.at, QStringLiteral("'-' needs a term right after it"));
    }
    const int term = Positive(body, at);
    if (term < 0 || !negated) return term;
    return Add({Kind::kNot, {}, -1, 0, {}, {term}});
  }

  int Positive(QStringView body, qsizetype at) {
    if (body.startsWith(u'"')) {
      std::optional<QString> phrase = Quoted(body, at);
      if (!phrase) return -1;
      if (phrase->isEmpty()) return Fail(at, QStringLiteral("an empty phrase"));
      return Needle(Kind::kAnyCell, -1, *phrase);
    }
    qsizetype op = OperatorAt(body);
    QString name;
    if (op < 0) {
      // A column named with spaces ("bit rate<128") spans pieces.
      if (!SpannedColumn(name, body, at, op)) return Needle(Kind::kAnyCell, -1, body);
    } else {
      name = body.left(op).toString();
    }
    if (op == 0)
      return Fail(at, QStringLiteral("a column name is missing before '%1'").arg(body[0]));
    const ColumnCatalogue::Column* column = FindColumn(name);
    if (!column) return Fail(at, QStringLiteral("unknown column '%1'").arg(name));
    const int index = ColumnIndex(column->header);

    const QChar sign = body[op];
    qsizetype value_from = op + 1;
    std::optional<Compare> compare;
    if (sign == u'<' || sign == u'>') {
      const bool or_equal = value_from < body.size() && body[value_from] == u'=';
      if (or_equal) ++value_from;
      compare = sign == u'<' ? (or_equal ? Compare::kLessOrEqual : Compare::kLess)
                             : (or_equal ? Compare::kGreaterOrEqual : Compare::kGreater);
    }
    const QString sign_text = body.mid(op, value_from - op).toString();
    QStringView raw = body.mid(value_from);
    const qsizetype value_at = at + value_from;
    QString value;
    if (raw.startsWith(u'"')) {
      std::optional<QString> phrase = Quoted(raw, value_at);
      if (!phrase) return -1;
      value = *phrase;
    } else {
      value = raw.toString();
    }
    if (compare) {
      const std::optional<double> number = ExactNumber(value);
      if (!number)
        return Fail(
            value_at,
            QStringLiteral("'%1' needs a number or a duration (h:mm:ss) after it").arg(sign_text));
      return Add({Kind::kCompare, *compare, index, *number, {}, {}});
    }
    if (sign == u'=') {
      if (value.isEmpty()) return Add({Kind::kEmpty, {}, index, 0, {}, {}});
      return Needle(Kind::kEquals, index, value);
    }
    if (value.isEmpty())
      return Fail(value_at, QStringLiteral("':' needs a word or a \"phrase\" after it"));
    return Needle(Kind::kContains, index, value);
  }

  // Joins the piece with the next ones when together they name a column before an operator;
  // then `body` becomes the joined text, `op` its operator's place, and `at + op` still the
  // operator's place in the whole text.
  bool SpannedColumn(QString& name, QStringView& body, qsizetype& at, qsizetype& op) {
    if (body.contains(u'"')) return false;
    QString joined = body.toString();
    for (size_t next = at_; next < pieces_.size() && next < at_ + 3; ++next) {
      const QStringView piece = pieces_[next].text;
      const qsizetype sign = OperatorAt(piece);
      if (sign < 0) {
        joined += u' ' + piece.toString();
        continue;
      }
      const QString candidate = joined + u' ' + piece.left(sign).toString();
      if (!FindColumn(candidate)) return false;
      name = candidate;
      joined_ = candidate + piece.mid(sign).toString();
      body = joined_;
      op = candidate.size();
      at = pieces_[next].at + sign - op;
      at_ = next + 1;
      return true;
    }
    return false;
  }

  // A "quoted" text at the start of `text`, which must end with its closing quote; a backslash
  // takes the character after it as it is (a quote, a backslash).
  std::optional<QString> Quoted(QStringView text, qsizetype at) {
    QString out;
    for (qsizetype i = 1; i < text.size(); ++i) {
      if (text[i] == u'\\' && i + 1 < text.size()) {
        out.append(text[++i]);
      } else if (text[i] == u'"') {
        if (i + 1 != text.size()) {
          Fail(at + i + 1, QStringLiteral("a blank is needed after the closing quote"));
          return std::nullopt;
        }
        return out;
      } else {
        out.append(text[i]);
      }
    }
    Fail(at, QStringLiteral("the quote is not closed"));
    return std::nullopt;
  }

  int Needle(Kind kind, int column, QStringView text) {
    Node node{kind, {}, column, 0, {}, {}};
    AppendFolded(text, node.needle);
    return Add(std::move(node));
  }

  int ColumnIndex(const QString& header) {
    qsizetype index = filter_.columns_.indexOf(header);
    if (index < 0) {
      index = filter_.columns_.size();
      filter_.columns_.append(header);
    }
    return static_cast<int>(index);
  }

  RowFilter& filter_;
  Problem& problem_;
  std::vector<Piece> pieces_;
  size_t at_ = 0;
  QString joined_;
};

std::optional<RowFilter> RowFilter::Parse(QStringView text, Problem& problem) {
  RowFilter filter;
  Parser parser(text, filter, problem);
  problem = {};
  const int root = parser.Expression();
  if (root < 0) {
    if (problem.what.isEmpty()) return RowFilter();  // nothing but blanks
    return std::nullopt;
  }
  filter.root_ = root;
  filter.cell_of_.assign(filter.columns_.size(), -1);
  return filter;
}

// ---- Testing rows -------------------------------------------------------------------------

bool RowFilter::Bind(const QStringList& headers, qsizetype searched, QString& missing) {
  cell_of_.assign(columns_.size(), -1);
  read_.clear();
  for (qsizetype c = 0; c < columns_.size(); ++c) {
    const qsizetype cell = headers.indexOf(columns_[c]);
    if (cell < 0) {
      missing = columns_[c];
      return false;
    }
    cell_of_[size_t(c)] = static_cast<int>(cell);
  }
  searched_ = static_cast<int>(std::min(searched, headers.size()));
  bool any_cell = false;
  for (const Node& node : nodes_) any_cell = any_cell || node.kind == Kind::kAnyCell;
  if (any_cell)
    for (int c = 0; c < searched_; ++c) read_.push_back(c);
  for (const int cell : cell_of_)
    if (std::find(read_.begin(), read_.end(), cell) == read_.end()) read_.push_back(cell);
  return true;
}

bool RowFilter::Matches(std::span<const QStringView> cells) const {
  if (nodes_.empty()) return true;
  ++folded_cells.now;
  return Test(root_, cells);
}

std::u16string_view RowFilter::Folded(int cell, std::span<const QStringView> cells) const {
  FoldedCells& f = folded_cells;
  const auto c = static_cast<size_t>(cell);
  if (f.text.size() <= c) {
    f.text.resize(c + 1);
    f.row.resize(c + 1, 0);
  }
  if (f.row[c] != f.now) {
    f.row[c] = f.now;
    f.text[c].clear();
    if (c < cells.size()) AppendFolded(cells[c], f.text[c]);
  }
  return f.text[c];
}

bool RowFilter::Test(int index, std::span<const QStringView> cells) const {
  const Node& node = nodes_[size_t(index)];
  const int cell = node.column >= 0 ? cell_of_[size_t(node.column)] : -1;
  switch (node.kind) {
    case Kind::kAll:
      for (const int kid : node.kids)
        if (!Test(kid, cells)) return false;
      return true;
    case Kind::kAny:
      for (const int kid : node.kids)
        if (Test(kid, cells)) return true;
      return false;
    case Kind::kNot:
      return !Test(node.kids[0], cells);
    case Kind::kAnyCell:
      for (int c = 0; c < searched_; ++c)
        if (Folded(c, cells).find(node.needle) != std::u16string_view::npos) return true;
      return false;
    case Kind::kContains:
      return Folded(cell, cells).find(node.needle) != std::u16string_view::npos;
    case Kind::kEquals:
      return Folded(cell, cells) == node.needle;
    case Kind::kEmpty:
      return size_t(cell) >= cells.size() || cells[size_t(cell)].isEmpty();
    case Kind::kCompare: {
      if (size_t(cell) >= cells.size() || cells[size_t(cell)].isEmpty()) return false;
      const std::optional<double> value = ResultSort::NumberOf(cells[size_t(cell)]);
      if (!value) return false;
      switch (node.compare) {
        case Compare::kLess:
          return *value < node.number;
        case Compare::kLessOrEqual:
          return *value <= node.number;
        case Compare::kGreater:
          return *value > node.number;
        case Compare::kGreaterOrEqual:
          return *value >= node.number;
      }
      return false;
    }
  }
  return false;
}
