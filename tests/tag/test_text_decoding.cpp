// The text decoders, the code page and the repeated-frame list.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "tag/CodePage.h"
#include "tag/MultiFrameData.h"
#include "tag/TextDecoding.h"
#include "tag/modUTF8.h"

namespace {

using namespace std::string_literals;

std::vector<std::u16string> Entries(const MultiFrameData& list) {
  std::vector<std::u16string> out;
  for (int32_t i = 1; i <= list.Count(); ++i) out.push_back(list.Item(i));
  return out;
}

MultiFrameData ListOf(std::initializer_list<std::u16string> entries) {
  MultiFrameData list;
  for (const auto& e : entries) list.Add(e);
  return list;
}

using Texts = std::vector<std::u16string>;

TEST(DecodeUTF16, MarksChooseByteOrderAnywhereInTheInput) {
  EXPECT_EQ(DecodeUTF16("\x41\x42"s), u"AB");  // no mark: one character per byte
  EXPECT_EQ(DecodeUTF16("\xFE\xFF\x00\x41"s), u"A");
  EXPECT_EQ(DecodeUTF16("\xFF\xFE\x41\x00\xFE\xFF\x00\x42"s), u"AB");
  // A byte before the first mark stays a character; each mark opens a new segment.
  EXPECT_EQ(DecodeUTF16("\x41\xFF\xFE\x00\x00\xFF\xFE\x42\x00\x43\x00"s), u"A\0BC"s);
  // Surrogate pairs pass through as their two units.
  EXPECT_EQ(DecodeUTF16("\xFF\xFE\x3D\xD8\x00\xDE"s), u"\xD83D\xDE00"s);
  EXPECT_EQ(DecodeUTF16(""s), u"");
}

TEST(DecodeUTF16, TextBeforeAnyMarkThatReadsAsLittleEndianIsDecodedSo) {
  // Odd bytes mostly zero.
  EXPECT_EQ(DecodeUTF16("T\x00o\x00n\x00y\x00"s), u"Tony");
  EXPECT_EQ(DecodeUTF16("\x00\x00"s), u"\0"s);
  EXPECT_EQ(DecodeUTF16("T\x00\xE9\x00\x00\x00X\x01"s), u"T\u00E9\0\u0158"s);
  // One character per byte would end within the first pair, and the units are well formed.
  EXPECT_EQ(DecodeUTF16("\x00\x00\x1F\x04\x40\x04"s), u"\0\u041F\u0440"s);
  EXPECT_EQ(DecodeUTF16("A\x00\x3D\xD8\x00\xDE"s), u"A\xD83D\xDE00"s);
  // Only the part before the first mark is judged.
  EXPECT_EQ(DecodeUTF16("d\x00\x00\x00\xFF\xFEH\x00"s), u"d\0H"s);
  // Anything else stays one character per byte: odd lengths, non-zero first pairs, stray
  // surrogates.
  EXPECT_EQ(DecodeUTF16("AB"s), u"AB");
  EXPECT_EQ(DecodeUTF16("T\x00o"s), u"T\0o"s);
  EXPECT_EQ(DecodeUTF16("ABCD\x00\x00"s), u"ABCD\0\0"s);
  EXPECT_EQ(DecodeUTF16("A\x00\x00\xD8\x41\x42"s), u"A\0\0\u00D8AB"s);
  EXPECT_EQ(DecodeUTF16("A\x00\x00\xDC"s), u"A\0\0\u00DC"s);
  EXPECT_FALSE(ReadsAsUTF16LE(""s));
  EXPECT_FALSE(ReadsAsUTF16LE("\x00"s));
}

TEST(DecodeUTF16, MarksAreFoundAtOddOffsetsAndNeverOverlap) {
  // FF FE FF: the first pair is a mark, scanning resumes after it.
  EXPECT_EQ(DecodeUTF16("\xFF\xFE\xFF\x00"s), u"\u00FF");
  // A mark at offset 1.
  EXPECT_EQ(DecodeUTF16("\x5A\xFE\xFF\x00\x41"s), u"ZA");
}

TEST(DecodeUTF16, OddSegmentsNeitherCrashNorLoseEarlierUnits) {
  const std::u16string text = DecodeUTF16("\xFF\xFE\x41\x00\x42"s);
  ASSERT_GE(text.size(), 1u);
  EXPECT_EQ(text[0], u'A');
}

TEST(DecodeUTF16BE, SwapsPairsWithoutLookingForMarks) {
  EXPECT_EQ(SwapBytePairs("\x01\x02\x03"s), "\x02\x01\x03"s);
  EXPECT_EQ(SwapBytePairs(""s), ""s);
  EXPECT_EQ(DecodeUTF16BE("\x00\x41\x00\xE9\x65\xE5"s), u"A\u00E9\u65E5");
  EXPECT_EQ(DecodeUTF16BE("\xFE\xFF\x00\x41"s), u"\uFEFFA");
}

TEST(DecodeUTF8, LenientOnePassDecoding) {
  EXPECT_EQ(modUTF8::DecodeUTF8("\xC3\xA9"s), u"\u00E9");
  EXPECT_EQ(modUTF8::DecodeUTF8("\xE2\x82\xAC"s), u"\u20AC");
  EXPECT_EQ(modUTF8::DecodeUTF8("\xE6\x97\xA5"s), u"\u65E5");
  EXPECT_EQ(modUTF8::DecodeUTF8("\xEA\xB0\x80"s), u"\uAC00");
  EXPECT_EQ(modUTF8::DecodeUTF8("Gr\xC3\xBC\xC3\x9F"
                                "e"s),
            u"Gr\u00FC\u00DFe");
  // A stray continuation byte is a character of its own value.
  EXPECT_EQ(modUTF8::DecodeUTF8("\x80"s), u"\u0080");
  // A sequence cut off by the end drops what is left.
  EXPECT_EQ(modUTF8::DecodeUTF8("\x41\xC3"s), u"A");
  EXPECT_EQ(modUTF8::DecodeUTF8("\x41\xE2\x82"s), u"A");
  // Continuation bytes are not checked: they enter the formula as they are.
  EXPECT_EQ(modUTF8::DecodeUTF8("\xC3\x41"s),
            std::u16string(1, char16_t((0xC3 - 0xC0) * 64 + (0x41 - 0x80))));
}

TEST(DecodeUTF8, FourByteLeadsNeitherFailNorStopEarly) {
  const std::u16string text = modUTF8::DecodeUTF8("\xF0\x9F\x98\x80Z"s);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.back(), u'Z');
}

