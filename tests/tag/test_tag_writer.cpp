// UpdateID3Tags and DeleteID3Tags, checked byte for byte against files built by hand.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/tag/test_tag_writer_support.h"

namespace {

using namespace WriterTest;

Bytes V1(const std::string& title, uint8_t genre = 255) {
  Id3v1Fields f;
  f.title = title;
  f.genre = genre;
  return Id3v1(f);
}

TagOptions Pad(size_t padding, bool footer = false) {
  TagOptions options;
  options.padding = padding;
  options.footer = footer;
  return options;
}

Bytes Text3(std::string_view id, std::string_view text) { return Frame(3, id, Body(0, text)); }
Bytes Text4(std::string_view id, std::string_view text) { return Frame(4, id, Body(0, text)); }
const Bytes kNoGenre3 = Text3("TCON", "(255)");

// Writes `before`, lets `change` alter the tag object, writes the tags and returns the new file.
template <typename Change>
std::string Rewrite(const Bytes& before, Change change, bool expect_ok = true) {
  Folder folder;
  const std::string path = folder.Write("song.mp3", before);
  auto tag = Open(path);
  change(*tag);
  tag->UpdateID3Tags();
  EXPECT_EQ(tag->LastWriteSucceeded(), expect_ok) << tag->LastWriteError();
  EXPECT_EQ(folder.Entries(), 1u) << "a temporary file was left behind";
  return ReadAll(path);
}

TEST(TagWriter, UntaggedFileWithTitleGetsTheWholeLayout) {
  const Bytes audio = Audio();
  const std::string after = Rewrite(audio, [](clsID3& t) { t.SetTitle(u"A"); });
  const Bytes data = kNoGenre3 + Text3("TIT2", "A") + Bytes(2048, '\0');
  EXPECT_TRUE(after == Id3v2Tag(3, data) + audio + V1("A"));
}

TEST(TagWriter, PaddingAndUnknownFramesKeepTheirPlace) {
  const Bytes audio = Audio();
  // v2.4 with 100 bytes of padding: still 100 after a frame is added.
  const Bytes v24 = Id3v2Tag(4, Text4("TIT2", "x"), Pad(100)) + audio;
  EXPECT_EQ(TagData(Rewrite(v24, [](clsID3& t) { t.SetAlbum(u"Al"); })),
            Text4("TIT2", "x") + Text4("TALB", "Al") + Text4("TCON", "(255)") + Bytes(100, '\0'));

  const Bytes priv = Frame(3, "PRIV", Bytes("owner\0\x01\x02", 8));
  const Bytes v23 = Id3v2Tag(3, Text3("TIT2", "x") + priv + Text3("TALB", "y"), Pad(10));
  EXPECT_EQ(TagData(Rewrite(v23 + audio, [](clsID3& t) { t.SetTitle(u"New"); })),
            Text3("TIT2", "New") + priv + Text3("TALB", "y") + kNoGenre3 + Bytes(10, '\0'));

  // Padding too short for a frame header is padding all the same, not a damaged frame.
  const Bytes short_tail = Id3v2Tag(3, Text3("TIT2", "x"), Pad(3));
  EXPECT_EQ(TagData(Rewrite(short_tail + audio, [](clsID3& t) { t.SetTitle(u"y"); })),
            Text3("TIT2", "y") + kNoGenre3 + Bytes(3, '\0'));
}

TEST(TagWriter, CommentFramesWithAndWithoutDescription) {
  const Bytes first = Frame(3, "COMM", CommentBody(Encoding::Latin1, "eng", u"", u"a"));
  const Bytes note = Frame(3, "COMM", CommentBody(Encoding::Latin1, "deu", u"note", u"n"));
  const Bytes second = Frame(3, "COMM", CommentBody(Encoding::Latin1, "eng", u"", u"b"));
  const Bytes file = Id3v2Tag(3, first + note + second, Pad(4)) + Audio();
  EXPECT_EQ(TagData(Rewrite(file, [](clsID3& t) { t.SetComments(u"c"); })),
            Frame(3, "COMM", Bytes("\0eng\0c", 6)) + note + kNoGenre3 + Bytes(4, '\0'));
  EXPECT_EQ(TagData(Rewrite(file, [](clsID3& t) { t.SetComments(u""); })),
            note + kNoGenre3 + Bytes(4, '\0'));
}

TEST(TagWriter, ListItemsRewriteInPlaceThenAppend) {
  const Bytes file = Id3v2Tag(3, Frame(3, "WCOM", "u1") + Text3("TIT2", "t"), Pad(2)) + Audio();
  EXPECT_EQ(TagData(Rewrite(file,
                            [](clsID3& t) {
                              t.CommercialInfo()->SetItem(1, u"v1");
                              t.CommercialInfo()->Add(u"u2");
                              t.CommercialInfo()->Add(u"u3");
                            })),
            Frame(3, "WCOM", "v1") + Text3("TIT2", "t") + kNoGenre3 + Frame(3, "WCOM", "u2") +
                Frame(3, "WCOM", "u3") + Bytes(2, '\0'));
  // More frames than items: the extra frames go.
  const Bytes two = Id3v2Tag(3, Frame(3, "WOAR", "a") + Frame(3, "WOAR", "b"), Pad(2)) + Audio();
  EXPECT_EQ(TagData(Rewrite(two, [](clsID3& t) { t.ArtistURL()->Remove(2); })),
            Frame(3, "WOAR", "a") + kNoGenre3 + Bytes(2, '\0'));
}

// The three lists share one walk: each old frame takes the next item of its own list.
TEST(TagWriter, EachListTakesItsOwnItems) {
  struct Ids {
    int version;
    const char *commercial, *artist, *picture, *title, *genre, *format;
  };
  for (const Ids& v : {Ids{2, "WCM", "WAR", "PIC", "TT2", "TCO", "PNG"},
                       Ids{3, "WCOM", "WOAR", "APIC", "TIT2", "TCON", "image/png"}}) {
    SCOPED_TRACE(v.version);
    auto frame = [&](const char* id, std::string_view body) { return Frame(v.version, id, body); };
    const Bytes picture = frame(v.picture, PictureBody(v.version, Encoding::Latin1, v.format, 3,
                                                       u"c", TinyPng(1, 1, 0, 0, 0)));
    const Bytes title = frame(v.title, Body(0, "t"));
    const Bytes file = Id3v2Tag(v.version,
                                frame(v.commercial, "c1") + frame(v.artist, "a1") + picture +
                                    frame(v.commercial, "c2") + frame(v.artist, "a2") + title,
                                Pad(2)) +
                       Audio();
    EXPECT_EQ(TagData(Rewrite(file,
                              [](clsID3& t) {
                                t.CommercialInfo()->SetItem(2, u"c2x");
                                t.CommercialInfo()->Add(u"c3");
                                t.ArtistURL()->Remove(1);
                              })),
              frame(v.commercial, "c1") + frame(v.artist, "a2") + picture +
                  frame(v.commercial, "c2x") + title + frame(v.genre, Body(0, "(255)")) +
                  frame(v.commercial, "c3") + Bytes(2, '\0'));
  }
}

TEST(TagWriter, TrackNumberInTrckAndTheId3v11Byte) {
  struct Case {
    std::u16string track, total;
    std::string trck;
    int v11;  // -1: a plain ID3v1 block
  };
  const Case cases[] = {{u"7", u"12", "7/12", 7},     {u"300", u"", "300", -1},
                        {u"6.5", u"", "6.5", 6},      {u"7.5", u"", "7.5", 8},
                        {u" 12 ", u"", " 12 ", 12},   {u"0.5", u"", "0.5", -1},
                        {u"255.5", u"", "255.5", -1}, {u"255", u"", "255", 255},
                        {u"x", u"9", "x/9", -1},      {u"", u"9", "", -1}};
  for (const Case& c : cases) {
    const std::string after = Rewrite(Audio(), [&](clsID3& t) {
      t.SetTrackNumber(c.track);
      t.SetTracksTotal(c.total);
      t.SetComments(u"abcdefghijklmnopqrstuvwxyz0123");
    });
    const std::string data = TagData(after);
    const Bytes trck = Text3("TRCK", c.trck);
    EXPECT_EQ(data.find(trck) != std::string::npos, !c.trck.empty()) << c.trck;
    const std::string block = after.substr(after.size() - 128);
    if (c.v11 < 0) {
      EXPECT_EQ(block.substr(97, 30), "abcdefghijklmnopqrstuvwxyz0123") << c.trck;
    } else {
      EXPECT_EQ(block.substr(97, 28), "abcdefghijklmnopqrstuvwxyz01") << c.trck;
      EXPECT_EQ(block[125], '\0');
      EXPECT_EQ(static_cast<unsigned char>(block[126]), c.v11) << c.trck;
    }
  }
}

TEST(TagWriter, LongTitleGetsALyrics3Block) {
  const std::u16string title = u"0123456789abcdefghijklmnopqrstuvwxyzABCD";  // 40 characters
  const Bytes audio = Audio();
  const std::string after = Rewrite(audio, [&](clsID3& t) { t.SetTitle(title); });
  const std::string ascii(title.begin(), title.end());
  const Bytes tail = Lyrics3v2({{"IND", "00"}, {"ETT", ascii}}) + V1(ascii.substr(0, 30));
  ASSERT_GE(after.size(), tail.size());
  EXPECT_EQ(after.substr(after.size() - tail.size()), tail);
  EXPECT_EQ(after.substr(after.size() - tail.size() - audio.size(), audio.size()), audio);

  // Line breaks are escaped and values cut at 250 characters.
  std::u16string album = u"a\r\nb\rc\nd";
  album.resize(300, u'z');
  const std::string written = Rewrite(audio, [&](clsID3& t) { t.SetAlbum(album); });
  const std::string eal = "EAL00262a[CR][LF]b[CR]c[LF]d" + std::string(242, 'z');
  EXPECT_NE(written.find(eal + "000291LYRICS200"), std::string::npos);
}

TEST(TagWriter, OldLyrics3BlocksAreDroppedOrReplaced) {
  const Bytes audio = Audio();
  const Bytes v1 = audio + Lyrics3v1("hello") + V1("T");
  std::string after = Rewrite(v1, [](clsID3&) {});
  EXPECT_TRUE(after.substr(after.size() - 128 - audio.size()) == audio + V1("T"))
      << "v1 block kept";

  const Bytes v2 = audio + Lyrics3v2({{"IND", "00"}, {"INF", "info"}, {"AUT", "me"}}) + V1("T");
  after = Rewrite(v2, [](clsID3&) {});
  EXPECT_TRUE(after.substr(after.size() - 128 - audio.size()) == audio + V1("T"))
      << "v2 block kept";

  const std::string artist(35, 'r');
  after =
      Rewrite(v2, [&](clsID3& t) { t.SetArtist(std::u16string(artist.begin(), artist.end())); });
  Id3v1Fields f;
  f.title = "T";
  f.artist = artist;
  const Bytes tail = audio + Lyrics3v2({{"IND", "00"}, {"EAR", artist}}) + Id3v1(f);
  EXPECT_TRUE(after.size() > tail.size() && after.substr(after.size() - tail.size()) == tail);

  // A size field that is not six digits is no Lyrics3 block: the bytes stay as audio.
  const Bytes odd = audio + "LYRICSBEGIN" + "00001A" + "LYRICS200";
  after = Rewrite(odd, [](clsID3& t) { t.SetTitle(u"x"); });
  EXPECT_NE(after.find(odd), std::string::npos);
}

TEST(TagWriter, AccessAndModificationTimesArePutBack) {
  Folder folder;
  const std::string path = folder.Write("song.mp3", Audio());
  auto tag = Open(path);
  // Set after the read, which may itself move the access time.
  const timespec times[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  tag->SetTitle(u"t");
  tag->UpdateID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded());
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_atim.tv_sec, times[0].tv_sec);
  EXPECT_EQ(st.st_atim.tv_nsec, times[0].tv_nsec);
  EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
  tag->DeleteID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded());
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
  EXPECT_EQ(st.st_atim.tv_nsec, times[0].tv_nsec);
}

