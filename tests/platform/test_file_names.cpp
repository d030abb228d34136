// File names as text and back: every byte string survives, and only well-formed UTF-8 becomes
// characters.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <random>
#include <string>

#include "platform/FileNames.h"
#include "platform/PosixFileSystem.h"

namespace {

using FileNameText::Decode;
using FileNameText::Encode;

bool HasLoneSurrogate(const std::u16string& text) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (text[i] >= 0xD800 && text[i] <= 0xDFFF) {
      return true;
    }
  }
  return false;
}

}  // namespace

TEST(FileNameTextTest, EveryByteStringComesBackAndNoneMakesALoneSurrogate) {
  // All one- and two-byte strings, then random ones from the bytes where decoders go wrong.
  std::vector<std::string> names;
  for (int a = 0; a < 256; ++a) {
    names.push_back(std::string(1, char(a)));
    for (int b = 0x80; b < 256; ++b) names.push_back(std::string{char(a), char(b)});
  }
  const std::string tricky = "a/\x80\xBF\xC0\xC1\xC2\xDF\xE0\xED\xEE\xEF\xF0\xF4\xF5\xFF\xA0\xBE";
  std::mt19937 random(7);
  for (int n = 0; n < 20000; ++n) {
    std::string name(random() % 9, ' ');
    for (char& c : name) c = tricky[random() % tricky.size()];
    names.push_back(name);
  }
  for (const std::string& name : names) {
    const std::u16string text = Decode(name);
    ASSERT_EQ(Encode(text), name);
    ASSERT_FALSE(HasLoneSurrogate(text));
  }
}

TEST(FileNameTextTest, OnlyWellFormedUtf8BecomesCharacters) {
  EXPECT_EQ(Decode("caf\xC3\xA9 \xF0\x9F\x98\x80"), u"caf\u00E9 \U0001F600");
  EXPECT_EQ(Decode("caf\xE9"), u"caf\uEFE9");                          // Latin-1
  EXPECT_EQ(Decode("\xC0\xAF"), u"\uEFC0\uEFAF");                      // an overlong "/"
  EXPECT_EQ(Decode("\xE0\x80\xAF"), u"\uEFE0\uEF80\uEFAF");            // another
  EXPECT_EQ(Decode("\xED\xA0\x80"), u"\uEFED\uEFA0\uEF80");            // a surrogate
  EXPECT_EQ(Decode("\xF4\x90\x80\x80"), u"\uEFF4\uEF90\uEF80\uEF80");  // past U+10FFFF
  EXPECT_EQ(Decode("\xE2\x82"), u"\uEFE2\uEF82");                      // cut short
  // A mark spelled in UTF-8 shows as marks, or it would come back as one byte.
  EXPECT_EQ(Decode("\xEE\xBE\x80"), u"\uEFEE\uEFBE\uEF80");
  EXPECT_EQ(Encode(u"\xD800x"), "\xEF\xBF\xBDx");  // text from elsewhere, not from a name
  EXPECT_EQ(FileNames::ToText("caf\xE9"), QStringLiteral("caf") + QChar(0xEFE9));
  EXPECT_EQ(FileNames::ToBytes(QStringLiteral("caf") + QChar(0xEFE9)), QByteArray("caf\xE9"));
}

TEST(FileNameTextTest, ANameListedFromAFolderLeadsBackToItsFile) {
  QTemporaryDir dir;
  const QByteArray folder = QFile::encodeName(dir.path());
  const int fd = ::open((folder + "/caf\xE9.mp3").constData(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ::close(fd);
  PosixFileSystem fs;
  const std::vector<DirectoryEntry> files =
      fs.ListFiles(dir.path(), [](const QString&) { return true; });
  ASSERT_EQ(files.size(), 1u);
  const QString path = dir.path() + u'/' + files[0].name;
  EXPECT_TRUE(fs.FileIsPresent(path));
  EXPECT_EQ(fs.Attributes(path), FileAttribute::kArchive);
  EXPECT_EQ(FileNames::ToBytes(path), folder + "/caf\xE9.mp3");
}
