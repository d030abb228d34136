// The ID3v2 tag: header, sizes, unsynchronisation, extended header, the frame walk and the
// frame bodies of the three versions.
#include <gtest/gtest.h>

#include <random>

#include "tag/CodePage.h"
#include "tag/Id3v2Frames.h"
#include "tests/tag/TagFile.h"

namespace {

using namespace TagFile;
using namespace std::string_literals;

Bytes Text(int version, std::string_view id, std::u16string_view text,
           Encoding encoding = Encoding::Latin1) {
  return Frame(version, id, TextBody(encoding, text));
}

std::unique_ptr<clsID3> ReadTag(int version, std::string_view frames,
                                const TagOptions& options = {}) {
  return Read(Id3v2Tag(version, frames, options) + Mpeg1Header(200));
}

TEST(Id3v2Header, ValidityAndSyncSafeSize) {
  // "ID3" 03 00 00, size 00 00 02 01 = 257, then a title frame and padding.
  const Bytes body = Text(3, "TIT2", u"Tune");
  Bytes file =
      "ID3\x03\x00\x00\x00\x00\x02\x01"s + body + Bytes(257 - body.size(), '\0') + Mpeg1Header(40);
  auto tag = Read(file);
  EXPECT_TRUE(tag->ID3v2Exists());
  EXPECT_EQ(tag->ID3RevisionV2(), 3);
  EXPECT_EQ(tag->Title(), u"Tune");
  EXPECT_EQ(CountedAudioBytes(*tag), 40);  // the audio starts right after the 257 bytes

  file[8] = '\x80';  // a size byte with its top bit set: not a tag
  tag = Read(file);
  EXPECT_FALSE(tag->ID3v2Exists());
  EXPECT_EQ(tag->ID3RevisionV2(), 3);
  EXPECT_EQ(tag->Title(), u"");

  Bytes version255 = Id3v2Tag(3, body);
  version255[3] = '\xFF';
  EXPECT_FALSE(Read(version255)->ID3v2Exists());
  Bytes revision255 = Id3v2Tag(3, body);
  revision255[4] = '\xFF';
  EXPECT_FALSE(Read(revision255)->ID3v2Exists());
  EXPECT_FALSE(Read("ID3\x03\x00\x00\x00\x00\x00"s)->ID3v2Exists());  // 9 bytes
  EXPECT_FALSE(Read("id3\x03\x00\x00\x00\x00\x00\x00"s)->ID3v2Exists());
}

TEST(Id3v2Header, VersionsPickTheRules) {
  auto v2 = ReadTag(2, Text(2, "TT2", u"Two"));
  EXPECT_EQ(v2->ID3RevisionV2(), 2);
  EXPECT_EQ(v2->Title(), u"Two");

  // Version 5 follows the v2.4 rules: sync-safe sizes, UTF-8 allowed.
  auto v5 = ReadTag(5, Text(4, "TIT2", u"F\u00FCnf", Encoding::Utf8));
  EXPECT_EQ(v5->ID3RevisionV2(), 5);
  EXPECT_EQ(v5->Title(), u"F\u00FCnf");

  // Version 0 and 1 follow the v2.2 rules.
  EXPECT_EQ(ReadTag(1, Text(2, "TT2", u"One"))->Title(), u"One");
  EXPECT_EQ(ReadTag(0, Text(2, "TT2", u"Zero"))->ID3RevisionV2(), 0);

  // A 4-character ID in a v2.2 tag is not seen as such.
  EXPECT_EQ(ReadTag(2, Text(3, "TIT2", u"x"))->Title(), u"");
}

TEST(Id3v2Header, CompressedV22TagCountsButIsNotRead) {
  TagOptions options;
  options.extra_flags = 0x40;
  const Bytes tag = Id3v2Tag(2, Text(2, "TT2", u"Hidden") + Text(2, "TCO", u"(17)"), options);
  const auto read = Read(tag + Mpeg1Header(30));
  EXPECT_TRUE(read->ID3v2Exists());
  EXPECT_EQ(read->Title(), u"");
  EXPECT_EQ(read->GenreID(), 255);
  EXPECT_EQ(CountedAudioBytes(*read), 30);  // the search still starts after the whole tag
}

TEST(Id3v2Sizes, FrameSizeIsSyncSafeOnlyInV24) {
  EXPECT_EQ(Id3v2::DecodeNumber("\x00\x00\x02\x01"s, true), 257u);
  EXPECT_EQ(Id3v2::DecodeNumber("\x00\x00\x02\x01"s, false), 513u);
  EXPECT_EQ(Id3v2::DecodeNumber("\x01\x80"s, true), 256u);  // top bit not masked
  EXPECT_EQ(Id3v2::DecodeNumber("\xFF\xFF\xFF\xFF"s, false), 0xFFFFFFFFu);
  EXPECT_EQ(Id3v2::DecodeNumber(""s, true), 0u);

  // A 200-byte body: v2.4 writes its size 00 00 01 48, v2.3 00 00 00 C8. Each read with the
  // other's rule would step to the wrong place, and the second frame would be lost.
  const std::u16string long_title(199, u'a');
  for (int version : {3, 4}) {
    const auto tag =
        ReadTag(version, Text(version, "TIT2", long_title) + Text(version, "TPE1", u"After"));
    EXPECT_EQ(tag->Title(), long_title) << version;
    EXPECT_EQ(tag->Artist(), u"After") << version;
  }
}

TEST(Id3v2Unsynchronisation, HeaderFlagAppliesToV22AndV23Data) {
  EXPECT_EQ(Id3v2::Deunsynchronise("\xFF\x00\xE0"s), "\xFF\xE0"s);
  EXPECT_EQ(Id3v2::Deunsynchronise("\xFF\x00\x00"s), "\xFF\x00"s);
  EXPECT_EQ(Id3v2::Deunsynchronise("\xFF\x00\xFF\x00"s), "\xFF\xFF"s);
  EXPECT_EQ(Id3v2::Deunsynchronise("a\xFF"s), "a\xFF"s);
  EXPECT_EQ(Id3v2::Deunsynchronise("\xFF\x01"s), "\xFF\x01"s);

  // A UTF-16 title "\u00FF\u00E0" has the bytes FF FE FF 00 E0 00: FF E0 must be escaped.
  TagOptions options;
  options.unsynchronise = true;
  for (int version : {2, 3}) {
    const auto tag = ReadTag(
        version,
        Text(version, version == 2 ? "TT2" : "TIT2", u"\u00FF\u00E0\u00FF", Encoding::Utf16) +
            Text(version, version == 2 ? "TP1" : "TPE1", u"Next"),
        options);
    EXPECT_EQ(tag->Title(), u"\u00FF\u00E0\u00FF") << version;
    EXPECT_EQ(tag->Artist(), u"Next") << version;
  }
}

TEST(Id3v2Unsynchronisation, V24UsesTheFrameFlagNotTheHeaderFlag) {
  // Frame flag bit 1: this frame's body is unsynchronised.
  const Bytes body = Unsynchronise(TextBody(Encoding::Latin1, u"\u00FF\u00E0"));
  ASSERT_EQ(body.size(), 4u);
  const auto tag = ReadTag(4, Frame(4, "TIT2", body, 0x0002) + Text(4, "TPE1", u"Next"));
  EXPECT_EQ(tag->Title(), u"\u00FF\u00E0");
  EXPECT_EQ(tag->Artist(), u"Next");

  // The header flag alone leaves v2.4 frame data as it stands.
  TagOptions flag_only;
  flag_only.extra_flags = 0x80;
  const auto raw = ReadTag(4, Frame(4, "TIT2", "\x00\xFF\x00\xE0"s), flag_only);
  EXPECT_EQ(raw->Title(), u"\u00FF");  // cut at the NUL that was not removed
}

TEST(Id3v2ExtendedHeader, SkippedByItsSize) {
  for (int version : {3, 4}) {
    TagOptions options;
    options.extended_header = ExtendedHeader(version);
    const auto tag = ReadTag(version, Text(version, "TIT2", u"After extended"), options);
    EXPECT_EQ(tag->Title(), u"After extended") << version;
  }
  // A v2.3 extended header of 10 bytes after its size (CRC present).
  TagOptions crc;
  crc.extended_header = BigEndian(10, 4) + "\x80\x00"s + BigEndian(0, 4) + "\x12\x34\x56\x78"s;
  EXPECT_EQ(ReadTag(3, Text(3, "TIT2", u"CRC"), crc)->Title(), u"CRC");
  // A bogus size larger than the tag skips every frame, and nothing breaks.
  TagOptions bogus;
  bogus.extended_header = SyncSafe(0x0FFFFFFF);
  const auto tag = ReadTag(4, Text(4, "TIT2", u"Lost"), bogus);
  EXPECT_TRUE(tag->ID3v2Exists());
  EXPECT_EQ(tag->Title(), u"");
}

TEST(Id3v2Footer, AudioStartsAfterTheFooter) {
  TagOptions options;
  options.footer = true;
  const Bytes tag = Id3v2Tag(4, Text(4, "TIT2", u"Footed"), options);
  // The footer "3DI..." holds no FF byte, so only the real frame can be found.
  const auto read = Read(tag + Mpeg1Header(60));
  EXPECT_EQ(read->Title(), u"Footed");
  EXPECT_EQ(CountedAudioBytes(*read), 60);
}

TEST(Id3v2Encodings, FourEncodingsInV24) {
  const auto tag = ReadTag(4, Text(4, "TIT2", u"Gr\u00FC\u00DFe", Encoding::Utf8) +
                                  Text(4, "TPE1", u"\u65E5\u672C", Encoding::Utf16) +
                                  Text(4, "TALB", u"Caf\u00E9", Encoding::Utf16BE) +
                                  Text(4, "TCOM", u"Na\u00EFve \u0080", Encoding::Latin1));
  EXPECT_EQ(tag->Title(), u"Gr\u00FC\u00DFe");
  EXPECT_EQ(tag->Artist(), u"\u65E5\u672C");
  EXPECT_EQ(tag->Album(), u"Caf\u00E9");
  // Encoding 0 takes bytes as Windows-1252 characters: 0x80 is the euro sign.
  EXPECT_EQ(tag->Composer(), u"Na\u00EFve \u20AC");
}

TEST(Id3v2Encodings, Encodings2And3AreNotEncodingBytesBeforeV24) {
  const Bytes utf8 =
      "\x03Gr\xC3\xBC\xC3\x9F"
      "e"s;
  const auto v23 = ReadTag(3, Frame(3, "TIT2", utf8));
  EXPECT_EQ(v23->Title(), u"\u0003Gr\u00C3\u00BC\u00C3\u0178e");
  const auto v24 = ReadTag(4, Frame(4, "TIT2", utf8));
  EXPECT_EQ(v24->Title(), u"Gr\u00FC\u00DFe");
  // Any other first byte is text as well.
  EXPECT_EQ(ReadTag(4, Frame(4, "TIT2", "\x05Hi"s))->Title(), u"\u0005Hi");
  EXPECT_EQ(ReadTag(3, Frame(3, "TIT2", "Plain"s))->Title(), u"Plain");
}

TEST(Id3v2Frames, TextValueIsItsFirstNulSeparatedValue) {
  EXPECT_EQ(ReadTag(4, Frame(4, "TPE1", "\x00One\x00Two"s))->Artist(), u"One");
  EXPECT_EQ(ReadTag(4, Frame(4, "TPE1", "\x01\xFF\xFEO\x00\x00\x00\xFF\xFET\x00"s))->Artist(),
            u"O");
  // An empty frame body: the value is empty and the walk goes on.
  const auto tag = ReadTag(3, Frame(3, "TIT2", "") + Text(3, "TPE1", u"Still"));
  EXPECT_EQ(tag->Title(), u"");
  EXPECT_EQ(tag->Artist(), u"Still");
}

TEST(Id3v2Frames, EveryListedTextFrameFillsItsField) {
  struct Case {
    const char* v23;
    const char* v22;
    const std::u16string& (clsID3::*field)() const;
  };
  const Case cases[] = {
      {"TALB", "TAL", &clsID3::Album},
      {"TBPM", "TBP", &clsID3::BeatsPerMinute},
      {"TCOM", "TCM", &clsID3::Composer},
      {"TCOP", "TCR", &clsID3::Copyright},
      {"TENC", "TEN", &clsID3::EncodedBy},
      {"TEXT", "TXT", &clsID3::Lyricist},
      {"TIT2", "TT2", &clsID3::Title},
      {"TKEY", "TKE", &clsID3::InitialKey},
      {"TLAN", "TLA", &clsID3::Languages},
      {"TOAL", "TOT", &clsID3::OriginalAlbum},
      {"TOFN", "TOF", &clsID3::OriginalFileName},
      {"TOLY", "TOL", &clsID3::OriginalLyricist},
      {"TOPE", "TOA", &clsID3::OriginalArtist},
      {"TORY", "TOR", &clsID3::OriginalReleaseYear},
      {"TOWN", nullptr, &clsID3::FileOwner},
      {"TPE1", "TP1", &clsID3::Artist},
      {"TPE2", "TP2", &clsID3::Band},
      {"TPE3", "TP3", &clsID3::Conductor},
      {"TPE4", "TP4", &clsID3::InterpretedBy},
      {"TPUB", "TPB", &clsID3::Publisher},
      {"TRSN", nullptr, &clsID3::InternetRadioStationName},
      {"TRSO", nullptr, &clsID3::InternetRadioStationOwner},
      {"TSRC", "TRC", &clsID3::ISRC},
      {"TYER", "TYE", &clsID3::Year},
      {"WCOP", "WCP", &clsID3::CopyrightInfo},
      {"WOAF", "WAF", &clsID3::AudioURL},
      {"WOAS", "WAS", &clsID3::AudioSourceURL},
      {"WORS", nullptr, &clsID3::InternetRadioURL},
      {"WPAY", nullptr, &clsID3::PaymentURL},
      {"WPUB", "WPB", &clsID3::PublisherURL},
  };
  for (const Case& c : cases) {
    const bool url = c.v23[0] == 'W';
    const std::u16string value = u"value of frame";
    auto body = [&] {
      return url ? UrlBody("http://x.example/v") : TextBody(Encoding::Latin1, value);
    };
    const std::u16string expected = url ? u"http://x.example/v" : value;
    EXPECT_EQ(((*ReadTag(3, Frame(3, c.v23, body()))).*c.field)(), expected) << c.v23;
    EXPECT_EQ(((*ReadTag(4, Frame(4, c.v23, body()))).*c.field)(), expected) << c.v23;
    if (c.v22 != nullptr) {
      EXPECT_EQ(((*ReadTag(2, Frame(2, c.v22, body()))).*c.field)(), expected) << c.v22;
    }
  }
}

TEST(Id3v2Frames, UnlistedFramesChangeNothingAndIdsAreCaseSensitive) {
  const Bytes frames = Frame(3, "TXXX", TextBody(Encoding::Latin1, u"desc\0value"s)) +
                       Frame(3, "WXXX", "\x00\x00http://x"s) + Frame(3, "PRIV", "owner\0data"s) +
                       Text(3, "tit2", u"lower") + Text(3, "TIT1", u"grouping") +
                       Text(3, "TPE1", u"Listed");
  const auto tag = ReadTag(3, frames);
  EXPECT_EQ(tag->Title(), u"");
  EXPECT_EQ(tag->Artist(), u"Listed");
}

TEST(Id3v2Frames, LastFrameOfAKindWins) {
  const auto tag =
      ReadTag(3, Text(3, "TIT2", u"A") + Text(3, "TIT2", u"B") + Text(3, "TYER", u"2004") +
                     Frame(4, "TDRC", "") + Text(3, "TDRC", u"2005-01-02"));
  EXPECT_EQ(tag->Title(), u"B");
  EXPECT_EQ(tag->Year(), u"2005");
}

TEST(Id3v2Frames, YearPartsOfTimestamps) {
  EXPECT_EQ(ReadTag(4, Text(4, "TDRC", u"2004-05-06T12:00"))->Year(), u"2004");
  EXPECT_EQ(ReadTag(4, Text(4, "TDRC", u"2004"))->Year(), u"2004");
  EXPECT_EQ(ReadTag(4, Text(4, "TDOR", u"1969-07"))->OriginalReleaseYear(), u"1969");
  EXPECT_EQ(ReadTag(3, Text(3, "TDRC", u"-05"))->Year(), u"");             // accepted in v2.3 too
  EXPECT_EQ(ReadTag(4, Text(4, "TYER", u"2004-05"))->Year(), u"2004-05");  // TYER is not cut
}

TEST(Id3v2Frames, CommentsAndLyricsNeedAnEmptyDescription) {
  const auto hello =
      ReadTag(3, Frame(3, "COMM", CommentBody(Encoding::Latin1, "eng", u"", u"Hello")));
  EXPECT_EQ(hello->Comments(), u"Hello");
  const auto described =
      ReadTag(3, Frame(3, "COMM", CommentBody(Encoding::Latin1, "eng", u"x", u"Hello")));
  EXPECT_EQ(described->Comments(), u"");
  const auto last =
      ReadTag(3, Frame(3, "COMM", CommentBody(Encoding::Latin1, "eng", u"", u"a")) +
                     Frame(3, "COMM", CommentBody(Encoding::Latin1, "eng", u"d", u"z")) +
                     Frame(3, "COMM", CommentBody(Encoding::Latin1, "eng", u"", u"b")));
  EXPECT_EQ(last->Comments(), u"b");

  // The UTF-16 body 01 'eng' FF FE 00 00 FF FE 48 00 69 00.
  const auto utf16 = ReadTag(3, Frame(3, "COMM",
                                      "\x01"
                                      "eng\xFF\xFE\x00\x00\xFF\xFE\x48\x00\x69\x00"s));
  EXPECT_EQ(utf16->Comments(), u"Hi");

  const auto lyrics =
      ReadTag(4, Frame(4, "USLT", CommentBody(Encoding::Utf8, "eng", u"", u"Line one\r\n\u5317")) +
                     Frame(4, "USLT", CommentBody(Encoding::Utf8, "eng", u"karaoke", u"other")));
  EXPECT_EQ(lyrics->Lyrics(), u"Line one\r\n\u5317");

  const auto v22 = ReadTag(2, Frame(2, "COM", CommentBody(Encoding::Latin1, "eng", u"", u"c")) +
                                  Frame(2, "ULT", CommentBody(Encoding::Latin1, "eng", u"", u"l")));
  EXPECT_EQ(v22->Comments(), u"c");
  EXPECT_EQ(v22->Lyrics(), u"l");
}

TEST(Id3v2Frames, TrackAndDiscParts) {
  struct Case {
    std::u16string text;
    std::u16string number, total;
  };
  const Case cases[] = {
      {u"07/15", u"07", u"15"},     {u"5", u"5", u""},      {u"5/12/1", u"5", u""},
      {u"/12", u"", u"12"},         {u"A/12", u"0", u"12"}, {u"7 of 15", u"0", u""},
      {u" 3 / 9 ", u" 3 ", u" 9 "}, {u"", u"", u""},        {u"-2/+4", u"-2", u"+4"},
  };
  for (const Case& c : cases) {
    const auto tag = ReadTag(3, Text(3, "TRCK", c.text) + Text(3, "TPOS", c.text));
    EXPECT_EQ(tag->TrackNumber(), c.number)
        << "TRCK '" << std::string(c.text.begin(), c.text.end()) << "'";
    EXPECT_EQ(tag->TracksTotal(), c.total);
    EXPECT_EQ(tag->DiscNumber(), c.number);
    EXPECT_EQ(tag->DiscsTotal(), c.total);
  }
  // Only the last frame counts: its parts replace the first one's entirely.
  const auto tag = ReadTag(3, Text(3, "TRCK", u"1/10") + Text(3, "TRCK", u"2"));
  EXPECT_EQ(tag->TrackNumber(), u"2");
  EXPECT_EQ(tag->TracksTotal(), u"");
}

TEST(Id3v2Frames, UrlListsDropDuplicatesAndKeepFrameOrder) {
  const auto same = ReadTag(3, Frame(3, "WOAR", UrlBody("http://a.example/")) +
                                   Frame(3, "WOAR", UrlBody("HTTP://A.example/")));
  ASSERT_EQ(same->ArtistURL()->Count(), 1);
  const auto two = ReadTag(3, Frame(3, "WOAR", UrlBody("http://b.example/")) +
                                  Frame(3, "WCOM", UrlBody("http://shop.example/\0junk"s)) +
                                  Frame(3, "WOAR", UrlBody("http://a.example/")));
  ASSERT_EQ(two->ArtistURL()->Count(), 2);
  EXPECT_EQ(two->ArtistURL()->Item(1), u"http://b.example/");
  EXPECT_EQ(two->ArtistURL()->Item(2), u"http://a.example/");
  ASSERT_EQ(two->CommercialInfo()->Count(), 1);
  EXPECT_EQ(two->CommercialInfo()->Item(1), u"http://shop.example/");
  const auto v22 = ReadTag(2, Frame(2, "WAR", UrlBody("http://c.example/")) +
                                  Frame(2, "WCM", UrlBody("http://d.example/")));
  EXPECT_EQ(v22->ArtistURL()->Count(), 1);
  EXPECT_EQ(v22->CommercialInfo()->Count(), 1);
}

TEST(Id3v2Frames, PictureDataReachesTheListUnchanged) {
  const Bytes png = TinyPng(2, 2, 1, 2, 3);
  auto contains_png = [&](const clsID3& tag) {
    if (tag.AttachedPictures()->Count() != 1) return false;
    const std::u16string& entry = tag.AttachedPictures()->Item(1);
    std::string bytes;
    for (char16_t c : entry.substr(entry.size() - std::min(entry.size(), png.size()))) {
      unsigned char b = 0;
      if (!CodePage::CharToByte(c, b)) return false;
      bytes += static_cast<char>(b);
    }
    return bytes == png;
  };
  const auto v24 =
      ReadTag(4, Frame(4, "APIC", PictureBody(4, Encoding::Latin1, "image/png", 3, u"Cover", png)));
  EXPECT_TRUE(contains_png(*v24));
  // With encoding 0 the entry is the whole body after the encoding byte.
  EXPECT_EQ(CodePage::TextToBytes(v24->AttachedPictures()->Item(1)),
            "image/png\0\x03"s + "Cover\0"s + png);
  const auto v22 =
      ReadTag(2, Frame(2, "PIC", PictureBody(2, Encoding::Latin1, "PNG", 0, u"", png)));
  EXPECT_TRUE(contains_png(*v22));
  // A UTF-16 description must not disturb the picture bytes.
  const auto utf16 = ReadTag(
      3, Frame(3, "APIC", PictureBody(3, Encoding::Utf16, "image/png", 3, u"C\u00F6ver", png)));
  EXPECT_TRUE(contains_png(*utf16));
  // Two identical pictures are one entry; two different ones are two.
  const Bytes apic = Frame(3, "APIC", PictureBody(3, Encoding::Latin1, "image/png", 3, u"", png));
  EXPECT_EQ(ReadTag(3, apic + apic)->AttachedPictures()->Count(), 1);
  const Bytes other = Frame(3, "APIC", PictureBody(3, Encoding::Latin1, "image/png", 4, u"", png));
  EXPECT_EQ(ReadTag(3, apic + other)->AttachedPictures()->Count(), 2);
}

TEST(Id3v2Frames, CompressedFramesYieldEmptyValues) {
  // v2.3 format flag bit 7, v2.4 bit 3: the earlier value of the same kind is cleared.
  const auto v23 = ReadTag(3, Text(3, "TIT2", u"Before") +
                                  Frame(3, "TIT2", TextBody(Encoding::Latin1, u"zzz"), 0x0080) +
                                  Frame(3, "WOAR", "xyz", 0x0080) + Text(3, "TPE1", u"After"));
  EXPECT_EQ(v23->Title(), u"");
  EXPECT_EQ(v23->Artist(), u"After");
  ASSERT_EQ(v23->ArtistURL()->Count(), 1);
  EXPECT_EQ(v23->ArtistURL()->Item(1), u"");
  const auto v24 = ReadTag(4, Frame(4, "COMM", CommentBody(Encoding::Latin1, "eng", u"", u"x")) +
                                  Frame(4, "COMM", "whatever", 0x0008));
  EXPECT_EQ(v24->Comments(), u"");
  // Bits the reader does not look at change nothing: the status byte, unused format bits.
  EXPECT_EQ(ReadTag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"T"), 0xE01F))->Title(), u"T");
  EXPECT_EQ(ReadTag(4, Frame(4, "TIT2", TextBody(Encoding::Latin1, u"T"), 0x70B0))->Title(), u"T");
}