TEST(TagWriter, GenreTextAndTheId3v1GenreByte) {
  struct Case {
    int32_t id;
    std::u16string genre;
    std::string tcon;
    int v1;  // -1: no ID3v1 block
  };
  const Case cases[] = {{17, u"Rock", "(17)Rock", 17},
                        {17, u"", "(17)", 17},
                        {255, u"Chiptune", "Chiptune", -1},
                        {255, u"", "(255)", -1},
                        {255, u"rock", "rock", 17},
                        {12, u" Other ", " Other ", -1},
                        {-1, u"", "(RX)", -1},
                        {-2, u"x", "(CR)x", -1},
                        {1000, u"", "(1000)", 255},
                        {255, u"Unknown", "Unknown", -1},
                        {12, u"Remix", "Remix", -1}};
  for (const Case& c : cases) {
    const std::string after = Rewrite(Audio(), [&](clsID3& t) {
      t.SetGenreID(c.id);
      t.SetGenre(c.genre);
    });
    EXPECT_EQ(TagData(after).substr(0, 10 + c.tcon.size() + 1), Text3("TCON", c.tcon)) << c.tcon;
    const bool has_v1 = after.compare(after.size() - 128, 3, "TAG") == 0;
    EXPECT_EQ(has_v1, c.v1 >= 0) << c.tcon;
    if (has_v1 && c.v1 >= 0) {
      EXPECT_EQ(static_cast<unsigned char>(after.back()), c.v1) << c.tcon;
    }
  }
}

