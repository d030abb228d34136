// The tag object: defaults, the order of the read, precedence between tag kinds, and the
// accessors' sharing rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "tests/tag/TagFile.h"

namespace {

using namespace TagFile;
using namespace std::string_literals;

void ExpectEveryTextEmpty(const clsID3& tag) {
#define TAGLOOM_EXPECT_EMPTY(name) EXPECT_EQ(tag.name(), u"") << #name;
  TAGLOOM_TEXT_FIELDS(TAGLOOM_EXPECT_EMPTY)
#undef TAGLOOM_EXPECT_EMPTY
}

void ExpectEmptyLists(const clsID3& tag) {
  ASSERT_TRUE(tag.CommercialInfo());
  ASSERT_TRUE(tag.ArtistURL());
  ASSERT_TRUE(tag.AttachedPictures());
  EXPECT_EQ(tag.CommercialInfo()->Count(), 0);
  EXPECT_EQ(tag.ArtistURL()->Count(), 0);
  EXPECT_EQ(tag.AttachedPictures()->Count(), 0);
}

void ExpectNoFlags(const clsID3& tag) {
  EXPECT_FALSE(tag.ID3v1Exists());
  EXPECT_FALSE(tag.ID3v2Exists());
  EXPECT_FALSE(tag.Lyrics3v1Exists());
  EXPECT_FALSE(tag.Lyrics3v2Exists());
}

TEST(TagObject, NewObjectDefaults) {
  clsID3 tag;
  EXPECT_EQ(tag.GenreID(), 0);
  EXPECT_EQ(tag.ID3RevisionV2(), 3);
  EXPECT_FALSE(tag.CommercialInfo());
  EXPECT_FALSE(tag.ArtistURL());
  EXPECT_FALSE(tag.AttachedPictures());
  ExpectNoFlags(tag);
  ExpectEveryTextEmpty(tag);
  EXPECT_EQ(tag.FileName(), "");
  EXPECT_EQ(tag.SamplingRateFrequency(), 11025);
}

TEST(TagObject, FileWithoutTagsResetsEverything) {
  const auto tag = Read(Mpeg1Header(500));
  EXPECT_EQ(tag->GenreID(), 255);
  EXPECT_EQ(tag->ID3RevisionV2(), 3);
  ExpectNoFlags(*tag);
  ExpectEveryTextEmpty(*tag);
  ExpectEmptyLists(*tag);
}

TEST(TagObject, UnreadablePathsNeverFail) {
  TestFiles::TempDir dir;
  clsID3 tag;
  tag.SetFileName(
      dir.Write("tagged.mp3",
                Id3v2Tag(4, Frame(4, "TIT2", TextBody(Encoding::Latin1, u"T"))) + Mpeg1Header(50)));
  EXPECT_EQ(tag.ID3RevisionV2(), 4);
  for (const std::string& path : {dir.PathOf("missing.mp3"), dir.Path().string(), ""s}) {
    tag.SetFileName(path);
    EXPECT_EQ(tag.FileName(), path);
    EXPECT_EQ(tag.ID3RevisionV2(), 3) << path;
    EXPECT_EQ(tag.GenreID(), 255);
    ExpectNoFlags(tag);
    ExpectEveryTextEmpty(tag);
    ExpectEmptyLists(tag);
    EXPECT_EQ(tag.Layer(), 0);
  }
}

TEST(TagObject, AllTagKindsTogether) {
  Id3v1Fields v1;
  v1.title = "C";
  v1.year = "1999";
  v1.genre = 17;
  const Bytes v2 = Id3v2Tag(4, Frame(4, "TIT2", TextBody(Encoding::Latin1, u"A")));
  const auto tag = Read(v2 + Mpeg1Header(300) + Lyrics3v2({{"ETT", "B"}}) + Id3v1(v1));
  EXPECT_TRUE(tag->ID3v2Exists());
  EXPECT_TRUE(tag->ID3v1Exists());
  EXPECT_TRUE(tag->Lyrics3v2Exists());
  EXPECT_EQ(tag->ID3RevisionV2(), 4);
  EXPECT_EQ(tag->Title(), u"A");
  EXPECT_EQ(tag->Year(), u"1999");
  EXPECT_EQ(tag->GenreID(), 17);
  EXPECT_EQ(CountedAudioBytes(*tag), 300);
}

TEST(TagObject, PrecedenceIsId3v2ThenLyrics3ThenId3v1) {
  Id3v1Fields v1;
  v1.title = "C";
  const Bytes lyrics3 = Lyrics3v2({{"ETT", "B"}});
  const Bytes v2 = Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"A")));
  EXPECT_EQ(Read(v2 + Mpeg1Header(10) + lyrics3 + Id3v1(v1))->Title(), u"A");
  EXPECT_EQ(Read(Mpeg1Header(10) + lyrics3 + Id3v1(v1))->Title(), u"B");
  EXPECT_EQ(Read(Mpeg1Header(10) + Id3v1(v1))->Title(), u"C");
  // An empty ID3v2 value counts as no value.
  const Bytes empty_v2 = Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"")));
  EXPECT_EQ(Read(empty_v2 + Mpeg1Header(10) + Id3v1(v1))->Title(), u"C");
}

