// Legacy text read through iconv as hostile files and careless settings meet it: stateful code
// pages cut at a shift, names that are no legacy code page, characters UTF-16 cannot hold, and
// detection that must not garble what Windows-1252 reads right.
#include <gtest/gtest.h>
#include <iconv.h>

#include <QStringList>
#include <cerrno>
#include <string>
#include <system_error>

#include "legacy/IconvLegacyText.h"
#include "legacy/LegacyGuess.h"
#include "tag/CodePage.h"
#include "tests/batch/ChosenColumnsRun.h"
#include "tests/support/CodePageText.h"
#include "tools/samples/SampleBuilder.h"

namespace {

using namespace SampleBuilder;

QString Q(const std::string& s) { return QString::fromStdString(s); }

std::shared_ptr<LegacyTextDecoder> Decoder(const std::string& setting) {
  std::string problem;
  auto decoder = LegacyText::DecoderFor(setting, problem);
  EXPECT_TRUE(decoder) << setting << ": " << problem;
  return decoder;
}

using LegacyRun = ChosenColumnsRun;

// A field that ends in a lone shift-out: iconv takes the byte in and fails with nothing left,
// and the decoder must not step past the end.
TEST_F(LegacyRun, AStatefulCodePageCutAtAShiftEndsNoRun) {
  const auto decoder = Decoder("ISO-2022-CN-EXT");
  ASSERT_TRUE(decoder);
  for (const std::string bytes : {"\x0E", "\xE9\x0E", "ab\x1B$)A\x0E", "\x0E\x0E\x0E"}) {
    std::u16string text;
    EXPECT_TRUE(decoder->Decode("ISO-2022-CN-EXT", bytes, text));
    EXPECT_LE(text.size(), bytes.size());
    decoder->Encode("ISO-2022-CN-EXT", u"\u4E2D\u6587\u00E9" + text);
  }
  Id3v1Fields v1;
  v1.title = "Caf\xE9\x0E";
  v1.artist = "\x0E";
  Id3v1Fields plain;
  plain.title = "x";
  const std::string cut = dir.Write("cut.mp3", SilentFrames(kMpeg1, 5) + Id3v1(v1));
  const std::string next = dir.Write("next.mp3", SilentFrames(kMpeg1, 5) + Id3v1(plain));
  const QStringList cells = Cells({"Title", "Conflicts", "Decoded as"}, {Q(cut), Q(next)}, decoder);
  ASSERT_EQ(cells.size(), 6);
  EXPECT_EQ(cells[2], "iso-2022-cn-ext");
  EXPECT_EQ(cells[3], "x");
}

TEST(LegacyTextSetting, NamesThatAreNoLegacyCodePageAreRefused) {
  for (const char* name :
       {"UTF-16", "UTF-16LE", "UTF-32", "UCS-4", "UCS-2", "UTF-7", "IBM037", "EBCDIC-US",
        "windows-1251//TRANSLIT", "ISO-8859-2//IGNORE", "windows-1251//"}) {
    std::string problem;
    EXPECT_FALSE(LegacyText::DecoderFor(name, problem)) << name;
    EXPECT_NE(problem.find(name), std::string::npos) << problem;
  }
  for (const char* name : {"windows-1251", "KOI8-R", "SHIFT_JIS", "ISO-2022-CN-EXT", "UTF-8"})
    Decoder(name);
}

// Beyond U+10FFFF, or a half of a surrogate pair, there is no UTF-16 character to give.
TEST(LegacyTextDecoder, CharactersUtf16CannotHoldBecomeReplacementCharacters) {
  const auto decoder = Decoder("detect");
  std::u16string text;
  ASSERT_TRUE(decoder->Decode("UCS-4", std::string("\x00\x11\x00\x00\x7F\xFF\xFF\xFF", 8), text));
  EXPECT_EQ(text, u"\uFFFD\uFFFD");
  ASSERT_TRUE(decoder->Decode("UCS-4",
                              std::string("\x00\x00\xD8\x00\x00\x01\xF6\x00"
                                          "A",
                                          9),
                              text));
  EXPECT_EQ(text.substr(0, 3), u"\uFFFD\U0001F600");
}

// Short Western text that a detector takes for another Latin code page stays as Windows-1252
// reads it; text of another script is still found.
TEST_F(LegacyRun, DetectionKeepsWesternTextAndFindsOtherScripts) {
  const std::string western[] = {"Na\xEFve",
                                 "Se\xF1or",
                                 "Bj\xF6rk Gu\xF0mundsd\xF3ttir",
                                 "Caf\xE9 del Mar",
                                 "\xC9t\xE9 \xE0 Paris",
                                 "M\xF6tley Cr\xFC"
                                 "e",
                                 "Sigur R\xF3s"};
  for (const std::string& title : western) {
    Id3v1Fields v1;
    v1.title = title;
    const std::string path = dir.Write("w.mp3", SilentFrames(kMpeg1, 5) + Id3v1(v1));
    EXPECT_EQ(
        Cells({"Title", "Decoded as"}, {Q(path)}, Decoder("detect")),
        QStringList({QString::fromStdU16String(CodePage::BytesToText(title)), "windows-1252"}))
        << title;
  }
  // Read right, in the code page written or one that reads the same (ISO-8859-7 for Greek).
  const std::pair<const char*, std::string> others[] = {{"windows-1251", "Кино - Группа крови"},
                                                        {"windows-1253", "Γειά σου Κόσμε"},
                                                        {"SHIFT_JIS", "君が代は千代に"}};
  for (const auto& [code_page, text] : others) {
    Id3v1Fields v1;
    v1.title = InCodePage(code_page, text);
    const std::string path = dir.Write("o.mp3", SilentFrames(kMpeg1, 5) + Id3v1(v1));
    const QStringList cells = Cells({"Title", "Decoded as"}, {Q(path)}, Decoder("detect"));
    ASSERT_EQ(cells.size(), 2);
    EXPECT_EQ(cells[0], Q(text)) << code_page;
    EXPECT_NE(cells[1], "windows-1252") << code_page;
  }
}

// Byte-order marks in one 8-bit field decide nothing for the others.
TEST_F(LegacyRun, OneFieldsByteOrderMarkDoesNotDecideTheFile) {
  for (const std::string mark : {"\xFF\xFE", "\xEF\xBB\xBF", "\xFE\xFF"}) {
    const Bytes tag = Id3v2Tag(3, Frame(3, "TIT2", Bytes(1, '\0') + mark + "Song") +
                                      Frame(3, "TPE1", Bytes("\0Caf\xE9", 5)));
    const std::string path = dir.Write("bom.mp3", tag + SilentFrames(kMpeg1, 5));
    const QStringList cells = Cells({"Artist", "Decoded as"}, {Q(path)}, Decoder("detect"));
    EXPECT_EQ(cells, QStringList({QString::fromUtf8("Caf\xC3\xA9"), "windows-1252"}));
  }
}

TEST(LegacyGuess, TheDetectorSeesAFewKilobytesWithoutMarks) {
  const std::string lyrics(10u << 20, '\xE9');
  EXPECT_LE(LegacyGuess::Sample(lyrics).size(), LegacyGuess::kSampleBytes + 1);
  EXPECT_EQ(LegacyGuess::Sample("\xFF\xFEzz\n\xEF\xBB\xBFyy\nxx"), "zz\nyy\nxx\n");
  for (const char* never : {"UTF-16", "UTF-32LE", "UCS-2", "ISO-2022-JP", "HZ-GB-2312", "UTF-7"})
    EXPECT_TRUE(LegacyGuess::NeverForEightBitText(never)) << never;
  for (const char* fine : {"windows-1250", "SHIFT_JIS", "UTF-8", "EUC-KR", "KOI8-R"})
    EXPECT_FALSE(LegacyGuess::NeverForEightBitText(fine)) << fine;
}

// Plain ASCII reads the same in every code page: the column says nothing was decoded, and stays
// empty for a file without legacy text. Without a decoder it reads as it always has.
TEST_F(LegacyRun, DecodedAsSaysWhenNothingNeededDecoding) {
  Id3v1Fields v1;
  v1.title = "Plain Title";
  const std::string ascii = dir.Write("ascii.mp3", SilentFrames(kMpeg1, 5) + Id3v1(v1));
  const std::string none =
      dir.Write("none.mp3", Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Utf16, u"Caf\u00e9"))) +
                                SilentFrames(kMpeg1, 5));
  for (const char* setting : {"detect", "KOI8-R", "SHIFT_JIS"})
    EXPECT_EQ(Cells({"Title", "Decoded as"}, {Q(ascii), Q(none)}, Decoder(setting)),
              QStringList({"Plain Title", "ASCII, nothing to decode", "Caf\u00e9", ""}))
        << setting;
  EXPECT_EQ(Cells({"Decoded as"}, {Q(ascii), Q(none)}), QStringList({"windows-1252", ""}));
}