TEST(TagWriter, TheTagKeepsItsVersionAndLosesItsEncodings) {
  const Bytes audio = Audio();
  // v2.2: three-character IDs, six-byte headers.
  std::string after = Rewrite(Id3v2Tag(2, Frame(2, "TT2", Body(0, "x"))) + audio,
                              [](clsID3& t) { t.SetTitle(u"y"); });
  EXPECT_EQ(after.substr(0, 4), "ID3\x02");
  EXPECT_EQ(TagData(after),
            Frame(2, "TT2", Body(0, "y")) + Frame(2, "TCO", Body(0, "(255)")) + Bytes(2048, '\0'));

  // v2.3 unsynchronised, with an extended header: written plain, without either.
  const Bytes ff = Frame(3, "PRIV", Bytes("o\0\xFF\xE0", 4));
  TagOptions options = Pad(5);
  options.unsynchronise = true;
  options.extended_header = ExtendedHeader(3);
  after = Rewrite(Id3v2Tag(3, ff, options) + audio, [](clsID3& t) { t.SetTitle(u"y"); });
  EXPECT_EQ(after.substr(0, 6), Bytes("ID3\x03\0\0", 6));
  EXPECT_EQ(TagData(after), ff + kNoGenre3 + Text3("TIT2", "y") + Bytes(5, '\0'));

  // v2.4: a kept frame loses its own unsynchronisation; the footer goes.
  const Bytes raw = Bytes("o\0\xFF\0\xE0", 5);
  after = Rewrite(Id3v2Tag(4, Frame(4, "PRIV", raw, 0x0002), Pad(1, true)) + audio,
                  [](clsID3& t) { t.SetTitle(u"y"); });
  EXPECT_EQ(TagData(after), Frame(4, "PRIV", Bytes("o\0\xFF\xE0", 4)) + Text4("TCON", "(255)") +
                                Text4("TIT2", "y") + Bytes(1, '\0'));
  EXPECT_EQ(after.find("3DI"), std::string::npos);
  EXPECT_NE(after.find(audio), std::string::npos);

  // v2.4 manages TDRC and TDOR, v2.3 TYER and TORY; the other pair is kept as it stands.
  after =
      Rewrite(Id3v2Tag(4, Text4("TYER", "1999")) + audio, [](clsID3& t) { t.SetYear(u"2001"); });
  EXPECT_EQ(TagData(after).substr(0, 60), Text4("TYER", "1999") + Text4("TCON", "(255)") +
                                              Text4("TDRC", "2001") + Bytes(60 - 46, '\0'));
}