TEST(TagObject, SettersChangeMemoryOnlyUntilTheNextRead) {
  TestFiles::TempDir dir;
  const std::string path =
      dir.Write("a.mp3", Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"Original"))) +
                             Mpeg1Header(50));
  const auto before = TestFiles::ReadBytes(path);
  clsID3 tag;
  tag.SetFileName(path);
  tag.SetTitle(u"New");
  tag.SetGenreID(-2);
  EXPECT_EQ(tag.Title(), u"New");
  EXPECT_EQ(tag.GenreID(), -2);
  tag.RefreshID3Tags();
  EXPECT_EQ(tag.Title(), u"Original");
  EXPECT_EQ(tag.GenreID(), 255);
  EXPECT_EQ(TestFiles::ReadBytes(path), before);
}

TEST(TagObject, SameFileNameReadsTheFileAgain) {
  TestFiles::TempDir dir;
  const std::string path =
      dir.Write("a.mp3", Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"First"))));
  clsID3 tag;
  tag.SetFileName(path);
  EXPECT_EQ(tag.Title(), u"First");
  dir.Write("a.mp3", Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"Second"))));
  tag.SetFileName(path);
  EXPECT_EQ(tag.Title(), u"Second");
}

TEST(TagObject, ListsAreSharedNotCopied) {
  const auto tag = Read(Id3v2Tag(3, Frame(3, "WOAR", UrlBody("http://a.example/"))));
  tag->ArtistURL()->Add(u"http://b.example/");
  EXPECT_EQ(tag->ArtistURL()->Count(), 2);

  auto mine = std::make_shared<MultiFrameData>();
  tag->SetAttachedPictures(mine);
  mine->Add(u"picture", std::nullopt, std::nullopt, true);
  EXPECT_EQ(tag->AttachedPictures()->Count(), 1);
  EXPECT_EQ(tag->AttachedPictures().get(), mine.get());

  // A read gives the object new lists; the caller's old list is left alone.
  const auto old_list = tag->ArtistURL();
  tag->RefreshID3Tags();
  EXPECT_NE(tag->ArtistURL().get(), old_list.get());
  EXPECT_EQ(old_list->Count(), 2);
}

TEST(TagObject, ReadingOneFileAfterAnotherLeavesNothingBehind) {
  TestFiles::TempDir dir;
  Id3v1Fields v1;
  v1.title = "Full";
  v1.genre = 3;
  const Bytes full = Id3v2Tag(3, Frame(3, "TPE1", TextBody(Encoding::Latin1, u"Someone")) +
                                     Frame(3, "WOAR", UrlBody("http://x.example/"))) +
                     XingFrame(kMpeg1, 10, 4000) + Lyrics3v1("la la") + Id3v1(v1);
  clsID3 tag;
  tag.SetFileName(dir.Write("full.mp3", full));
  EXPECT_EQ(tag.Artist(), u"Someone");
  EXPECT_EQ(tag.Encoding(), 1);
  tag.SetFileName(dir.Write("bare.mp3", Bytes(10, '\0')));
  ExpectEveryTextEmpty(tag);
  ExpectEmptyLists(tag);
  ExpectNoFlags(tag);
  EXPECT_EQ(tag.GenreID(), 255);
  EXPECT_EQ(tag.Encoding(), 0);
  EXPECT_EQ(tag.Layer(), 0);
}

// The frames a rewrite manages: a misspelt or repeated id would leave a frame of the file
// unmanaged, or managed twice.
TEST(TagObject, ManagedFrameIdsAreFrameIdsOfTheirVersionEachOnce) {
  for (const auto* ids : {&clsID3::ID3v2FrameIds(), &clsID3::ID3v22FrameIds()}) {
    const size_t length = ids == &clsID3::ID3v2FrameIds() ? 4 : 3;
    std::set<std::string> seen;
    for (const std::string& id : *ids) {
      EXPECT_EQ(id.size(), length) << id;
      EXPECT_TRUE(std::all_of(id.begin(), id.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
      })) << id;
      EXPECT_TRUE(seen.insert(id).second) << id << " twice";
    }
  }
  EXPECT_EQ(clsID3::Lyrics3FieldIds(),
            (std::vector<std::string>{"LYR", "AUT", "EAL", "EAR", "ETT"}));
}

