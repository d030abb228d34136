// The index of reads: a kept read made again gives every getter what the read gave, for every
// legacy-text decoder; a file is taken only while its status is unchanged; a record that is not
// whole is refused, never half taken.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "batch/AuditFacts.h"
#include "legacy/IconvLegacyText.h"
#include "readindex/ReadIndex.h"
#include "tag/clsID3.h"
#include "tests/support/TestFiles.h"
#include "tools/samples/SampleBuilder.h"

namespace {

namespace fs = std::filesystem;
namespace sb = SampleBuilder;

// Every getter a cell, a total or dump reads, as one comparable text.
std::string Seen(const clsID3& t) {
  std::string s;
  const auto add = [&](std::u16string_view text) {
    for (const char16_t c : text) s += std::to_string(c) + ",";
    s += "|";
  };
#define TAGLOOM_SEE(name) add(t.name());
  TAGLOOM_TEXT_FIELDS(TAGLOOM_SEE)
#undef TAGLOOM_SEE
  for (const auto* list : {&t.CommercialInfo(), &t.ArtistURL()})
    for (int32_t i = 1; i <= (*list)->Count(); ++i) add((*list)->Item(i));
  const ReadDiagnosis& d = t.Diagnosis();
  s += std::to_string(static_cast<int>(d.status)) + " " + std::to_string(d.error_number) + " " +
       std::to_string(d.size) + " " + std::to_string(d.modified.tv_sec) + "." +
       std::to_string(d.modified.tv_nsec) + " " + std::to_string(d.tag_cut) +
       std::to_string(d.audio_cut);
  for (const FieldSource& f : t.Sources().of)
    s += " " + std::to_string(static_cast<int>(f.tag)) + "/" + std::to_string(f.revision) + "/" +
         std::to_string(f.legacy) + std::string(f.Id());
  for (const FieldId f : t.Id3v1Conflicts()) s += " c" + std::to_string(static_cast<int>(f));
  const MpegAudio::ExactLength exact = t.ExactLength();
  s += " " + std::to_string(exact.seconds) + std::to_string(static_cast<int>(exact.source));
  add(t.ShownGenre());
  s += " " + std::to_string(t.GenreID()) + " " + std::to_string(t.PictureCount()) + " " +
       std::to_string(t.ID3v1Exists()) + std::to_string(t.ID3v2Exists()) +
       std::to_string(t.Lyrics3v1Exists()) + std::to_string(t.Lyrics3v2Exists()) + " " +
       std::to_string(t.ID3RevisionV2()) + " " + std::to_string(t.Layer()) +
       std::to_string(t.MPEGVersion()) + std::to_string(t.ChannelMode()) +
       std::to_string(t.Padding()) + std::to_string(t.Encoding()) + " " +
       std::to_string(t.SamplingRateFrequency()) + " " + std::to_string(t.BitRate()) + " " +
       std::to_string(t.FrameSize()) + " " + std::to_string(t.FrameSamples()) + " " +
       std::to_string(t.length()) + " " + std::to_string(t.IsVBR()) + " " +
       std::to_string(t.DeclaredFrames()) + " " + std::to_string(t.HasAudio()) + " " +
       std::to_string(t.HasLegacyText()) + " " + t.LegacyCodePage();
  return s;
}

std::vector<std::string> MakeFiles(const TestFiles::TempDir& dir) {
  const std::string audio = sb::Silence(sb::kMpeg1, 1.0);
  sb::Id3v1Fields v1;
  v1.title = "\xcf\xf0\xe8\xe2\xe5\xf2 \xec\xe8\xf0 \xe4\xf0\xf3\xe7\xfc\xff";
  v1.artist = "\xe1\xe5\xeb\xfb\xe9 \xf1\xed\xe5\xe3";
  v1.comment = "\xea\xee\xec";
  v1.track = 7;
  const std::string frames =
      sb::Frame(3, "TIT2", sb::TextBody(sb::Encoding::Latin1, u"\u00cf\u00f0\u00e8 long")) +
      sb::Frame(3, "WCOM", sb::UrlBody("http://a")) +
      sb::Frame(3, "WCOM", sb::UrlBody("http://b")) +
      sb::Frame(3, "WOAR", sb::UrlBody("http://artist")) +
      // A genre number the table does not name is shown as the frame gave it.
      sb::Frame(3, "TCON", sb::TextBody(sb::Encoding::Latin1, u"(255)")) +
      sb::Frame(3, "APIC", sb::PictureBody(3, sb::Encoding::Latin1, "image/png", 3, u"", "P1")) +
      sb::Frame(3, "APIC", sb::PictureBody(3, sb::Encoding::Latin1, "image/png", 4, u"", "P2"));
  std::vector<std::string> paths = {
      dir.Write("v1.mp3", audio + sb::Id3v1(v1)),
      dir.Write("v2.mp3", sb::Id3v2Tag(3, frames) + audio + sb::Id3v1(v1)),
      dir.Write("lyrics.mp3",
                audio + sb::Lyrics3v2({{"LYR", "\xe4\xf0\xf3\xe7"}, {"ETT", "t"}}) + sb::Id3v1(v1)),
      dir.Write("cut.mp3", sb::Id3v2Tag(3, frames).substr(0, 30)),
      dir.Write("noise.mp3", std::string(3000, '\x17')),
      dir.Write("empty.mp3", ""),
  };
  if (const auto samples = TestFiles::SamplesDir())
    for (const auto& entry : fs::directory_iterator(*samples))
      if (entry.path().extension() == ".mp3") paths.push_back(entry.path().string());
  return paths;
}

std::shared_ptr<LegacyTextDecoder> Decoder(const char* setting) {
  std::string problem;
  return LegacyText::DecoderFor(setting, problem);
}

TEST(ReadRecordTest, AKeptReadIsMadeAgainForEveryDecoder) {
  TestFiles::TempDir dir;
  for (const std::string& path : MakeFiles(dir)) {
    clsID3 read;
    read.SetPicturesWanted(false);
    read.SetPictureCountWanted(true);
    read.SetFileName(path);
    const std::string record = read.SavedRead();
    ASSERT_FALSE(record.empty()) << path;
    for (const char* setting : {"windows-1252", "detect", "windows-1251", "koi8-r"}) {
      clsID3 fresh;
      fresh.SetPicturesWanted(false);
      fresh.SetPictureCountWanted(true);
      fresh.SetLegacyTextDecoder(Decoder(setting));
      fresh.SetFileName(path);
      clsID3 made;
      made.SetPicturesWanted(false);
      made.SetPictureCountWanted(true);
      made.SetLegacyTextDecoder(Decoder(setting));
      ASSERT_TRUE(made.RestoreRead(record, path)) << path;
      EXPECT_EQ(Seen(made), Seen(fresh)) << path << " " << setting;
      // A record saved from a decoded read is the same record.
      EXPECT_TRUE(fresh.SavedRead() == record) << path << " " << setting;
    }
  }
}

TEST(ReadRecordTest, ARecordNotWholeIsRefused) {
  TestFiles::TempDir dir;
  clsID3 read;
  read.SetPicturesWanted(false);
  read.SetFileName(MakeFiles(dir)[1]);
  const std::string record = read.SavedRead();
  clsID3 made;
  for (size_t n = 0; n < record.size(); ++n)
    EXPECT_FALSE(made.RestoreRead(record.substr(0, n), "x")) << n;
  EXPECT_FALSE(made.RestoreRead(record + "x", "x"));
  std::string other = record;
  other[0] = static_cast<char>(clsID3::kReadRecordLayout + 1);
  EXPECT_FALSE(made.RestoreRead(other, "x"));
  EXPECT_EQ(made.Diagnosis().status, ReadDiagnosis::Status::kMissing);
  // A tag that keeps picture bytes has nothing a record can hold.
  clsID3 pictures;
  pictures.SetFileName(MakeFiles(dir)[1]);
  EXPECT_TRUE(pictures.SavedRead().empty());
}

class ReadIndexTest : public ::testing::Test {
 protected:
  // Files made a moment ago count as still, unless a test says otherwise.
  std::unique_ptr<ReadIndex> Open(int64_t still_for = 0) {
    auto index =
        ReadIndex::Open(dir.PathOf("index.db"), [&](const std::string& s) { said.push_back(s); });
    if (index) index->SetStillFor(still_for);
    return index;
  }
  TestFiles::TempDir dir;
  std::vector<std::string> said;
};

TEST_F(ReadIndexTest, AFileIsTakenOnlyWhileItsStatusIsUnchanged) {
  const std::vector<std::string> paths = MakeFiles(dir);
  const std::string& path = paths[1];
  std::string first;
  {
    const auto index = Open();
    ASSERT_TRUE(index);
    clsID3 tag;
    tag.SetPicturesWanted(false);
    index->Read(tag, path);
    first = Seen(tag);
    EXPECT_EQ(index->Tally().read, 1);
  }
  const auto index = Open();
  clsID3 tag;
  tag.SetPicturesWanted(false);
  index->Read(tag, path);
  EXPECT_EQ(index->Tally().taken, 1);
  EXPECT_EQ(Seen(tag), first);
  // The modification time alone moved: read again.
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  timespec times[2] = {st.st_atim, st.st_mtim};
  times[1].tv_nsec = (times[1].tv_nsec + 1) % 1000000000;
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  index->Read(tag, path);
  EXPECT_EQ(index->Tally().read, 1);
  // The pictures' bytes are not kept: a tag that wants them reads the file.
  index->Finish();
  clsID3 whole;
  index->Read(whole, path);
  EXPECT_EQ(index->Tally().read, 2);
  EXPECT_EQ(whole.AttachedPictures()->Count(), 2);
  EXPECT_TRUE(said.empty());
}

// A back cover, then the front one as PNG and as an older tag's PIC frame would name it.
std::string CoveredFile(const TestFiles::TempDir& dir) {
  const auto png = [](uint32_t side) {
    std::string image = sb::TinyPng(1, 1, 0, 0, 0);
    image.replace(16, 8, sb::BigEndian(side, 4) + sb::BigEndian(side, 4));
    return image;
  };
  const std::string frames =
      sb::Frame(3, "TIT2", sb::TextBody(sb::Encoding::Latin1, u"Covered")) +
      sb::Frame(3, "APIC", sb::PictureBody(3, sb::Encoding::Latin1, "image/gif", 4, u"b", "GIF8")) +
      sb::Frame(3, "APIC", sb::PictureBody(3, sb::Encoding::Latin1, "image/png", 3, u"", png(640)));
  return dir.Write("covered.mp3", sb::Id3v2Tag(3, frames) + sb::Silence(sb::kMpeg1, 1.0));
}

TEST(ReadRecordTest, PicturesAreKeptByTheirMeasure) {
  TestFiles::TempDir dir;
  const std::string path = CoveredFile(dir);
  clsID3 read;
  read.SetPictureMeasure(&AuditFacts::MeasurePictures);
  read.SetFileName(path);
  const std::optional<Audit::Cover> cover = AuditFacts::FrontCover(*read.AttachedPictures());
  ASSERT_TRUE(cover);
  const std::string record = read.SavedRead();
  ASSERT_TRUE(clsID3::RecordMeasuresPictures(record));
  // A tag that wants the pictures' bytes is not served by their measure.
  clsID3 made;
  EXPECT_FALSE(made.RestoreRead(record, path));
  made.SetPictureMeasure(&AuditFacts::MeasurePictures);
  ASSERT_TRUE(made.RestoreRead(record, path));
  EXPECT_EQ(made.PictureCount(), 2);
  EXPECT_EQ(made.AttachedPictures()->Count(), 0);
  ASSERT_TRUE(made.KeptPictures());
  const std::vector<PictureFacts::Frame>& frames = made.KeptPictures()->frames;
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].type, 4);
  EXPECT_EQ(frames[0].format, "image/gif");
  EXPECT_EQ(frames[0].bytes, 4);
  EXPECT_EQ(frames[1].type, 3);
  EXPECT_EQ(frames[1].format, "image/png");
  const std::optional<Audit::Cover> kept = AuditFacts::CoverOf(made);
  ASSERT_TRUE(kept);
  EXPECT_EQ(kept->width, 640);
  EXPECT_EQ(kept->height, 640);
  EXPECT_EQ(kept->hash, cover->hash);
  // The same getters as the read, but for the pictures' bytes.
  clsID3 counted;
  counted.SetPicturesWanted(false);
  counted.SetPictureCountWanted(true);
  counted.SetFileName(path);
  EXPECT_EQ(Seen(made), Seen(counted));
  for (size_t n = 0; n < record.size(); ++n)
    EXPECT_FALSE(made.RestoreRead(record.substr(0, n), path)) << n;
  // A read that only counted the pictures cannot serve one that wants them.
  const std::string bare = counted.SavedRead();
  EXPECT_FALSE(clsID3::RecordMeasuresPictures(bare));
  EXPECT_FALSE(made.RestoreRead(bare, path));
  EXPECT_TRUE(counted.RestoreRead(record, path));
}

