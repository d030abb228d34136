#include "text/Utf.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;

TEST(Utf, EveryLengthOfSequenceRoundTrips) {
  // The edges of each length, a letter of the Basic Multilingual Plane and two beyond it.
  const std::u16string text =
      u"\u007F\u0080\u00E9\u07FF\u0800\u20AC\uFFFF\U00010000\U0001F600\U0010FFFF";
  const std::string bytes =
      "\x7F\xC2\x80\xC3\xA9\xDF\xBF\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBF"
      "\xF0\x90\x80\x80\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF";
  EXPECT_EQ(Utf::ToUtf8(text), bytes);
  EXPECT_EQ(Utf::FromUtf8(bytes), text);
  EXPECT_EQ(Utf::FromUtf8Lossy(bytes), text);
  EXPECT_EQ(Utf::FromUtf8(""), u"");

  // Every scalar value there is, one at a time.
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (cp == 0xD800) cp = 0xE000;
    std::u16string one;
    Utf::AppendUtf16(one, cp);
    const auto back = Utf::FromUtf8(Utf::ToUtf8(one));
    ASSERT_TRUE(back && *back == one) << std::hex << static_cast<unsigned>(cp);
  }
}

TEST(Utf, HalfSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf::ToUtf8(u"a\xD800"), "a\xEF\xBF\xBD");                  // high half at the end
  EXPECT_EQ(Utf::ToUtf8(u"\xD800z"), "\xEF\xBF\xBDz");                  // high half before a letter
  EXPECT_EQ(Utf::ToUtf8(u"\xDC00\xD800"), "\xEF\xBF\xBD\xEF\xBF\xBD");  // the halves reversed
  EXPECT_EQ(Utf::ToUtf8(u"\xD83D\xD83D\xDE00"), "\xEF\xBF\xBD\xF0\x9F\x98\x80");

  std::u16string units;
  for (char32_t cp : {U'\xD800', U'\xDFFF', char32_t{0x110000}}) Utf::AppendUtf16(units, cp);
  EXPECT_EQ(units, u"\uFFFD\uFFFD\uFFFD");

  std::string appended = "x";
  Utf::AppendUtf8(appended, u"\u00E9");
  EXPECT_EQ(appended, "x\xC3\xA9");
}

TEST(Utf, StrictDecodingRefusesWhatIsNotUtf8) {
  for (const std::string& bad : {
           "\xC0\xAF"s, "\xC1\xBF"s, "\xE0\x80\xAF"s, "\xE0\x9F\xBF"s, "\xF0\x80\x80\xAF"s,
           "\xF0\x8F\xBF\xBF"s,                                // overlong
           "\xED\xA0\x80"s, "\xED\xBF\xBF"s,                   // surrogates
           "\xF4\x90\x80\x80"s, "\xF5\x80\x80\x80"s, "\xFF"s,  // past U+10FFFF
           "\xC3"s, "\xE2\x82"s, "\xF0\x9F\x98"s, "\xC3z"s,    // cut off
           "\x80"s, "\xBF"s,                                   // continuation without a lead
       }) {
    SCOPED_TRACE(testing::PrintToString(bad));
    EXPECT_EQ(Utf::FromUtf8(bad), std::nullopt);
    EXPECT_EQ(Utf::FromUtf8("ok " + bad + " ok"), std::nullopt);
  }
}

TEST(Utf, LossyDecodingReplacesEachBadByte) {
  EXPECT_EQ(Utf::FromUtf8Lossy("a\xC0\xAF"
                               "b"),
            u"a\uFFFD\uFFFDb");
  EXPECT_EQ(Utf::FromUtf8Lossy("\xE2\x82z\xC3\xA9"), u"\uFFFD\uFFFDz\u00E9");
  EXPECT_EQ(Utf::FromUtf8Lossy("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
  // The caller may give bad bytes a meaning of their own; good sequences still decode.
  const auto latin1 = [](unsigned char byte) { return static_cast<char16_t>(byte); };
  EXPECT_EQ(Utf::FromUtf8Lossy("\xE9t\xC3\xA9\xF4\x90", latin1), u"\u00E9t\u00E9\u00F4\u0090");
}

}  // namespace