TEST(TagWriter, TextOutsideTheCodePageIsWrittenAsUtf16) {
  const Bytes audio = Audio();
  Folder folder;
  const std::string path = folder.Write("song.mp3", audio);
  auto tag = Open(path);
  tag->SetTitle(u"日本😀");
  tag->SetArtist(u"Björk");
  tag->SetComments(u"Ωμέγα");
  tag->UpdateID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded());
  const std::string data = TagData(ReadAll(path));
  EXPECT_NE(data.find(Frame(3, "TIT2", Bytes("\x01\xFF\xFE\xE5\x65\x2C\x67\x3D\xD8\x00\xDE", 11))),
            std::string::npos);
  EXPECT_NE(data.find(Text3("TPE1", "Bj\xF6rk")), std::string::npos);
  EXPECT_NE(data.find(Frame(3, "COMM",
                            Bytes("\x01"
                                  "eng\xFF\xFE\0\0\xFF\xFE",
                                  10) +
                                Bytes("\xA9\x03\xBC\x03\xAD\x03\xB3\x03\xB1\x03", 10))),
            std::string::npos);
  // The legacy block keeps one "?" per 16-bit unit.
  const std::string block = ReadAll(path).substr(ReadAll(path).size() - 128);
  EXPECT_EQ(block.substr(3, 5), Bytes("????\0", 5));

  auto again = Open(path);
  EXPECT_EQ(again->Title(), u"日本😀");
  EXPECT_EQ(again->Artist(), u"Björk");
  EXPECT_EQ(again->Comments(), u"Ωμέγα");
  // Changing another field leaves these values as they were.
  again->SetYear(u"2020");
  again->UpdateID3Tags();
  auto third = Open(path);
  EXPECT_EQ(third->Title(), u"日本😀");
  EXPECT_EQ(third->Comments(), u"Ωμέγα");
}