TEST_F(ReadIndexTest, AReadThatWantsPicturesIsTakenOnceTheyWereMeasured) {
  const std::string path = CoveredFile(dir);
  const auto read = [&](bool wanted) {
    const auto index = Open();
    clsID3 tag;
    tag.SetPicturesWanted(wanted);
    tag.SetPictureCountWanted(true);
    tag.SetPictureMeasure(&AuditFacts::MeasurePictures);
    index->Read(tag, path);
    const std::optional<Audit::Cover> cover = AuditFacts::CoverOf(tag);
    return std::make_pair(index->Tally().taken, wanted && cover ? cover->width : -1);
  };
  // Kept by a run that counted the pictures: read again, kept measured, then taken.
  EXPECT_EQ(read(false), std::make_pair(int64_t{0}, -1));
  EXPECT_EQ(read(false), std::make_pair(int64_t{1}, -1));
  EXPECT_EQ(read(true), std::make_pair(int64_t{0}, 640));
  EXPECT_EQ(read(true), std::make_pair(int64_t{1}, 640));
  EXPECT_EQ(read(false), std::make_pair(int64_t{1}, -1));
  // One that wants their bytes reads the file.
  const auto index = Open();
  clsID3 whole;
  index->Read(whole, path);
  EXPECT_EQ(index->Tally().read, 1);
  EXPECT_EQ(whole.AttachedPictures()->Count(), 2);
  EXPECT_TRUE(said.empty()) << said.front();
}