// Opens converters as iconv does, or fails as a process out of descriptors does.
int open_error = 0;
void* OpenOrFail(const char* to, const char* from) {
  if (open_error != 0) {
    errno = open_error;
    return reinterpret_cast<void*>(-1);
  }
  return iconv_open(to, from);
}

// A converter that cannot be loaded now (EMFILE, ENOMEM) is neither a silent Windows-1252 nor
// an unknown code page for the rest of the run.
TEST_F(LegacyRun, ACodePageThatCannotBeLoadedIsSaidSo) {
  std::string problem;
  open_error = EMFILE;
  EXPECT_FALSE(LegacyText::DecoderFor("KOI8-R", problem, OpenOrFail));
  EXPECT_NE(problem.find("could not be loaded"), std::string::npos) << problem;
  EXPECT_EQ(problem.find("not one iconv knows"), std::string::npos) << problem;

  Id3v1Fields v1;
  v1.title = InCodePage("windows-1251", "Кино - Группа крови");
  const std::string path = dir.Write("kino.mp3", SilentFrames(kMpeg1, 5) + Id3v1(v1));
  const auto decoder = LegacyText::DecoderFor("detect", problem, OpenOrFail);
  ASSERT_TRUE(decoder);
  const QString as_ever = QString::fromStdU16String(CodePage::BytesToText(v1.title));
  EXPECT_EQ(Cells({"Title", "Decoded as"}, {Q(path)}, decoder),
            QStringList(
                {as_ever, Q("windows-1251 could not be used (" +
                            std::generic_category().message(EMFILE) + "); read as windows-1252")}));
  open_error = 0;
  EXPECT_EQ(Cells({"Title", "Decoded as"}, {Q(path)}, decoder),
            QStringList({"Кино - Группа крови", "windows-1251"}));
  // An unknown code page is no news: the guess is dropped without a word, as before.
  open_error = EINVAL;
  EXPECT_EQ(Cells({"Decoded as"}, {Q(path)}, LegacyText::DecoderFor("detect", problem, OpenOrFail)),
            QStringList({"windows-1252"}));
  open_error = 0;
}

}  // namespace
