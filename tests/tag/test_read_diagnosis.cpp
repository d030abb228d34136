// The read diagnosis: every way a file can fail to give tags is told apart, and the fields come
// out of the read the same whatever the diagnosis says.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tests/tag/TagFile.h"

namespace {

using namespace TagFile;
using Status = ReadDiagnosis::Status;

Bytes Tagged(std::string_view audio) {
  return Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"Song"))) + Bytes(audio);
}

TEST(ReadDiagnosis, FilesThatCouldNotBeLookedAtSayWhy) {
  TestFiles::TempDir dir;
  clsID3 tag;
  tag.SetFileName(dir.PathOf("absent.mp3"));
  EXPECT_EQ(tag.Diagnosis().status, Status::kMissing);
  EXPECT_EQ(tag.Diagnosis().error_number, ENOENT);
  EXPECT_TRUE(tag.Diagnosis().NotRead());

  tag.SetFileName(dir.PathOf("absent/inner.mp3"));
  EXPECT_EQ(tag.Diagnosis().status, Status::kMissing);

  tag.SetFileName(dir.Path().string());
  EXPECT_EQ(tag.Diagnosis().status, Status::kNotRegularFile);

  const std::string fifo = dir.PathOf("pipe.mp3");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  tag.SetFileName(fifo);  // never blocks on a FIFO without a writer
  EXPECT_EQ(tag.Diagnosis().status, Status::kNotRegularFile);

  // Root reads any mode, so the refusal comes from a name the system will not take.
  tag.SetFileName(dir.PathOf(std::string(300, 'n') + ".mp3"));
  EXPECT_EQ(tag.Diagnosis().status, Status::kUnreadable);
  EXPECT_EQ(tag.Diagnosis().error_number, ENAMETOOLONG);

  const std::string loop = dir.PathOf("loop.mp3");
  ASSERT_EQ(::symlink(loop.c_str(), loop.c_str()), 0);
  tag.SetFileName(loop);
  EXPECT_EQ(tag.Diagnosis().status, Status::kUnreadable);
  EXPECT_EQ(tag.Diagnosis().error_number, ELOOP);
}

TEST(ReadDiagnosis, ContentsAreToldApart) {
  const MpegFormat format = kMpeg1;
  EXPECT_EQ(Read("")->Diagnosis().status, Status::kEmpty);
  EXPECT_EQ(Read("just some notes\n")->Diagnosis().status, Status::kNotMpegAudio);
  EXPECT_EQ(Read(Tagged(""))->Diagnosis().status, Status::kNotMpegAudio);
  EXPECT_EQ(Read(SilentFrames(format, 20))->Diagnosis().status, Status::kNoTags);
  EXPECT_EQ(Read(Tagged(SilentFrames(format, 20)))->Diagnosis().status, Status::kRead);
  Id3v1Fields v1;
  v1.title = "x";
  EXPECT_EQ(Read(SilentFrames(format, 20) + Id3v1(v1))->Diagnosis().status, Status::kRead);

  const auto read = Read(Tagged(SilentFrames(format, 20)));
  EXPECT_EQ(read->Diagnosis().size, static_cast<int64_t>(Tagged(SilentFrames(format, 20)).size()));
  EXPECT_GT(read->Diagnosis().modified.tv_sec, 0);
}

