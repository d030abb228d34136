#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

/// Which rows of the result table to keep, written as a user types it:
///
///     cafe                 any searched cell holds "cafe" (case and accents ignored: "Café")
///     "two words"          any searched cell holds the phrase
///     column:word          that column's cell holds the word; column:"two words" the phrase
///     column=value         the cell is that value (case and accents ignored); column= it is empty
///     column<N  <=  >  >=  the cell's number (a duration h:mm:ss in seconds) compares so with N
///     -term                the term does not hold
///     a b OR c             a and b, or else c
///
/// A column is any header of the column catalogue, compared ignoring case and spaces ("bitrate",
/// "bit rate"). An empty cell never satisfies a comparison. The text is parsed once; a row is
/// then tested without allocating, so a million rows take well under a second.
class RowFilter {
 public:
  /// Where the text went wrong: a character index (0-based) and what is wrong there.
  struct Problem {
    qsizetype at = 0;
    QString what;
    /// "what (at character N)", N counted from 1.
    QString Text() const;
  };

  /// The filter the text describes; an empty or blank text keeps every row.
  static std::optional<RowFilter> Parse(QStringView text, Problem& problem);

  /// True when it keeps every row.
  bool IsEmpty() const { return nodes_.empty(); }
  /// The catalogue headers the text names, in the order first named.
  const QStringList& Columns() const { return columns_; }

  /// Ties the filter to rows whose cell i is under `headers[i]`; plain words search the first
  /// `searched` cells (the ones shown). False, with the header named in `missing`, when a
  /// column the text names is not among the headers.
  bool Bind(const QStringList& headers, qsizetype searched, QString& missing);
  /// The cells Matches reads, once bound: a caller that unpacks cells unpacks only these.
  const std::vector<int>& CellsRead() const { return read_; }

  /// Whether the bound filter keeps a row of these cells (missing cells read as empty).
  bool Matches(std::span<const QStringView> cells) const;

  /// Text as the filter compares it: accents and other marks dropped, compatibility forms
  /// decomposed, case folded. Appends to `out`.
  static void AppendFolded(QStringView text, std::u16string& out);

 private:
  enum class Kind : uint8_t { kAll, kAny, kNot, kAnyCell, kContains, kEquals, kEmpty, kCompare };
  enum class Compare : uint8_t { kLess, kLessOrEqual, kGreater, kGreaterOrEqual };
  struct Node {
    Kind kind;
    Compare compare = Compare::kLess;
    int column = -1;  // into columns_
    double number = 0;
    std::u16string needle;  // folded
    std::vector<int> kids;  // into nodes_
  };
  class Parser;

  bool Test(int node, std::span<const QStringView> cells) const;
  std::u16string_view Folded(int cell, std::span<const QStringView> cells) const;

  std::vector<Node> nodes_;
  int root_ = -1;
  QStringList columns_;
  std::vector<int> cell_of_;  // per named column, its cell once bound
  std::vector<int> read_;
  int searched_ = 0;
};
