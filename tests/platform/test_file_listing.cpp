#include <gtest/gtest.h>

#include <QString>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/FileListing.h"
#include "platform/FileNames.h"

namespace {

// How the listings of QString names were ordered, which the bytes' order must keep.
bool TextOrder(const std::string& a, const std::string& b) {
  const QString x = FileNames::ToText(a);
  const QString y = FileNames::ToText(b);
  const int c = x.compare(y, Qt::CaseInsensitive);
  return c != 0 ? c < 0 : x < y;
}

std::vector<std::string> Names(const FileListing& listing) {
  std::vector<std::string> names;
  for (size_t i = 0; i < listing.Size(); ++i) names.emplace_back(listing.Name(i));
  return names;
}

}  // namespace

// Names of every case, prefixes of one another, beyond ASCII at the first byte and later, and
// bytes that are no UTF-8: the bytes sort as their text did, each with its own bits.
TEST(FileListingTest, SortsTheBytesAsTheirTextSortedAndKeepsEachNamesBits) {
  const std::vector<std::string> given = {"b.mp3",
                                          "A.mp3",
                                          "a.mp3",
                                          "B.MP3",
                                          "_x.mp3",
                                          "Z1.mp3",
                                          "z.mp3",
                                          ".hidden.mp3",
                                          "a",
                                          "ab",
                                          "aB",
                                          "Ab",
                                          "\xC3\xA9t\xC3\xA9.mp3",
                                          "\xC3\x89T\xC3\x89.mp3",
                                          "\xC3\xA8.mp3",
                                          "x\xC3\xA9",
                                          "x\xC3\x89",
                                          "xe",
                                          "x\xFF\xFE.mp3",
                                          "x\xFE.mp3",
                                          "\xE6\x97\xA5.mp3",
                                          "[1].mp3",
                                          "~tmp.mp3",
                                          "",
                                          "Song 10.mp3",
                                          "song 9.mp3"};
  FileListing listing;
  for (size_t i = 0; i < given.size(); ++i) listing.Add(given[i], static_cast<int>(i));
  ASSERT_EQ(listing.Size(), given.size());
  EXPECT_EQ(Names(listing), given);  // unsorted: as added

  listing.SortByName();
  listing.Trim();
  std::vector<std::string> expected = given;
  std::stable_sort(expected.begin(), expected.end(), TextOrder);
  EXPECT_EQ(Names(listing), expected);
  for (size_t i = 0; i < listing.Size(); ++i) {
    const auto at = std::find(given.begin(), given.end(), std::string(listing.Name(i)));
    EXPECT_EQ(listing.Attributes(i), at - given.begin()) << listing.Name(i);
  }

  // Every pair orders one way only, so the sort's result does not depend on the sort.
  for (const std::string& a : given)
    for (const std::string& b : given)
      EXPECT_FALSE(FileListing::NameOrder(a, b) && FileListing::NameOrder(b, a)) << a << " " << b;
}

TEST(FileListingTest, EmptyAndGrownAfterSorting) {
  FileListing listing;
  EXPECT_TRUE(listing.Empty());
  listing.SortByName();
  EXPECT_EQ(listing.Size(), 0u);
  listing.Add("b", 32);
  listing.Add("a", 34);
  listing.SortByName();
  listing.Add("0", 1);  // after a sort, a name added comes last
  EXPECT_EQ(Names(listing), (std::vector<std::string>{"a", "b", "0"}));
  EXPECT_EQ(listing.Attributes(0), 34);
  EXPECT_EQ(listing.Attributes(2), 1);
  // The bits kept are every FileAttribute bit, the link's 1024 among them.
  listing.Add("link", 1024 | 16);
  EXPECT_EQ(listing.Attributes(3), 1040);
}