TEST(Id3v2Frames, GroupBytesAndDataLengthsBeforeTheBodyAreSkipped) {
  const Bytes body = TextBody(Encoding::Latin1, u"title");
  const Bytes length = SyncSafe(static_cast<uint32_t>(body.size()));
  // v2.4: data length (bit 0), group byte (bit 6), and both, the group byte first.
  EXPECT_EQ(ReadTag(4, Frame(4, "TIT2", length + body, 0x0001))->Title(), u"title");
  EXPECT_EQ(ReadTag(4, Frame(4, "TIT2", "\x07"s + body, 0x0040))->Title(), u"title");
  EXPECT_EQ(ReadTag(4, Frame(4, "TIT2", "\x07"s + length + body, 0x0041))->Title(), u"title");
  // v2.3: group byte (bit 5).
  EXPECT_EQ(ReadTag(3, Frame(3, "TIT2", "\x07"s + body, 0x0020))->Title(), u"title");
  // Unsynchronisation is undone first: a group byte FF carries a 00 after it.
  const Bytes latin = TextBody(Encoding::Latin1, u"\u00FF\u00E9");
  const Bytes raw = "\xFF"s + SyncSafe(static_cast<uint32_t>(latin.size())) + latin;
  const auto unsync = ReadTag(4, Frame(4, "TIT2", Unsynchronise(raw), 0x0043));
  EXPECT_EQ(unsync->Title(), u"\u00FF\u00E9");
  // Comments and their descriptions, URLs and genres the same.
  const Bytes comment = CommentBody(Encoding::Utf16, "eng", u"", u"Hi");
  const auto others = ReadTag(
      4, Frame(4, "COMM", SyncSafe(static_cast<uint32_t>(comment.size())) + comment, 0x0001) +
             Frame(4, "WOAR", "\x01http://a", 0x0040) +
             Frame(4, "TCON", "\x01"s + length + TextBody(Encoding::Latin1, u"(17)"), 0x0041));
  EXPECT_EQ(others->Comments(), u"Hi");
  ASSERT_EQ(others->ArtistURL()->Count(), 1);
  EXPECT_EQ(others->ArtistURL()->Item(1), u"http://a");
  EXPECT_EQ(others->GenreID(), 17);
  // A body shorter than its flags' bytes gives nothing, and the walk goes on.
  const auto short_body = ReadTag(4, Frame(4, "TIT2", "\x00\x00"s, 0x0001) + Text(4, "TPE1", u"A"));
  EXPECT_EQ(short_body->Title(), u"");
  EXPECT_EQ(short_body->Artist(), u"A");
  // Encrypted frames (v2.3 bit 6, v2.4 bit 2) are not read: like compressed ones, they give
  // empty text.
  EXPECT_EQ(
      ReadTag(3, Text(3, "TIT2", u"Before") + Frame(3, "TIT2", "\x80"s + body, 0x0040))->Title(),
      u"");
  EXPECT_EQ(ReadTag(4, Frame(4, "TIT2", "\x80"s + body, 0x0004))->Title(), u"");
  EXPECT_EQ(ReadTag(3, Frame(3, "TIT2", "\x80\x07"s + body, 0x0060))->Title(), u"");
}