TEST_F(ReadIndexTest, AFileChangedJustBeforeItsReadIsReadAgain) {
  const std::string path = MakeFiles(dir)[0];
  for (int run = 0; run < 2; ++run) {
    const auto index = Open(60'000'000'000);
    clsID3 tag;
    index->Read(tag, path);
    EXPECT_EQ(index->Tally().read, 1) << run;
  }
  // Once it has been still long enough, the next read keeps it for the one after.
  for (const int64_t taken : {0, 1}) {
    const auto index = Open();
    clsID3 tag;
    index->Read(tag, path);
    EXPECT_EQ(index->Tally().taken, taken);
  }
}

TEST_F(ReadIndexTest, FilesWithoutAChangeTimeAreReadEveryTimeAndToldOnce) {
  const std::vector<std::string> paths = MakeFiles(dir);
  for (int run = 0; run < 2; ++run) {
    const auto index = Open();
    index->SetChangeTimeProbe([](const std::string&) { return false; });
    clsID3 tag;
    tag.SetPicturesWanted(false);
    for (const std::string& path : paths) index->Read(tag, path);
    EXPECT_EQ(index->Tally().taken, 0);
    EXPECT_EQ(index->Tally().read, static_cast<int64_t>(paths.size()));
  }
  ASSERT_EQ(said.size(), 2u);
  EXPECT_NE(said[0].find("keeps no change time"), std::string::npos) << said[0];
}

TEST_F(ReadIndexTest, ThreadsShareOneIndexAndGoneFilesAreDropped) {
  const std::vector<std::string> paths = MakeFiles(dir);
  std::vector<std::string> expected;
  for (const std::string& path : paths) {
    clsID3 tag;
    tag.SetPicturesWanted(false);
    tag.SetFileName(path);
    expected.push_back(Seen(tag));
  }
  for (int run = 0; run < 2; ++run) {
    const auto index = Open();
    index->Walked(dir.Path().string());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&] {
        clsID3 tag;
        tag.SetPicturesWanted(false);
        for (size_t i = 0; i < paths.size(); ++i) {
          index->Read(tag, paths[i]);
          EXPECT_EQ(Seen(tag), expected[i]) << paths[i];
        }
      });
    for (std::thread& thread : threads) thread.join();
    index->Finish();
  }
  const std::string root = dir.Path().string();
  EXPECT_EQ(Open()->PathsUnder(root).size(), 6u);
  fs::remove(paths[0]);
  {
    const auto index = Open();
    index->Walked(root + "/");
    clsID3 tag;
    for (size_t i = 1; i < paths.size(); ++i) index->Read(tag, paths[i]);
    index->Finish();
  }
  const std::vector<std::string> kept = Open()->PathsUnder(root);
  EXPECT_EQ(kept.size(), 5u);
  EXPECT_EQ(std::count(kept.begin(), kept.end(), paths[0]), 0);
  EXPECT_TRUE(said.empty());
}

