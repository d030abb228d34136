#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

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

inline constexpr std::array<Field, 11> kFields = {{
    {u"Title", 1500, 1, 126, &clsID3::Title},
    {u"Artist", 1500, 2, 128, &clsID3::Artist},
    {u"Album", 1500, 3, 130, &clsID3::Album},
    {u"TrackNumber", 1500, 4, 132, &clsID3::TrackNumber},
    {u"Year", 1500, 5, 134, &clsID3::Year},
    {u"Comments", 1500, 6, 136, &clsID3::Comments},
    {u"Lyrics", 1500, 7, 138, &clsID3::Lyrics},
    {u"Composer", 1500, 8, 140, &clsID3::Composer},
    {u"Band", std::nullopt, 9, 142, &clsID3::Band},
    {u"Conductor", std::nullopt, 10, 144, &clsID3::Conductor},
    {u"Copyright", std::nullopt, 11, 146, &clsID3::Copyright},
}};

/// The columns as the window's start-up adds them, one at a time or all in order.
void AddFileNameColumn(ReportListModel& results);
void AddFieldColumn(ReportListModel& results, const Field& field);
void AddAll(ReportListModel& results);

}  // namespace ResultColumns
