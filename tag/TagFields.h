#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "tag/MultiFrameData.h"

// The text fields of the tag object, in the order of its properties. One list drives the
// struct, the accessors and every place that visits all fields.
#define TAGLOOM_TEXT_FIELDS_BEFORE_GENRE_ID(X) \
  X(Comments)                                  \
  X(Album)                                     \
  X(BeatsPerMinute)                            \
  X(Composer)

#define TAGLOOM_TEXT_FIELDS_AFTER_GENRE_ID(X) \
  X(Genre)                                    \
  X(Copyright)                                \
  X(EncodedBy)                                \
  X(Lyricist)                                 \
  X(Title)                                    \
  X(InitialKey)                               \
  X(Languages)                                \
  X(OriginalAlbum)                            \
  X(OriginalFileName)                         \
  X(OriginalLyricist)                         \
  X(OriginalArtist)                           \
  X(OriginalReleaseYear)                      \
  X(FileOwner)                                \
  X(Artist)                                   \
  X(Band)                                     \
  X(Conductor)                                \
  X(InterpretedBy)                            \
  X(DiscNumber)                               \
  X(DiscsTotal)                               \
  X(Publisher)                                \
  X(TrackNumber)                              \
  X(TracksTotal)                              \
  X(InternetRadioStationName)                 \
  X(InternetRadioStationOwner)                \
  X(ISRC)                                     \
  X(Year)                                     \
  X(Lyrics)

// The single-value URL fields, which stand between the lists.
#define TAGLOOM_URL_FIELDS(X) \
  X(CopyrightInfo)            \
  X(AudioURL)                 \
  X(AudioSourceURL)           \
  X(InternetRadioURL)         \
  X(PaymentURL)               \
  X(PublisherURL)

#define TAGLOOM_TEXT_FIELDS(X)           \
  TAGLOOM_TEXT_FIELDS_BEFORE_GENRE_ID(X) \
  TAGLOOM_TEXT_FIELDS_AFTER_GENRE_ID(X)  \
  TAGLOOM_URL_FIELDS(X)

#define TAGLOOM_LIST_FIELDS(X) \
  X(CommercialInfo)            \
  X(ArtistURL)                 \
  X(AttachedPictures)

struct TagFields {
#define TAGLOOM_DECLARE_TEXT(name) std::u16string name;
  TAGLOOM_TEXT_FIELDS(TAGLOOM_DECLARE_TEXT)
#undef TAGLOOM_DECLARE_TEXT
  int32_t GenreID = 0;
  std::shared_ptr<MultiFrameData> CommercialInfo;
  std::shared_ptr<MultiFrameData> ArtistURL;
  std::shared_ptr<MultiFrameData> AttachedPictures;

  /// The values every read starts from: empty texts, no genre (255), new empty lists.
  static TagFields ForRead() {
    TagFields f;
    f.GenreID = 255;
    f.CommercialInfo = std::make_shared<MultiFrameData>();
    f.ArtistURL = std::make_shared<MultiFrameData>();
    f.AttachedPictures = std::make_shared<MultiFrameData>();
    return f;
  }
};
