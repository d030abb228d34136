#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "tag/FieldSources.h"
#include "tag/clsID3.h"

/// The tag's fields as every column, list and header names them: the one table of their names,
/// in the column catalogue's order, the default columns first. The result table's columns, the
/// catalogue and the Sources and Conflicts cells all take their names from here.
namespace FieldNames {

struct Field {
  FieldId field;
  std::u16string_view name;
  /// The tag object's text of the field; none where its column makes the text (the genre as
  /// shown, the genre's number).
  const std::u16string& (clsID3::*value)() const noexcept;
  bool number;  ///< its column sorts as numbers
};

/// How many of the first fields are default columns, after the file name.
inline constexpr std::size_t kDefaults = 11;

inline constexpr std::array<Field, static_cast<std::size_t>(FieldId::kCount)> kAll = {{
    {FieldId::Title, u"Title", &clsID3::Title, false},
    {FieldId::Artist, u"Artist", &clsID3::Artist, false},
    {FieldId::Album, u"Album", &clsID3::Album, false},
    {FieldId::TrackNumber, u"TrackNumber", &clsID3::TrackNumber, true},
    {FieldId::Year, u"Year", &clsID3::Year, true},
    {FieldId::Comments, u"Comments", &clsID3::Comments, false},
    {FieldId::Lyrics, u"Lyrics", &clsID3::Lyrics, false},
    {FieldId::Composer, u"Composer", &clsID3::Composer, false},
    {FieldId::Band, u"Band", &clsID3::Band, false},
    {FieldId::Conductor, u"Conductor", &clsID3::Conductor, false},
    {FieldId::Copyright, u"Copyright", &clsID3::Copyright, false},
    {FieldId::Genre, u"Genre", nullptr, false},
    {FieldId::GenreID, u"Genre number", nullptr, true},
    {FieldId::DiscNumber, u"Disc", &clsID3::DiscNumber, true},
    {FieldId::DiscsTotal, u"Discs", &clsID3::DiscsTotal, true},
    {FieldId::TracksTotal, u"Tracks", &clsID3::TracksTotal, true},
    {FieldId::Publisher, u"Publisher", &clsID3::Publisher, false},
    {FieldId::ISRC, u"ISRC", &clsID3::ISRC, false},
    {FieldId::BeatsPerMinute, u"BPM", &clsID3::BeatsPerMinute, true},
    {FieldId::InitialKey, u"Initial key", &clsID3::InitialKey, false},
    {FieldId::Languages, u"Languages", &clsID3::Languages, false},
    {FieldId::Lyricist, u"Lyricist", &clsID3::Lyricist, false},
    {FieldId::InterpretedBy, u"Interpreted by", &clsID3::InterpretedBy, false},
    {FieldId::EncodedBy, u"Encoded by", &clsID3::EncodedBy, false},
    {FieldId::FileOwner, u"File owner", &clsID3::FileOwner, false},
    {FieldId::OriginalAlbum, u"Original album", &clsID3::OriginalAlbum, false},
    {FieldId::OriginalArtist, u"Original artist", &clsID3::OriginalArtist, false},
    {FieldId::OriginalLyricist, u"Original lyricist", &clsID3::OriginalLyricist, false},
    {FieldId::OriginalFileName, u"Original file name", &clsID3::OriginalFileName, false},
    {FieldId::OriginalReleaseYear, u"Original year", &clsID3::OriginalReleaseYear, true},
    {FieldId::InternetRadioStationName, u"Radio station", &clsID3::InternetRadioStationName, false},
    {FieldId::InternetRadioStationOwner, u"Radio owner", &clsID3::InternetRadioStationOwner, false},
    {FieldId::CopyrightInfo, u"Copyright URL", &clsID3::CopyrightInfo, false},
    {FieldId::AudioURL, u"Audio URL", &clsID3::AudioURL, false},
    {FieldId::AudioSourceURL, u"Audio source URL", &clsID3::AudioSourceURL, false},
    {FieldId::InternetRadioURL, u"Radio URL", &clsID3::InternetRadioURL, false},
    {FieldId::PaymentURL, u"Payment URL", &clsID3::PaymentURL, false},
    {FieldId::PublisherURL, u"Publisher URL", &clsID3::PublisherURL, false},
}};

// Every field once: a field left out would show in no column and no list.
static_assert([] {
  std::array<int, kAll.size()> seen{};
  for (const Field& f : kAll)
    if (static_cast<std::size_t>(f.field) < seen.size()) ++seen[static_cast<std::size_t>(f.field)];
  for (const int n : seen)
    if (n != 1) return false;
  return true;
}());

}  // namespace FieldNames