TEST(TagWriter, FramesItCannotRebuildAreKeptWhileUnchanged) {
  const Bytes audio = Audio();
  const Bytes picture = Frame(
      3, "APIC", PictureBody(3, Encoding::Utf16, "image/png", 3, u"cover", TinyPng(2, 2, 1, 2, 3)));
  const Bytes compressed = Frame(3, "TALB", Bytes("\0\0\0\x05xyzzy", 9), 0x0080);
  const Bytes encrypted = Frame(3, "TPE1", Bytes("\x01\x02\x03", 3), 0x0040);
  const Bytes file = Id3v2Tag(3, picture + compressed + encrypted + Text3("TIT2", "t")) + audio;

  std::string data = TagData(Rewrite(file, [](clsID3& t) { t.SetTitle(u"u"); }));
  EXPECT_EQ(data.substr(0, picture.size() + compressed.size() + encrypted.size()),
            picture + compressed + encrypted);

  // A Latin-1 picture without MIME type: the reader drops its first NUL, so a rebuild would too.
  const Bytes no_mime = Frame(3, "APIC", Bytes("\0\0\x03d\0data", 9));
  const Bytes second = Id3v2Tag(3, no_mime + Text3("TIT2", "t")) + audio;
  EXPECT_EQ(TagData(Rewrite(second, [](clsID3& t) { t.SetTitle(u"u"); })).substr(0, no_mime.size()),
            no_mime);

  // v2.4 frames with a group byte or a data length before the body, read past those bytes,
  // stay as they are while their fields do.
  const Bytes png = PictureBody(4, Encoding::Latin1, "image/png", 3, u"", TinyPng(2, 2, 1, 2, 3));
  const Bytes lead_picture =
      Frame(4, "APIC", Bytes("\x05") + SyncSafe(static_cast<uint32_t>(png.size())) + png, 0x0041);
  const Bytes lead_artist = Frame(4, "TPE1", SyncSafe(3) + Body(0, "ab"), 0x0001);
  const Bytes v24 = Id3v2Tag(4, lead_picture + lead_artist + Text4("TIT2", "t"), Pad(1)) + audio;
  EXPECT_EQ(TagData(Rewrite(v24,
                            [](clsID3& t) {
                              EXPECT_EQ(t.Artist(), u"ab");
                              t.SetTitle(u"u");
                            }))
                .substr(0, lead_picture.size() + lead_artist.size()),
            lead_picture + lead_artist);

  // Once the user changes them, the fields win.
  data = TagData(Rewrite(file, [](clsID3& t) {
    t.AttachedPictures()->SetItem(1, std::u16string(u"image/png\0\x03\0data", 16));
    t.SetAlbum(u"Al");
    t.SetArtist(u"Ar");
  }));
  const Bytes expected = Frame(3, "APIC", Bytes("\0image/png\0\x03\0data", 17)) +
                         Text3("TALB", "Al") + Text3("TPE1", "Ar") + Text3("TIT2", "t");
  EXPECT_EQ(data.substr(0, expected.size()), expected);
}