TEST(CutAtNul, EndsTextAtFirstNul) {
  EXPECT_EQ(CutAtNul(u"ab\0cd"s), u"ab");
  EXPECT_EQ(CutAtNul(u""), u"");
  EXPECT_EQ(CutAtNul(u"abc"), u"abc");
  EXPECT_EQ(CutAtNul(u"\0x"s), u"");
}

TEST(WideScans, AgreeWithUnitByUnitScansWhereverTheBoundariesFall) {
  // The NUL search takes four units at a time and the UTF-8 decoder eight ASCII bytes: a NUL, a
  // unit with a zero low byte or a non-ASCII byte at every offset of texts up to 20 long.
  for (size_t length = 0; length <= 20; ++length) {
    for (size_t at = 0; at <= length; ++at) {
      std::u16string text(length, u'a');
      EXPECT_EQ(FindNul(text), std::u16string::npos) << length;
      if (at == length) continue;
      text[at] = u'\u0100';  // zero low byte, not a NUL
      EXPECT_EQ(FindNul(text), std::u16string::npos) << length << " " << at;
      text[at] = u'\0';
      EXPECT_EQ(FindNul(text), at) << length << " " << at;
      if (at + 1 < length) text[at + 1] = u'\0';
      EXPECT_EQ(FindNul(text), at) << length << " " << at;

      std::string bytes(length, 'a');
      bytes[at] = '\xC3';
      bytes.insert(at + 1, 1, '\xA9');
      std::u16string expected(length, u'a');
      expected[at] = u'\u00E9';
      EXPECT_EQ(modUTF8::DecodeUTF8(bytes), expected) << length << " " << at;
    }
  }
}

TEST(CodePage, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::u16string text = CodePage::BytesToText(all);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(CodePage::TextToBytes(text), all);
  EXPECT_EQ(text[0x80], u'\u20AC');  // Windows-1252 euro sign
  EXPECT_EQ(text[0x81], u'\u0081');  // unassigned bytes map to the C1 control of their value
  EXPECT_EQ(text[0xE9], u'\u00E9');
  EXPECT_EQ(CodePage::TextToBytes(u"\u65E5"), "?");
}