TEST(Id3v2Frames, PicturesWithDataLengthsKeepOnlyTheirOwnBytes) {
  // Large enough to be read straight into its entry, beyond the walk's first read.
  Bytes data(5000, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + 1);
  const Bytes picture = "\x00"s + data;
  for (const uint16_t flags : {0x0001, 0x0041}) {
    const Bytes lead =
        (flags & 0x40 ? "\x03"s : ""s) + SyncSafe(static_cast<uint32_t>(picture.size()));
    const auto tag = ReadTag(4, Text(4, "TIT2", u"t") + Frame(4, "APIC", lead + picture, flags) +
                                    Text(4, "TPE1", u"After"));
    ASSERT_EQ(tag->AttachedPictures()->Count(), 1) << flags;
    EXPECT_EQ(CodePage::TextToBytes(tag->AttachedPictures()->Item(1)), data) << flags;
    EXPECT_EQ(tag->Artist(), u"After") << flags;
  }
  // Encrypted, it is an empty entry, as a compressed one is.
  const auto encrypted = ReadTag(4, Frame(4, "APIC", "\x80"s + picture, 0x0004));
  ASSERT_EQ(encrypted->AttachedPictures()->Count(), 1);
  EXPECT_EQ(encrypted->AttachedPictures()->Item(1), u"");
}