TEST(TagWriter, ASecondFrameOfOneFieldIsDeleted) {
  const Bytes file =
      Id3v2Tag(3, Text3("TIT2", "A") + Text3("TPE1", "p") + Text3("TIT2", "B")) + Audio();
  Folder folder;
  const std::string path = folder.Write("song.mp3", file);
  auto tag = Open(path);
  EXPECT_EQ(tag->Title(), u"B");
  tag->SetTitle(u"C");
  tag->UpdateID3Tags();
  EXPECT_EQ(TagData(ReadAll(path)),
            Text3("TIT2", "C") + Text3("TPE1", "p") + kNoGenre3 + Bytes(2048, '\0'));
  EXPECT_EQ(Open(path)->Title(), u"C");
}

TEST(TagWriter, UntouchedValuesTheFieldsCannotHoldStay) {
  const Bytes date = Text4("TDRC", "2004-05-06T12:00");
  const Bytes track = Text4("TRCK", "7 of 15");
  const Bytes disc = Text4("TPOS", "1/2/3");
  const Bytes file = Id3v2Tag(4, date + track + disc + Text4("TIT2", "t"), Pad(1)) + Audio();
  EXPECT_EQ(TagData(Rewrite(file, [](clsID3& t) { t.SetTitle(u"u"); })),
            date + track + disc + Text4("TIT2", "u") + Text4("TCON", "(255)") + Bytes(1, '\0'));
  // Once changed, the fields are written as they stand.
  EXPECT_EQ(TagData(Rewrite(file,
                            [](clsID3& t) {
                              t.SetYear(u"2005");
                              t.SetTrackNumber(u"8");
                            })),
            Text4("TDRC", "2005") + Text4("TRCK", "8") + disc + Text4("TIT2", "t") +
                Text4("TCON", "(255)") + Bytes(1, '\0'));
}

