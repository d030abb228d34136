#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "batch/FieldNames.h"
#include "tag/clsID3.h"

class ReportListModel;

/// The result table's columns, in order. The exports and the window's start-up read the same
/// table, so a header or a width is changed in one place only.
namespace ResultColumns {

/// Column 1 holds the file name, without its folder.
inline constexpr std::u16string_view kFileNameHeader = u"Filename";
inline constexpr int kFileNameWidth = 5000;  // twips

/// A column filled from a field of the tag object; `sub_item` k shows in column k + 1.
struct Field {
  std::u16string_view header;
  std::optional<int> width_twips;  // none: the list's default width
  int sub_item;
  int line;  // the statement number of the extraction run that writes it
  const std::u16string& (clsID3::*value)() const noexcept;
};

namespace detail {
// Widths (none: the list's default) and statement numbers of the default fields, in order.
inline constexpr std::optional<int> kWidths[] = {1500, 1500, 1500, 1500, 1500, 1500,
                                                 1500, 1500, {},   {},   {}};
template <std::size_t... I>
constexpr std::array<Field, sizeof...(I)> Fields(std::index_sequence<I...>) {
  return {{Field{FieldNames::kAll[I].name, kWidths[I], int(I) + 1, 126 + 2 * int(I),
                 FieldNames::kAll[I].value}...}};
}
}  // namespace detail

inline constexpr std::array<Field, FieldNames::kDefaults> kFields =
    detail::Fields(std::make_index_sequence<FieldNames::kDefaults>());

/// The columns as the window's start-up adds them, one at a time or all in order.
void AddFileNameColumn(ReportListModel& results);
void AddFieldColumn(ReportListModel& results, const Field& field);
void AddAll(ReportListModel& results);

}  // namespace ResultColumns