TEST(Id3v2Frames, Utf16WithoutByteOrderMarkReadsAsLittleEndian) {
  // Encoding 1, the mark left out, as some Windows writers do.
  const Bytes tony = "\x01T\x00o\x00n\x00y\x00"s;
  EXPECT_EQ(ReadTag(3, Frame(3, "TIT2", tony))->Title(), u"Tony");
  EXPECT_EQ(ReadTag(4, Frame(4, "TPE1", tony + "\x00\x00"s))->Artist(), u"Tony");
  // Comments and lyrics: a description and its terminator without mark, the text with or
  // without one.
  const Bytes utf16_eng = "\x01"s + "eng";
  const auto comments = [&](const Bytes& rest) {
    return ReadTag(3, Frame(3, "COMM", utf16_eng + rest))->Comments();
  };
  EXPECT_EQ(comments("\x00\x00H\x00i\x00"s), u"Hi");
  EXPECT_EQ(comments("\x00\x00\xFF\xFEH\x00i\x00"s), u"Hi");
  EXPECT_EQ(comments("d\x00\x00\x00H\x00i\x00"s), u"");  // a description: not the comment
  const auto lyrics = ReadTag(3, Frame(3, "USLT", utf16_eng + "\x00\x00\x1F\x04\x40\x04"s));
  EXPECT_EQ(lyrics->Lyrics(), u"\u041F\u0440");
  // What does not read as UTF-16 keeps its bytes as characters.
  EXPECT_EQ(ReadTag(3, Frame(3, "TIT2", "\x01T\x00o"s))->Title(), u"T");
}