// An untouched frame stays byte for byte only where a rewrite from its field would lose text it
// holds; where only its form would change, it is rewritten.
TEST(TagWriter, UntouchedFramesStayOnlyWhereARewriteWouldLoseText) {
  const Bytes audio = Audio();
  Id3v1Fields v1;
  v1.genre = 52;
  const Bytes date = Text4("TDRC", "2011-09-26");
  const Bytes track = Text4("TRCK", "90000A");
  const Bytes artists = Frame(4, "TPE1", Bytes("\x03One\0Two", 9));
  const Bytes genre = Frame(4, "TCON", TextBody(Encoding::Utf16, u"Electronic"));
  const Bytes v24 = Id3v2Tag(4, date + track + artists + genre, Pad(1)) + audio + Id3v1(v1);
  EXPECT_EQ(TagData(Rewrite(v24, [](clsID3& t) { t.SetTitle(u"u"); })),
            date + track + artists + Text4("TCON", "(52)Electronic") + Text4("TIT2", "u") +
                Bytes(1, '\0'));

  // The genre rule and a dropped trailing NUL change only the form.
  v1.genre = 17;
  const Bytes v23 =
      Id3v2Tag(3, Text3("TCON", Bytes("Rock\0", 5)) + Text3("TYER", Bytes("2004\0", 5)), Pad(1)) +
      audio + Id3v1(v1);
  EXPECT_EQ(
      TagData(Rewrite(v23, [](clsID3& t) { t.SetAlbum(u"a"); })),
      Text3("TCON", "(17)Rock") + Text3("TYER", "2004") + Text3("TALB", "a") + Bytes(1, '\0'));

  // A year that a later TDRC shadows is rewritten with the year the read returned; the TDRC,
  // which a v2.3 tag does not manage, stays.
  const Bytes shadowed =
      Id3v2Tag(3, Text3("TYER", "2004") + Text3("TDRC", "2011-09-26") + kNoGenre3, Pad(1)) + audio;
  EXPECT_EQ(TagData(Rewrite(shadowed, [](clsID3& t) { t.SetAlbum(u"a"); })),
            Text3("TYER", "2011") + Text3("TDRC", "2011-09-26") + kNoGenre3 + Text3("TALB", "a") +
                Bytes(1, '\0'));

  // A UTF-16 title whose second half follows a NUL stays while untouched.
  const Bytes halves = Frame(3, "TIT2",
                             Bytes("\x01\xFF\xFE"
                                   "A\0\0\0B\0",
                                   9));
  const Bytes two = Id3v2Tag(3, halves + kNoGenre3, Pad(1)) + audio;
  EXPECT_EQ(TagData(Rewrite(two, [](clsID3& t) { t.SetAlbum(u"a"); })),
            halves + kNoGenre3 + Text3("TALB", "a") + Bytes(1, '\0'));
  EXPECT_EQ(TagData(Rewrite(two, [](clsID3& t) { t.SetTitle(u"C"); })),
            Text3("TIT2", "C") + kNoGenre3 + Bytes(1, '\0'));
}

TEST(TagWriter, ADamagedTagIsNotCut) {
  const Bytes audio = Audio();
  Bytes overrun = Text3("TIT2", "x") + Frame(3, "TALB", Body(0, "y"));
  overrun[17] = 0x7F;  // TALB claims far more than the tag holds
  const Bytes huge = Text3("TIT2", "x") + "TALB" + Bytes("\xFF\xFF\xFF\xFF\0\0", 6) + Body(0, "y");
  const Bytes past_end = Bytes("ID3\x03\0\0\0\0\x7F\x7F", 10) + Text3("TIT2", "x");
  for (const Bytes& file : {Id3v2Tag(3, overrun) + audio, Id3v2Tag(3, huge) + audio, past_end}) {
    Folder folder;
    const std::string path = folder.Write("song.mp3", file);
    auto tag = Open(path);
    tag->SetTitle(u"z");
    tag->UpdateID3Tags();
    EXPECT_FALSE(tag->LastWriteSucceeded());
    EXPECT_FALSE(tag->LastWriteError().empty());
    EXPECT_EQ(ReadAll(path), file);
    EXPECT_EQ(folder.Entries(), 1u);
  }
}