// A read that passes over the pictures leaves every other field, flag and audio figure as the
// full read gives it: pictures before, between and after other frames, large and small.
TEST(TagObject, PicturesPassedOverLeaveEverythingElseAsItWas) {
  const std::string big(70000, '\x5A');
  for (const int version : {2, 3, 4}) {
    const bool v22 = version == 2;
    const auto text = [&](const char* v2, const char* v3, std::u16string_view value) {
      return Frame(version, v22 ? v2 : v3, TextBody(Encoding::Utf16, value));
    };
    const Bytes picture =
        Frame(version, v22 ? "PIC" : "APIC",
              PictureBody(version, Encoding::Latin1, v22 ? "JPG" : "image/jpeg", 3, u"cover", big));
    const Bytes small = Frame(version, v22 ? "PIC" : "APIC",
                              PictureBody(version, Encoding::Latin1, v22 ? "PNG" : "image/png", 4,
                                          u"back", std::string(90, '\x11')));
    const Bytes lyrics =
        Frame(version, v22 ? "ULT" : "USLT",
              CommentBody(Encoding::Utf16, "eng", u"", std::u16string(3000, u'l')));
    for (const Bytes& frames :
         {text("TT2", "TIT2", u"Title") + picture + text("TP1", "TPE1", u"Artist") + lyrics +
              small + text("TRK", "TRCK", u"3/9"),
          picture + small + text("TAL", "TALB", u"Album"),
          text("TT2", "TIT2", u"Only") + small + picture}) {
      for (const size_t padding : {size_t{0}, size_t{5000}}) {
        TagOptions options;
        options.padding = padding;
        const Bytes file =
            Id3v2Tag(version, frames, options) + Mpeg1Header(4000) + Mpeg1Header(4000);
        const std::unique_ptr<clsID3> full = Read(file);
        TestFiles::TempDir dir;
        clsID3 lean;
        lean.SetPicturesWanted(false);
        lean.SetFileName(dir.Write("lean.mp3", file));
#define TAGLOOM_EXPECT_SAME(name) EXPECT_EQ(lean.name(), full->name()) << #name << " v" << version;
        TAGLOOM_TEXT_FIELDS(TAGLOOM_EXPECT_SAME)
#undef TAGLOOM_EXPECT_SAME
        EXPECT_EQ(full->AttachedPictures()->Count(), 2);
        EXPECT_EQ(lean.AttachedPictures()->Count(), 0);
        EXPECT_EQ(full->PictureCount(), 2);
        EXPECT_FALSE(full->Title().empty() && full->Album().empty());
        EXPECT_EQ(lean.ID3v2Exists(), full->ID3v2Exists());
        EXPECT_EQ(lean.length(), full->length());
        EXPECT_EQ(lean.BitRate(), full->BitRate());
        EXPECT_EQ(lean.Diagnosis().status, full->Diagnosis().status);
      }
    }
  }
}

// A read that passes over the pictures but counts them counts what the full read keeps: a
// picture whose bytes match an earlier one (letter case aside) is no picture of its own.
TEST(TagObject, PicturesPassedOverAreCountedAsTheFullReadKeepsThem) {
  for (const int version : {2, 3, 4}) {
    const bool v22 = version == 2;
    const auto picture = [&](char16_t type, std::string_view data) {
      return Frame(version, v22 ? "PIC" : "APIC",
                   PictureBody(version, Encoding::Latin1, v22 ? "JPG" : "image/jpeg", 3,
                               std::u16string(1, type), std::string(data)));
    };
    const std::string big(70000, 'a');
    const Bytes title = Frame(version, v22 ? "TT2" : "TIT2", TextBody(Encoding::Latin1, u"T"));
    for (const auto& [frames, count] : std::vector<std::pair<Bytes, int32_t>>{
             {title, 0},
             {title + picture(u'a', big), 1},
             {picture(u'a', big) + title + picture(u'b', big), 2},
             {picture(u'a', big) + picture(u'a', big), 1},
             {picture(u'a', big) + picture(u'A', std::string(70000, 'A')), 1},
             {picture(u'a', "x") + picture(u'b', big) + picture(u'a', "x"), 2}}) {
      for (const bool unsynchronise : {false, true}) {
        if (unsynchronise && version == 4) continue;
        TagOptions options;
        options.unsynchronise = unsynchronise;
        const Bytes file = Id3v2Tag(version, frames, options) + Mpeg1Header(4000);
        const std::unique_ptr<clsID3> full = Read(file);
        TestFiles::TempDir dir;
        clsID3 counted;
        counted.SetPicturesWanted(false);
        counted.SetPictureCountWanted(true);
        counted.SetFileName(dir.Write("counted.mp3", file));
        clsID3 uncounted;
        uncounted.SetPicturesWanted(false);
        uncounted.SetFileName(dir.Write("counted.mp3", file));
        EXPECT_EQ(full->AttachedPictures()->Count(), count) << "v" << version;
        EXPECT_EQ(full->PictureCount(), count) << "v" << version;
        EXPECT_EQ(counted.PictureCount(), count) << "v" << version << " " << unsynchronise;
        EXPECT_EQ(counted.AttachedPictures()->Count(), 0);
        EXPECT_EQ(counted.Title(), full->Title());
        EXPECT_EQ(uncounted.PictureCount(), 0);
      }
    }
  }
}

}  // namespace