TEST(Id3v2Walk, PaddingAndSignaturesEndIt) {
  TagOptions padded;
  padded.padding = 100;
  const auto only_padding = ReadTag(3, "", padded);
  EXPECT_TRUE(only_padding->ID3v2Exists());
  EXPECT_EQ(only_padding->Title(), u"");

  // A frame after the padding is not read.
  EXPECT_EQ(ReadTag(3, Text(3, "TIT2", u"A") + Bytes(4, '\0') + Text(3, "TPE1", u"B"))->Artist(),
            u"");
  // Fewer than four NULs at the very end are not padding, and nothing breaks.
  EXPECT_EQ(ReadTag(3, Text(3, "TIT2", u"A") + Bytes(3, '\0'))->Title(), u"A");

  for (const Bytes& signature : {"MP3ext V3.3.19(unicode)"s, "\0\0\0MP3ext V3.3.19(unicode)"s,
                                 "ext V1.0(unicode)"s, ")"s, "code)"s, "(unicode)"s}) {
    const auto tag = ReadTag(3, Text(3, "TIT2", u"Kept") + signature + Text(3, "TPE1", u"Lost"));
    EXPECT_EQ(tag->Title(), u"Kept");
    EXPECT_EQ(tag->Artist(), u"") << signature;
  }
  EXPECT_TRUE(Id3v2::IsMp3extSignature("MP3ext V3.3.19(unicode)", 1));
  EXPECT_FALSE(Id3v2::IsMp3extSignature("MP3ext V3.3.19 (unicode)", 1));
  EXPECT_FALSE(Id3v2::IsMp3extSignature("TIT2", 1));
}