TEST(TagWriter, TheFileStaysTheSameFile) {
  Folder folder;
  const Bytes audio = Audio();
  const std::string target = folder.Write("real.mp3", audio);
  const std::string link = (folder.Path() / "link.mp3").string();
  ASSERT_EQ(::symlink("real.mp3", link.c_str()), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  auto tag = Open(link);
  tag->SetTitle(u"via link");
  tag->UpdateID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded()) << tag->LastWriteError();
  struct stat st {};
  ASSERT_EQ(::lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(Open(target)->Title(), u"via link");
  EXPECT_EQ(folder.Entries(), 2u);

  // A second hard link would keep the old content: refused, both names unchanged.
  const std::string other = (folder.Path() / "other.mp3").string();
  ASSERT_EQ(::link(target.c_str(), other.c_str()), 0);
  const std::string before = ReadAll(target);
  tag->SetTitle(u"split");
  tag->UpdateID3Tags();
  EXPECT_FALSE(tag->LastWriteSucceeded());
  EXPECT_NE(tag->LastWriteError().find("hard link"), std::string::npos);
  EXPECT_EQ(ReadAll(other), before);
  tag->DeleteID3Tags();
  EXPECT_FALSE(tag->LastWriteSucceeded());
  EXPECT_EQ(ReadAll(target), before);
  ASSERT_EQ(::unlink(other.c_str()), 0);

  // A read-only file is left alone, even where permission bits do not stop a write.
  ASSERT_EQ(::chmod(target.c_str(), 0444), 0);
  tag->UpdateID3Tags();
  EXPECT_FALSE(tag->LastWriteSucceeded());
  EXPECT_EQ(ReadAll(target), before);
}

TEST(TagRemoval, OnlyTheAudioStays) {
  const Bytes audio = Audio();
  Bytes frames = Text3("TIT2", "x");
  const Bytes tag = Id3v2Tag(3, frames, Pad(4086 - frames.size()));
  ASSERT_EQ(tag.size(), 4096u);
  const Bytes lyrics = Lyrics3v2({{"IND", "00"}, {"LYR", "la la"}});
  Folder folder;
  const std::string path = folder.Write("song.mp3", tag + audio + lyrics + V1("t"));
  auto object = Open(path);
  const timespec times[2] = {{1000000000, 5}, {1100000000, 7}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  object->DeleteID3Tags();
  EXPECT_TRUE(object->LastWriteSucceeded()) << object->LastWriteError();
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, times[1].tv_sec);
  EXPECT_EQ(st.st_mtim.tv_nsec, times[1].tv_nsec);
  EXPECT_EQ(st.st_atim.tv_sec, times[0].tv_sec);
  EXPECT_TRUE(ReadAll(path) == audio);
  // Cleared without a new read.
  EXPECT_EQ(object->Title(), u"");
  EXPECT_EQ(object->Lyrics(), u"");
  EXPECT_EQ(object->GenreID(), 255);
  EXPECT_FALSE(object->ID3v2Exists());
  EXPECT_FALSE(object->ID3v1Exists());
  EXPECT_EQ(object->ID3RevisionV2(), 3);
  EXPECT_EQ(object->AttachedPictures()->Count(), 0);

  const Bytes cases[][2] = {
      {audio, audio},
      {Id3v2Tag(4, Text4("TIT2", "x"), Pad(0, true)) + audio, audio},
      {audio + V1("t"), audio},
      {audio + Lyrics3v1("words") + V1("t"), audio},
  };
  for (const auto& [before, expected] : cases) {
    const std::string p = folder.Write("case.mp3", before);
    auto t = Open(p);
    t->DeleteID3Tags();
    EXPECT_TRUE(t->LastWriteSucceeded()) << t->LastWriteError();
    EXPECT_TRUE(ReadAll(p) == expected);
    EXPECT_EQ(t->ID3RevisionV2(), before.compare(0, 3, "ID3") == 0 ? 4 : 0);
  }
}

TEST(TagRemoval, AFileThatCannotBeOpenedIsStillClearedInMemory) {
  Folder folder;
  const std::string path = folder.Write("song.mp3", Id3v2Tag(3, Text3("TIT2", "x")) + Audio());
  auto tag = Open(path);
  ASSERT_EQ(tag->Title(), u"x");
  std::filesystem::remove(path);
  tag->DeleteID3Tags();
  EXPECT_FALSE(tag->LastWriteSucceeded());
  EXPECT_EQ(tag->Title(), u"");
}

}  // namespace
