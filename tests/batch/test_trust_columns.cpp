// The columns that say how far to trust the others, legacy text in real code pages through
// iconv and uchardet, and the totals per folder.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include <QStringList>
#include <atomic>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "tests/batch/ChosenColumnsRun.h"

#include "batch/ColumnCatalogue.h"
#include "batch/ExtractionRun.h"
#include "batch/FieldNames.h"
#include "batch/FolderTotals.h"
#include "batch/TrustCells.h"
#include "core/ErrorReport.h"
#include "legacy/IconvLegacyText.h"
#include "tag/CodePage.h"
#include "tests/support/CodePageText.h"
#include "tests/support/TestFiles.h"
#include "tests/support/fakes/FakeServices.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using namespace SampleBuilder;

QString Q(const std::string& s) { return QString::fromStdString(s); }

using TrustRun = ChosenColumnsRun;

TEST_F(TrustRun, SourcesConflictsAndTheExactDurationInTheirCells) {
  Id3v1Fields v1;
  v1.title = "Other title";
  v1.year = "1999";
  v1.track = 2;
  const Bytes frames = Frame(4, "TIT2", TextBody(Encoding::Utf8, u"Song")) +
                       Frame(4, "TRCK", TextBody(Encoding::Latin1, u"2/9"));
  const int frame = FrameLength(kMpeg1, false);
  const Bytes audio = XingFrame(kMpeg1, 100, 100 * frame) + SilentFrames(kMpeg1, 99);
  const std::string path = dir.Write("a.mp3", Id3v2Tag(4, frames) + audio + Id3v1(v1));
  const Bytes bare_bytes = SilentFrames(kMpeg1, 50);
  const std::string bare = dir.Write("b.mp3", bare_bytes);
  // The bytes after the first header, at the header's bit rate.
  const double estimate = (static_cast<double>(bare_bytes.size()) - 5) * 8 / 128000;
  const QStringList columns = {"Sources", "Conflicts", "Decoded as", "Duration (exact)",
                               "Duration source"};
  const QStringList cells = Cells(columns, {Q(path), Q(bare), Q(dir.PathOf("gone.mp3"))});
  EXPECT_EQ(cells,
            QStringList({"Title v2.4 TIT2; TrackNumber v2.4 TRCK; Year v1.1; Tracks v2.4 TRCK",
                         "Title", "windows-1252", "2.612", "Xing",  //
                         "", "", "", QString::number(estimate, 'f', 3),
                         "bit-rate estimate",  //
                         "", "", "", "", ""}))
      << cells.join(u'|').toStdString();
}