TEST(Id3v2Walk, TruncatedTagsAndHugeSizesEndItSafely) {
  // A frame whose size runs past the tag: mapped with the bytes there are, then the walk ends.
  Bytes frame = Text(3, "TIT2", u"Partial");
  frame.replace(4, 4, BigEndian(0x7FFFFFF0, 4));
  EXPECT_EQ(ReadTag(3, frame)->Title(), u"Partial");
  // A size that does not fit 32 bits signed.
  frame.replace(4, 4, "\xFF\xFF\xFF\xFF"s);
  EXPECT_EQ(ReadTag(3, frame + Text(3, "TPE1", u"x"))->Artist(), u"");

  // The file ends inside the tag: frames wholly inside are read.
  const Bytes tag = Id3v2Tag(3, Text(3, "TIT2", u"Whole") + Text(3, "TPE1", u"Cut short"));
  const auto cut = Read(tag.substr(0, tag.size() - 3));
  EXPECT_TRUE(cut->ID3v2Exists());
  EXPECT_EQ(cut->Title(), u"Whole");

  // A header that announces 256 MB in a tiny file.
  const auto huge = Read("ID3\x04\x00\x00\x7F\x7F\x7F\x7F"s + Text(4, "TIT2", u"Tiny"));
  EXPECT_TRUE(huge->ID3v2Exists());
  EXPECT_EQ(huge->Title(), u"Tiny");
  EXPECT_EQ(huge->Layer(), 0);
}

TEST(Id3v2Walk, NeverFailsOnArbitraryBytes) {
  // Bytes that look like a tag with random frames: the read must end and report a tag.
  std::mt19937 random(20261207);
  for (int round = 0; round < 300; ++round) {
    Bytes data(static_cast<size_t>(random() % 300), '\0');
    for (char& c : data) c = static_cast<char>(random() % 4 == 0 ? 0xFF : random() % 256);
    const int version = static_cast<int>(random() % 6);
    const uint8_t flags = static_cast<uint8_t>(random() % 256);
    Bytes file = "ID3"s + static_cast<char>(version) + '\0' + static_cast<char>(flags) +
                 SyncSafe(static_cast<uint32_t>(random() % 400)) + data;
    const auto tag = Read(file);
    EXPECT_TRUE(tag->ID3v2Exists());
  }
}

}  // namespace
