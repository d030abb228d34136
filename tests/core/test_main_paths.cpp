#include <gtest/gtest.h>

#include "core/Main.h"

namespace {

QString Collapse(const char* path, QChar separator) {
  return Main::CollapseBackslashes(QString::fromLatin1(path), separator);
}

QString NameOf(const char* path, QChar separator) {
  return Main::FileNameOfPath(QString::fromLatin1(path), separator);
}

}  // namespace

TEST(MainPathsTest, FileNameOfPathTakesTheTextAfterTheLastSeparator) {
  EXPECT_EQ(NameOf("C:\\Music\\a.mp3", u'\\'), QStringLiteral("a.mp3"));
  EXPECT_EQ(NameOf("a.mp3", u'\\'), QStringLiteral("a.mp3"));
  EXPECT_EQ(NameOf("C:\\Music\\", u'\\'), QString());
  EXPECT_EQ(NameOf("/home/u/a b.mp3", u'/'), QStringLiteral("a b.mp3"));
  EXPECT_EQ(NameOf("C:\\dir\\a.mp3", u'/'), QStringLiteral("C:\\dir\\a.mp3"));
  EXPECT_EQ(Main::FileNameOfPath(QStringLiteral("/x/y.mp3")), QStringLiteral("y.mp3"));
}

TEST(MainPathsTest, DoubledBackslashesBecomeSingleInOnePass) {
  EXPECT_EQ(Collapse("C:\\\\Music\\\\a.mp3", u'\\'), QStringLiteral("C:\\Music\\a.mp3"));
  EXPECT_EQ(Collapse("C:\\a\\\\\\b", u'\\'), QStringLiteral("C:\\a\\\\b"));    // three: two
  EXPECT_EQ(Collapse("C:\\a\\\\\\\\b", u'\\'), QStringLiteral("C:\\a\\\\b"));  // four: two
  EXPECT_EQ(Collapse("", u'\\'), QString());
}

TEST(MainPathsTest, LeadingBackslashesBecomeExactlyTwo) {
  EXPECT_EQ(Collapse("\\\\server\\\\share\\a.mp3", u'\\'),
            QStringLiteral("\\\\server\\share\\a.mp3"));
  EXPECT_EQ(Collapse("\\server\\a", u'\\'), QStringLiteral("\\\\server\\a"));
  EXPECT_EQ(Collapse("\\\\\\\\server", u'\\'), QStringLiteral("\\\\server"));
  EXPECT_EQ(Collapse("\\\\\\", u'\\'), QStringLiteral("\\\\"));
}

TEST(MainPathsTest, SlashPathsKeepTheirSingleLeadingSlash) {
  EXPECT_EQ(Collapse("/home//u/a.mp3", u'/'), QStringLiteral("/home/u/a.mp3"));
  EXPECT_EQ(Collapse("//home/u", u'/'), QStringLiteral("/home/u"));
  EXPECT_EQ(Collapse("/music///a.mp3", u'/'), QStringLiteral("/music//a.mp3"));
  EXPECT_EQ(Main::CollapseBackslashes(QStringLiteral("/a//b")), QStringLiteral("/a/b"));
}