// The Modified cell is strftime's "%Y-%m-%d %H:%M:%S" of the local time, as far as the file
// system keeps the times given (many clamp them to a range of their own).
TEST_F(TrustRun, ModifiedIsTheLocalTimeAsStrftimeWritesIt) {
  const std::string path = dir.Write("m.mp3", SilentFrames(kMpeg1, 3));
  for (const time_t given : {time_t{0}, time_t{951782400}, time_t{4102444799}, time_t{-30000000000},
                             time_t{253402300800}}) {
    const timespec times[2] = {{given, 0}, {given, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    struct stat kept {};
    ASSERT_EQ(stat(path.c_str(), &kept), 0);
    const time_t seconds = kept.st_mtim.tv_sec;
    tm local{};
    ASSERT_TRUE(localtime_r(&seconds, &local));
    char text[64];
    const size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    EXPECT_EQ(Cells({"Modified"}, {Q(path)}), QStringList{QString::fromLatin1(text, n)}) << seconds;
  }
}

// Files of one hour share the zone's offset once the system has confirmed it for that hour; an
// hour in which the zone moves (Lord Howe by half an hour at 15:30 UTC, Kathmandu by a quarter
// at 18:30 UTC) must still give every file its own local time.
TEST_F(TrustRun, ModifiedFollowsTheZoneWithinAnHour) {
  const char* before = std::getenv("TZ");
  const std::string kept = before ? before : "";
  const struct {
    const char* zone;
    time_t moves;
  } zones[] = {{"Australia/Lord_Howe", 1633188600},
               {"Asia/Kathmandu", 504901800},
               {"America/New_York", 1615705200},
               {"UTC", 1615705200}};
  for (const auto& [zone, moves] : zones) {
    setenv("TZ", zone, 1);
    tzset();
    QStringList paths;
    QStringList expected;
    int n = 0;
    for (const time_t offset : {-1800, -1, 0, 1, 600, -1200, 1799, -3599, 3600, 0}) {
      const std::string path =
          dir.Write("t" + std::to_string(n++) + ".mp3", SilentFrames(kMpeg1, 1));
      const time_t when = moves + offset;
      const timespec times[2] = {{when, 0}, {when, 0}};
      ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
      tm local{};
      ASSERT_TRUE(localtime_r(&when, &local));
      char text[64];
      expected.append(QString::fromLatin1(
          text,
          static_cast<qsizetype>(std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local))));
      paths.append(Q(path));
    }
    EXPECT_EQ(Cells({"Modified"}, paths).join(u'|').toStdString(),
              expected.join(u'|').toStdString())
        << zone;
  }
  if (before) {
    setenv("TZ", kept.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

// The exact duration's text is QString::number's, halfway cases and odd values included.
TEST(ExactDurationText, ThousandthsAreWhatQtWrites) {
  std::vector<double> values = {0.0,
                                -0.0,
                                0.0005,
                                0.0625,
                                0.1875,
                                1.0625,
                                2.9995,
                                1e-9,
                                -1.5,
                                -0.0625,
                                1e300,
                                1e22,
                                123456.0625,
                                7.0,
                                std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::denorm_min()};
  for (int k = 0; k < 20000; ++k) {
    values.push_back(k / 16.0);
    values.push_back(k / 16000.0);
    values.push_back(k * 1152.0 / 44100);
    values.push_back(k * 0.0005);
  }
  for (const double value : values) {
    CellText text;
    text += u"kept";
    TrustCells::AppendThousandths(text, value);
    EXPECT_EQ(text.View(), QStringLiteral("kept") + QString::number(value, 'f', 3)) << value;
  }
}

TEST(ListToolTip, MarkedColumnsShowTheirItemsOnePerLine) {
  ReportListModel table;
  ColumnCatalogue::AddColumns(table, {"Filename", "Sources", "Title"});
  const int row = table.AppendRow("a.mp3");
  table.SetSubItem(row, 1, "Title v2.4 TIT2; Year v1");
  table.SetSubItem(row, 2, "x; y");
  EXPECT_EQ(table.data(table.index(0, 1), Qt::ToolTipRole).toString(), "Title v2.4 TIT2\nYear v1");
  // Other columns keep their whole text as their tip.
  EXPECT_EQ(table.data(table.index(0, 2), Qt::ToolTipRole).toString(), "x; y");
  EXPECT_EQ(table.data(table.index(0, 0), Qt::ToolTipRole).toString(), "a.mp3");
}

TEST_F(TrustRun, LegacyTextInEveryCodePageOfferedReadsAsWritten) {
  struct Case {
    const char* code_page;
    std::string text;
  };
  const Case cases[] = {{"windows-1250", "Příliš žluťoučký"},
                        {"windows-1251", "Группа крови"},
                        {"windows-1253", "Γειά σου Κόσμε"},
                        {"ISO-8859-2", "Zażółć gęślą"},
                        {"KOI8-R", "Звезда по имени"},
                        {"SHIFT_JIS", "君が代は千代に"},
                        {"GBK", "我的祖国"},
                        {"BIG5", "我的祖國"}};
  for (const Case& c : cases) {
    Id3v1Fields v1;
    v1.title = InCodePage(c.code_page, c.text);
    const std::string path =
        dir.Write(std::string(c.code_page) + ".mp3", SilentFrames(kMpeg1, 5) + Id3v1(v1));
    std::string problem;
    auto decoder = LegacyText::DecoderFor(c.code_page, problem);
    ASSERT_TRUE(decoder) << problem;
    EXPECT_EQ(Cells({"Title", "Decoded as"}, {Q(path)}, decoder),
              QStringList(
                  {QString::fromStdString(c.text), QString::fromStdString(c.code_page).toLower()}));
  }
  std::string problem;
  EXPECT_FALSE(LegacyText::DecoderFor("no-such-page", problem));
  EXPECT_NE(problem.find("no-such-page"), std::string::npos);
  EXPECT_FALSE(LegacyText::DecoderFor("CP1252", problem));  // the engine's own
}

TEST_F(TrustRun, ACyrillicTitleIsDetectedAndReadsAsAlwaysWithDetectionOff) {
  Id3v1Fields v1;
  v1.title = InCodePage("windows-1251", "Кино - Группа крови");
  v1.artist = "Kino";
  const std::string path = dir.Write("kino.mp3", SilentFrames(kMpeg1, 5) + Id3v1(v1));
  std::string problem;
  EXPECT_EQ(Cells({"Title", "Decoded as"}, {Q(path)}, LegacyText::DecoderFor("detect", problem)),
            QStringList({"Кино - Группа крови", "windows-1251"}));
  const std::u16string as_ever = CodePage::BytesToText(v1.title);
  EXPECT_EQ(Cells({"Title", "Decoded as"}, {Q(path)}),
            QStringList({QString::fromStdU16String(as_ever), "windows-1252"}));
  // Latin text detected stays on the engine's own road, byte for byte.
  v1.title = "Caf\xE9 del Mar \x80";
  const std::string latin = dir.Write("latin.mp3", SilentFrames(kMpeg1, 5) + Id3v1(v1));
  const QStringList detected =
      Cells({"Title"}, {Q(latin)}, LegacyText::DecoderFor("detect", problem));
  EXPECT_EQ(detected, QStringList{QString::fromStdU16String(CodePage::BytesToText(v1.title))});
}

// Only the block's width of a long shown value is compared, in the file's code page, where a
// character may take two bytes.
TEST_F(TrustRun, LongValuesConflictOnlyWithinTheBlocksWidth) {
  std::u16string title;
  for (int i = 0; i < 40; ++i) title += u"君が";  // 80 characters, 160 bytes in Shift-JIS
  const std::string encoded =
      InCodePage("SHIFT_JIS", QString::fromStdU16String(title).toStdString());
  const std::u16string comment(100, u'c');
  const Bytes frames = Frame(4, "TIT2", TextBody(Encoding::Utf8, title)) +
                       Frame(4, "COMM", CommentBody(Encoding::Latin1, "eng", u"", comment));
  Id3v1Fields v1;
  v1.title = encoded.substr(0, 30);
  v1.comment = std::string(30, 'c');
  const std::string same =
      dir.Write("same.mp3", Id3v2Tag(4, frames) + SilentFrames(kMpeg1, 5) + Id3v1(v1));
  v1.title[29] = 'x';
  v1.comment[29] = 'x';
  const std::string other =
      dir.Write("other.mp3", Id3v2Tag(4, frames) + SilentFrames(kMpeg1, 5) + Id3v1(v1));
  std::string problem;
  EXPECT_EQ(Cells({"Conflicts"}, {Q(same), Q(other)}, LegacyText::DecoderFor("SHIFT_JIS", problem)),
            QStringList({"", "Title; Comments"}));
  EXPECT_EQ(Cells({"Conflicts"}, {Q(same), Q(other)}).last(), "Title; Comments");
  EXPECT_EQ(Cells({"Conflicts"}, {Q(same)}).first(), "Title");  // Windows-1252 reads another title
}

// The Conflicts cell names the fields; its tip gives both values of each, the ID3v1 one read in
// the file's code page, while the cell and every other tip stay as they were.
TEST_F(TrustRun, ConflictsTipGivesBothValues) {
  const Bytes frames = Frame(3, "TIT2", TextBody(Encoding::Latin1, u"Long title from ID3v2")) +
                       Frame(3, "TPE1", TextBody(Encoding::Latin1, u"Band")) +
                       Frame(3, "TRCK", TextBody(Encoding::Latin1, u"03")) +
                       Frame(3, "TCON", TextBody(Encoding::Latin1, u"(17)"));
  Id3v1Fields v1;
  v1.title = "Long title from ID";
  v1.artist = "Band";
  v1.comment = "only in ID3v1";
  v1.track = 4;
  v1.genre = 8;  // Jazz
  const std::string path =
      dir.Write("c.mp3", Id3v2Tag(3, frames) + SilentFrames(kMpeg1, 3) + Id3v1(v1));
  v1.track = 3;
  v1.genre = 17;
  v1.title = "Long title from ID3v2";
  const std::string same =
      dir.Write("s.mp3", Id3v2Tag(3, frames) + SilentFrames(kMpeg1, 3) + Id3v1(v1));
  const QStringList columns = {"Title", "Conflicts", "Sources"};
  const QStringList cells = Cells(columns, {Q(path), Q(same)});
  EXPECT_EQ(cells.mid(0, 2), QStringList({"Long title from ID3v2", "Title; TrackNumber; Genre"}));
  EXPECT_EQ(cells.mid(3, 2), QStringList({"Long title from ID3v2", ""}));
  EXPECT_EQ(tips[1],
            "Title: \"Long title from ID3v2\" in the tag, \"Long title from ID\" in ID3v1\n"
            "TrackNumber: \"03\" in the tag, \"4\" in ID3v1\n"
            "Genre: \"Rock\" in the tag, \"Jazz\" in ID3v1");
  EXPECT_EQ(tips[0], "Long title from ID3v2");
  EXPECT_EQ(tips[2], QString(cells[2]).replace(QStringLiteral("; "), QStringLiteral("\n")));
  EXPECT_TRUE(tips[2].contains(u'\n'));
  EXPECT_EQ(tips[4], "");

  // Without the Conflicts column no tip is made; with it, a value in another code page.
  std::string problem;
  const std::string cyrillic = InCodePage("CP1251", "Привет мир");
  Id3v1Fields ru;
  ru.title = cyrillic;
  const std::string other =
      dir.Write("r.mp3", Id3v2Tag(4, Frame(4, "TIT2", TextBody(Encoding::Utf8, u"Hello world"))) +
                             SilentFrames(kMpeg1, 3) + Id3v1(ru));
  Cells({"Conflicts"}, {Q(other)}, LegacyText::DecoderFor("CP1251", problem));
  EXPECT_EQ(tips, QStringList{"Title: \"Hello world\" in the tag, \"Привет мир\" in ID3v1"});
  Cells({"Title"}, {Q(other)});
  EXPECT_EQ(tips, QStringList{"Hello world"});
}

TEST(LegacyTextDecoder, BytesACodePageLacksBecomeReplacementCharacters) {
  std::string problem;
  auto decoder = LegacyText::DecoderFor("SHIFT_JIS", problem);
  ASSERT_TRUE(decoder);
  std::u16string text;
  // A double-byte character cut in half at the end of a field, and a lone byte 0x80.
  const std::string cut = InCodePage("SHIFT_JIS", "君が") + "\x8C";
  ASSERT_TRUE(decoder->Decode("SHIFT_JIS", cut, text));
  EXPECT_EQ(text, u"君が\uFFFD");
  ASSERT_TRUE(decoder->Decode("SHIFT_JIS", "a\x80z", text));
  EXPECT_EQ(text, u"a\uFFFDz");
  EXPECT_EQ(decoder->Encode("windows-1251", u"Ж€x"), "\xC6\x88x");
  EXPECT_EQ(decoder->Encode("windows-1251", u"Жä"), "\xC6?");
  // Plain ASCII is its own bytes only where the code page keeps it so.
  EXPECT_EQ(decoder->Encode("windows-1251", u"AB 1"), "AB 1");
  EXPECT_EQ(decoder->Encode("IBM037", u"AB 1"), "\xC1\xC2\x40\xF1");  // EBCDIC
  EXPECT_EQ(decoder->Encode("UTF-7", u"a+b"), "a+-b");
}

// What iconv's own UTF-16 conversion gives, with the same rule for what it cannot convert:
// U+FFFD for each byte it cannot read, "?" for each unit it cannot write.
std::u16string ReadAsUtf16(const char* code_page, const std::string& bytes) {
  iconv_t cd = iconv_open("UTF-16LE", code_page);
  std::u16string text;
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  while (in_left > 0) {
    char16_t units[64];
    char* out = reinterpret_cast<char*>(units);
    size_t out_left = sizeof units;
    const bool failed = iconv(cd, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1);
    const int error = errno;
    text.append(units, static_cast<size_t>(out - reinterpret_cast<char*>(units)) / 2);
    if (failed && error != E2BIG) {
      text.push_back(u'\uFFFD');
      ++in;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return text;
}

std::string WriteFromUtf16(const char* code_page, std::u16string_view text) {
  iconv_t cd = iconv_open(code_page, "UTF-16LE");
  std::string bytes;
  char* in = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t in_left = text.size() * 2;
  while (in_left > 0) {
    char chunk[64];
    char* out = chunk;
    size_t out_left = sizeof chunk;
    const bool failed = iconv(cd, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1);
    const int error = errno;
    bytes.append(chunk, static_cast<size_t>(out - chunk));
    if (failed && error != E2BIG) {
      bytes.push_back('?');
      in += 2;
      in_left -= 2;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return bytes;
}

// The decoder goes through UCS-4; every code page must read and write exactly as a straight
// UTF-16 conversion would, bytes it cannot read, characters it cannot write, lone surrogates,
// characters beyond the BMP and shift states included.
TEST(LegacyTextDecoder, ReadsAndWritesAsIconvsOwnUtf16Conversion) {
  std::string problem;
  const auto decoder = LegacyText::DecoderFor("detect", problem);
  ASSERT_TRUE(decoder);
  const std::u16string kinds[] = {u"a",      u" ",      u"\u00E9",     u"\u0416",
                                  u"\u541B", u"\u20AC", u"\U0001F600", u"\U00020BB7",
                                  u"\xD800", u"\xDC00", u"?"};
  std::mt19937 random(17);
  for (const char* page : {"windows-1251", "ISO-8859-2", "KOI8-R", "IBM852", "SHIFT_JIS", "GBK",
                           "BIG5", "GB18030", "ISO-2022-JP", "UTF-7", "IBM037"}) {
    for (int round = 0; round < 300; ++round) {
      std::string bytes;
      std::u16string text;
      // Now and then longer than the batches the writer hands iconv.
      const int length = static_cast<int>(random() % (round % 10 == 0 ? 150 : 12));
      for (int i = 0; i < length; ++i) {
        bytes.push_back(static_cast<char>(random() % 3 == 0 ? 'a' + random() % 26 : random()));
        text += kinds[random() % std::size(kinds)];
      }
      std::u16string read;
      ASSERT_TRUE(decoder->Decode(page, bytes, read)) << page;
      EXPECT_EQ(read, ReadAsUtf16(page, bytes)) << page << " round " << round;
      EXPECT_EQ(decoder->Encode(page, text), WriteFromUtf16(page, text))
          << page << " round " << round;
    }
  }
}

// Every reading thread of a run uses the run's one decoder; all of them at once detect and
// decode as one alone does.
TEST(LegacyTextDecoder, OneDecoderWorksOnManyThreadsAtOnce) {
  std::string problem;
  const auto first = LegacyText::DecoderFor("detect", problem);
  ASSERT_TRUE(first);
  const std::vector<std::pair<std::string, std::u16string>> samples = {
      {InCodePage("windows-1251", "Кино - Группа крови звезда по имени солнце"),
       u"Кино - Группа крови звезда по имени солнце"},
      {InCodePage("SHIFT_JIS", "君が代は千代に八千代にさざれ石の"),
       u"君が代は千代に八千代にさざれ石の"}};
  std::vector<std::string> pages;
  for (const auto& sample : samples) pages.push_back(first->CodePageFor(sample.first, problem));
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&, decoder = first] {
      std::u16string text;
      for (int round = 0; round < 200; ++round) {
        for (size_t i = 0; i < samples.size(); ++i) {
          std::string unused;
          const std::string page = decoder->CodePageFor(samples[i].first, unused);
          if (page != pages[i] || !decoder->Decode(page, samples[i].first, text) ||
              text != samples[i].second)
            ++wrong;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_FALSE(pages[0].empty());
}

TEST_F(TrustRun, TotalsPerFolderCountWhatALibraryOwnerChecks) {
  const int frame = FrameLength(kMpeg1, false);
  const Bytes full =
      Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"T")) +
                      Frame(3, "TPE1", TextBody(Encoding::Latin1, u"A")) +
                      Frame(3, "TALB", TextBody(Encoding::Latin1, u"B")) +
                      Frame(3, "TCON", TextBody(Encoding::Latin1, u"Rock")) +
                      Frame(3, "APIC", PictureBody(3, Encoding::Latin1, "image/png", 3, u"", "P")));
  const Bytes vbr = XingFrame(kMpeg1, 100, 100 * frame) + SilentFrames(kMpeg1, 99);
  MpegFormat low = kMpeg1;
  low.kbps = 64;
  Id3v1Fields genre_only;
  genre_only.genre = 17;
  const std::string a1 = dir.Write("A/1.mp3", full + vbr);
  const std::string a2 = dir.Write("A/2.mp3", SilentFrames(low, 200) + Id3v1(genre_only));
  const std::string b1 = dir.Write("B/1.mp3", SilentFrames(kMpeg1, 100));
  Cells({"Filename"}, {Q(a1), Q(a2), Q(dir.PathOf("A/gone.mp3")), Q(b1)});
  ASSERT_EQ(totals.Folders().size(), 2u);
  const QStringList a = FolderTotals::Cells(totals.Folders()[0]);
  EXPECT_EQ(a[0], Q(dir.PathOf("A")));
  // Files, duration, size, CBR, VBR, kbit/s, no title, artist, album, genre, picture, not read.
  const auto size_a =
      static_cast<qsizetype>((full + vbr).size() + SilentFrames(low, 200).size() + 128);
  EXPECT_EQ(a.mid(1), QStringList({"3", a[2], QString::number(size_a), "1", "1", "64-128", "1", "1",
                                   "1", "0", "1", "1"}));
  EXPECT_TRUE(a[2].startsWith("0:00:0")) << a[2].toStdString();
  const Bytes b_bytes = SilentFrames(kMpeg1, 100);
  const QStringList b = FolderTotals::Cells(totals.Folders()[1]);
  EXPECT_EQ(b.mid(1),
            QStringList({"1", FolderTotals::Duration((double(b_bytes.size()) - 5) * 8 / 128000),
                         QString::number(b_bytes.size()), "1", "0", "128", "1", "1", "1", "1", "1",
                         "0"}));
  const QStringList total = FolderTotals::Cells(totals.Total());
  EXPECT_EQ(total[0], "All folders");
  EXPECT_EQ(total[1], "4");
  EXPECT_EQ(total[6], "64-128");
  EXPECT_EQ(total[12], "1");

  ReportListModel table;
  totals.FillTable(table);
  EXPECT_EQ(table.RowCount(), 3);
  EXPECT_EQ(table.Header(1), "Folder");
  EXPECT_TRUE(table.Checked(3));
  EXPECT_EQ(FolderTotals::Duration(3723.4567), "1:02:03.457");
}

}  // namespace

// The one table of field names names the catalogue's columns of the tag, in its order after the
// file name, the default ones among them, and the fields the Sources and Conflicts cells list.
TEST(FieldNamesTest, EveryColumnAndListOfTheTagsFieldsTakesItsNameFromTheOneTable) {
  const std::vector<ColumnCatalogue::Column>& all = ColumnCatalogue::All();
  const QStringList defaults = ColumnCatalogue::DefaultHeaders();
  ASSERT_GT(all.size(), FieldNames::kAll.size());
  for (size_t i = 0; i < FieldNames::kAll.size(); ++i) {
    const FieldNames::Field& field = FieldNames::kAll[i];
    const QString name =
        QString::fromUtf16(field.name.data(), static_cast<qsizetype>(field.name.size()));
    SCOPED_TRACE(name.toStdString());
    EXPECT_EQ(all[i + 1].header, name);
    EXPECT_EQ(ColumnCatalogue::Find(name.toUpper()), &all[i + 1]);
    EXPECT_EQ(all[i + 1].order == ColumnCatalogue::Order::kNumber, field.number);
    EXPECT_EQ(all[i + 1].group, i < FieldNames::kDefaults ? "Default" : "Tag");
    EXPECT_EQ(i < FieldNames::kDefaults, defaults.value(static_cast<qsizetype>(i) + 1) == name);
    EXPECT_EQ(TrustCells::FieldName(field.field), name);
  }
  EXPECT_EQ(defaults.size(), static_cast<qsizetype>(FieldNames::kDefaults) + 1);
}