TEST(MultiFrameData, KeysIgnoreCaseOuterSpacesAndWhatFollowsANul) {
  EXPECT_EQ(Entries(ListOf({u"abc", u"ABC"})), Texts({u"abc"}));
  EXPECT_EQ(Entries(ListOf({u"x", u" x "})), Texts({u"x"}));
  EXPECT_EQ(Entries(ListOf({u"x", u"x\0tail"s})), Texts({u"x"}));
  EXPECT_EQ(Entries(ListOf({u"x", u"y"})), Texts({u"x", u"y"}));
  EXPECT_EQ(Entries(ListOf({u"\u00C9t\u00E9", u"\u00E9T\u00C9"})), Texts({u"\u00C9t\u00E9"}));
}

TEST(MultiFrameData, BinaryEntriesAreKeyedByTheirWholeBytes) {
  MultiFrameData list;
  list.Add(u"\x89PNG\0one"s, std::nullopt, std::nullopt, true);
  list.Add(u"\x89PNG\0two"s, std::nullopt, std::nullopt, true);
  list.Add(u"\x89PNG\0one"s, std::nullopt, std::nullopt, true);
  list.Add(u" \x89PNG\0two"s, std::nullopt, std::nullopt, true);  // not trimmed when binary
  EXPECT_EQ(list.Count(), 3);
}

TEST(MultiFrameData, BeforeAndAfterPositionsClampToTheEnds) {
  auto with = [](std::optional<int32_t> before, std::optional<int32_t> after) {
    MultiFrameData list = ListOf({u"a", u"b"});
    list.Add(u"c", before, after);
    return Entries(list);
  };
  EXPECT_EQ(with(1, std::nullopt), Texts({u"c", u"a", u"b"}));
  EXPECT_EQ(with(0, std::nullopt), Texts({u"c", u"a", u"b"}));
  EXPECT_EQ(with(2, std::nullopt), Texts({u"a", u"c", u"b"}));
  EXPECT_EQ(with(5, std::nullopt), Texts({u"a", u"b", u"c"}));
  EXPECT_EQ(with(std::nullopt, 1), Texts({u"a", u"c", u"b"}));
  EXPECT_EQ(with(std::nullopt, 0), Texts({u"a", u"c", u"b"}));
  EXPECT_EQ(with(std::nullopt, 5), Texts({u"a", u"b", u"c"}));
  EXPECT_EQ(with(1, 2), Texts({u"c", u"a", u"b"}));  // before wins
  MultiFrameData empty;
  empty.Add(u"only", 7, std::nullopt);
  EXPECT_EQ(Entries(empty), Texts({u"only"}));
}

TEST(MultiFrameData, ReplacedEntryKeepsItsPlaceAndLosesItsKey) {
  MultiFrameData list = ListOf({u"a", u"b", u"c"});
  list.SetItem(2, u"z");
  EXPECT_EQ(Entries(list), Texts({u"a", u"z", u"c"}));
  list.Add(u"b");  // the removed entry took its key along
  list.Add(u"z");  // the replacement has no key
  list.Add(u"a");  // still keyed: refused
  EXPECT_EQ(Entries(list), Texts({u"a", u"z", u"c", u"b", u"z"}));

  MultiFrameData last = ListOf({u"a", u"b"});
  last.SetItem(2, u"q");
  EXPECT_EQ(Entries(last), Texts({u"a", u"q"}));
  MultiFrameData single = ListOf({u"a"});
  single.SetItem(1, u"q");
  EXPECT_EQ(Entries(single), Texts({u"q"}));
}

TEST(MultiFrameData, PositionsOutsideTheListFailAndChangeNothing) {
  MultiFrameData list = ListOf({u"a", u"b"});
  EXPECT_THROW(list.Item(0), std::out_of_range);
  EXPECT_THROW(list.Item(3), std::out_of_range);
  EXPECT_THROW(list.Remove(3), std::out_of_range);
  EXPECT_THROW(list.SetItem(0, u"x"), std::out_of_range);
  EXPECT_EQ(Entries(list), Texts({u"a", u"b"}));
  list.Remove(1);
  EXPECT_EQ(Entries(list), Texts({u"b"}));
  list.Add(u"A");  // its key left with it
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  list.Add(u"b");
  EXPECT_EQ(list.Count(), 1);
}

}  // namespace