// A row kept whole is given back for its shape and path as given, the tag left alone. Another
// shape makes its row from the read kept beside it, without reading the file, and once it is
// the shape of two runs in a row, its rows take the place of the first's; a changed file or a
// damaged row is read again.
TEST_F(ReadIndexTest, AKeptRowIsGivenForItsShapeAlone) {
  const std::string path = MakeFiles(dir)[1];
  const uint64_t json_seed = ReadIndex::ShapeSeed("json");
  const uint64_t csv_seed = ReadIndex::ShapeSeed("csv");
  EXPECT_NE(ReadIndex::ShapeOf(json_seed, path), ReadIndex::ShapeOf(csv_seed, path));
  EXPECT_NE(ReadIndex::ShapeOf(json_seed, path), ReadIndex::ShapeOf(json_seed, "./" + path));
  clsID3 fresh;
  fresh.SetPicturesWanted(false);
  fresh.SetFileName(path);
  const auto read = [&](ReadIndex& index, uint64_t seed, ReadyRow& ready) -> std::string {
    clsID3 tag;
    tag.SetPicturesWanted(false);
    ready.seed = seed;
    ready.shape = ReadIndex::ShapeOf(seed, path);
    index.Read(tag, path, &ready);
    // A row given leaves the tag as it was: never read.
    if (ready.taken) return tag.Diagnosis().status == clsID3().Diagnosis().status ? "" : "read";
    return Seen(tag);
  };
  {
    const auto index = Open();
    ReadyRow ready;
    EXPECT_EQ(read(*index, json_seed, ready), Seen(fresh));
    EXPECT_FALSE(ready.taken);
    ready.Keep("json row", 3);
    // Kept once: a second Keep of the same read adds nothing.
    ready.Keep("other row", 4);
    index->Finish();
  }
  for (int run = 0; run < 2; ++run) {
    const auto index = Open();
    ReadyRow ready;
    EXPECT_EQ(read(*index, json_seed, ready), "") << run;
    EXPECT_TRUE(ready.taken) << run;
    EXPECT_EQ(ready.line, "json row") << run;
    EXPECT_EQ(ready.status, 3) << run;
    // A run of another shape once, between two of the first: nothing written.
    const auto other = Open();
    ReadyRow csv;
    EXPECT_EQ(read(*other, csv_seed, csv), Seen(fresh)) << run;
    EXPECT_FALSE(csv.taken);
    csv.Keep("csv row", 1);
    other->Finish();
    EXPECT_EQ(other->Tally().taken, 1);
    EXPECT_EQ(other->Tally().read, 0);
    index->Finish();
  }
  for (int run = 0; run < 3; ++run) {
    const auto index = Open();
    ReadyRow ready;
    EXPECT_EQ(read(*index, csv_seed, ready), run < 2 ? Seen(fresh) : "") << run;
    EXPECT_EQ(ready.taken, run == 2) << run;
    ready.Keep(std::string(5000, 'c'), 1);
    index->Finish();
    EXPECT_EQ(index->Tally().read, 0);
  }
  {
    const auto index = Open();
    ReadyRow ready;
    EXPECT_EQ(read(*index, csv_seed, ready), "");
    EXPECT_EQ(ready.line, std::string(5000, 'c'));
    ReadyRow first;
    EXPECT_EQ(read(*index, json_seed, first), Seen(fresh));
    EXPECT_FALSE(first.taken);
    EXPECT_EQ(index->Tally().read, 0);
  }
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir.PathOf("index.db").c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, "UPDATE files SET line = zeroblob(length(line))", nullptr, nullptr,
                           nullptr),
              SQLITE_OK);
    sqlite3_close(db);
    const auto index = Open();
    ReadyRow ready;
    EXPECT_EQ(read(*index, csv_seed, ready), Seen(fresh));
    EXPECT_FALSE(ready.taken);
    EXPECT_EQ(index->Tally().read, 1);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("damaged"), std::string::npos) << said[0];
    ready.Keep("csv row", 1);
  }
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  timespec times[2] = {st.st_atim, st.st_mtim};
  times[1].tv_sec -= 10;
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
  const auto index = Open();
  ReadyRow ready;
  read(*index, csv_seed, ready);
  EXPECT_FALSE(ready.taken);
  EXPECT_EQ(index->Tally().read, 1);
}

}  // namespace