TEST(ReadDiagnosis, CutTagsAndCutAudioAreTruncatedAndReadAsBefore) {
  const MpegFormat format = kMpeg1;
  const int frame = FrameLength(format, false);
  // The tag's header declares more bytes than arrive: the frames that did arrive still read.
  TagOptions padded;
  padded.padding = 64;
  const Bytes tag = Id3v2Tag(3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"Song")), padded);
  const auto cut_tag = Read(tag.substr(0, tag.size() - 40));
  EXPECT_EQ(cut_tag->Diagnosis().status, Status::kTruncated);  // not "not MPEG audio"
  EXPECT_TRUE(cut_tag->Diagnosis().tag_cut);
  EXPECT_EQ(cut_tag->Title(), u"Song");
  // A download cut off inside a tag of 1 137 bytes, with a picture that never arrived.
  const Bytes big = Id3v2Tag(
      3, Frame(3, "TIT2", TextBody(Encoding::Latin1, u"Song")) +
             Frame(3, "APIC", Bytes("\0image/png\0\x03\0", 13) + Bytes(1137 - 10 - 15 - 23, 'p')));
  ASSERT_EQ(big.size(), 1137u);
  EXPECT_EQ(Read(big.substr(0, 400))->Diagnosis().status, Status::kTruncated);

  // A Xing header that promises 400 frames over 40 frames of audio.
  const Bytes xing = XingFrame(format, 400, 400 * frame);
  const auto cut_audio = Read(Tagged(xing + SilentFrames(format, 40)));
  EXPECT_EQ(cut_audio->Diagnosis().status, Status::kTruncated);
  EXPECT_TRUE(cut_audio->Diagnosis().audio_cut);
  EXPECT_EQ(cut_audio->Title(), u"Song");

  // The same header over the whole stream, or a byte count a little off, is not a cut.
  const auto full = Read(Tagged(XingFrame(format, 41, 41 * frame) + SilentFrames(format, 40)));
  EXPECT_EQ(full->Diagnosis().status, Status::kRead);
  const auto rounded =
      Read(Tagged(XingFrame(format, 41, 41 * frame + 700) + SilentFrames(format, 40)));
  EXPECT_EQ(rounded->Diagnosis().status, Status::kRead);
}

TEST(ReadDiagnosis, OneObjectForgetsTheLastFile) {
  TestFiles::TempDir dir;
  clsID3 tag;
  tag.SetFileName(dir.Write("a.mp3", Tagged(SilentFrames(kMpeg1, 5))));
  EXPECT_EQ(tag.Diagnosis().status, Status::kRead);
  tag.SetFileName(dir.PathOf("gone.mp3"));
  EXPECT_EQ(tag.Diagnosis().status, Status::kMissing);
  EXPECT_EQ(tag.Diagnosis().size, -1);
  EXPECT_FALSE(tag.Diagnosis().tag_cut);
}

bool StartsWithFlac(std::string_view head) { return head.substr(0, 4) == "fLaC"; }

TEST(ReadDiagnosis, AContainerTheTestNamesIsLeftAtOnceAndAnApeFooterIsNoted) {
  TestFiles::TempDir dir;
  clsID3 tag;
  tag.SetOtherContainerTest(&StartsWithFlac);
  // Past an ID3v2 tag, and however long the file: nothing after its first bytes is read.
  const Bytes flac = Tagged("fLaC" + std::string(100000, '\xFF'));
  tag.SetFileName(dir.Write("a.mp3", flac));
  EXPECT_TRUE(tag.OtherContainer());
  EXPECT_EQ(tag.Diagnosis().status, Status::kNotMpegAudio);
  EXPECT_EQ(tag.Diagnosis().size, static_cast<int64_t>(flac.size()));
  EXPECT_FALSE(tag.HasAudio());

  const Bytes footer = "APETAGEX" + std::string(24, '\0');
  const Bytes v1 = "TAG" + std::string(125, ' ');
  const Bytes audio = SilentFrames(kMpeg1, 40);
  for (const Bytes& bytes : {Tagged(audio + footer), Tagged(audio + footer + v1)}) {
    tag.SetFileName(dir.Write("ape.mp3", bytes));
    EXPECT_FALSE(tag.OtherContainer());
    EXPECT_TRUE(tag.ApeFooterSeen());
    EXPECT_EQ(tag.Title(), u"Song");
  }
  tag.SetFileName(dir.Write("plain.mp3", Tagged(audio + v1)));
  EXPECT_FALSE(tag.ApeFooterSeen());
  EXPECT_EQ(tag.Diagnosis().status, Status::kRead);

  // Without a test every file is the engine's, as before.
  tag.SetOtherContainerTest(nullptr);
  tag.SetFileName(dir.Write("a.mp3", flac));
  EXPECT_FALSE(tag.OtherContainer());
  tag.SetFileName(dir.Write("ape.mp3", Tagged(audio + footer)));
  EXPECT_FALSE(tag.ApeFooterSeen());
}

}  // namespace
