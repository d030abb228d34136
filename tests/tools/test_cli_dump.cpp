// `tagloom-cli dump` run as a program on the bundled samples: selected values, the key order,
// the escaping contract, the list option and the usage errors.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "tests/support/JsonLine.h"
#include "tests/support/TestFiles.h"
#include "text/Utf.h"
#include "tools/cli/JsonText.h"
#include "tools/samples/SampleBuilder.h"

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

using TestFiles::RunResult;

RunResult RunCli(const std::vector<std::string>& args, const std::string& input = "") {
  const auto bin = TestFiles::BinDir();
  if (!bin) return {};
  return TestFiles::Run((*bin / "tagloom-cli").string(), args, input);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The keys in the order the format promises: the tag object's properties, then the flags,
// then the audio properties.
const std::vector<std::string> kKeyOrder = {"FileName",
                                            "Comments",
                                            "Album",
                                            "BeatsPerMinute",
                                            "Composer",
                                            "GenreID",
                                            "Genre",
                                            "Copyright",
                                            "EncodedBy",
                                            "Lyricist",
                                            "Title",
                                            "InitialKey",
                                            "Languages",
                                            "OriginalAlbum",
                                            "OriginalFileName",
                                            "OriginalLyricist",
                                            "OriginalArtist",
                                            "OriginalReleaseYear",
                                            "FileOwner",
                                            "Artist",
                                            "Band",
                                            "Conductor",
                                            "InterpretedBy",
                                            "DiscNumber",
                                            "DiscsTotal",
                                            "Publisher",
                                            "TrackNumber",
                                            "TracksTotal",
                                            "InternetRadioStationName",
                                            "InternetRadioStationOwner",
                                            "ISRC",
                                            "Year",
                                            "Lyrics",
                                            "CommercialInfo",
                                            "CopyrightInfo",
                                            "AudioURL",
                                            "ArtistURL",
                                            "AudioSourceURL",
                                            "InternetRadioURL",
                                            "PaymentURL",
                                            "PublisherURL",
                                            "AttachedPictures",
                                            "ID3v1Exists",
                                            "ID3v2Exists",
                                            "Lyrics3v1Exists",
                                            "Lyrics3v2Exists",
                                            "ID3RevisionV2",
                                            "MPEGVersion",
                                            "Layer",
                                            "ChannelMode",
                                            "Padding",
                                            "SamplingRateFrequency",
                                            "BitRate",
                                            "FrameSize",
                                            "FrameSamples",
                                            "length",
                                            "Encoding"};

// What a sample holds, key by key: texts as they must decode, numbers and flags as text.
using Expected = std::map<std::string, std::u16string>;

std::u16string Render(const JsonValue& v) {
  switch (v.kind) {
    case JsonValue::Kind::String:
      return v.text;
    case JsonValue::Kind::Boolean:
      return v.boolean ? u"true" : u"false";
    case JsonValue::Kind::Number: {
      const std::string s = std::to_string(std::llround(v.number));
      return std::u16string(s.begin(), s.end());
    }
    case JsonValue::Kind::Array: {
      std::u16string joined;
      for (const auto& item : v.items) joined += (joined.empty() ? u"" : u" | ") + item;
      return joined;
    }
  }
  return {};
}

const double kVbrLength = 114.0 * 1152 / 44100;  // the VBR samples' header frame counts

const std::map<std::string, Expected>& SampleExpectations() {
  static const std::map<std::string, Expected> expected = {
      {"01 - Harbour Lights (ID3v1).mp3",
       {{"Title", u"Harbour Lights"},
        {"Artist", u"Marlow Avenue"},
        {"Album", u"Tidewater"},
        {"Year", u"1998"},
        {"Comments", u"Recorded at Pier Studio"},
        {"GenreID", u"80"},
        {"TrackNumber", u""},
        {"ID3v1Exists", u"true"},
        {"ID3v2Exists", u"false"},
        {"ID3RevisionV2", u"3"},
        {"MPEGVersion", u"2"},
        {"Layer", u"1"},
        {"BitRate", u"128000"},
        {"SamplingRateFrequency", u"44100"},
        {"Encoding", u"0"}}},
      {"02 - Copper Kettle (ID3v1.1).mp3",
       {{"Title", u"Copper Kettle"},
        {"TrackNumber", u"2"},
        {"Comments", u"Second take"},
        {"ID3v1Exists", u"true"}}},
      {"03 - Lantern Street (ID3v2.2).mp3",
       {{"Title", u"Lantern Street"},
        {"Artist", u"Juniper Hale"},
        {"Album", u"Night Market"},
        {"TrackNumber", u"3"},
        {"TracksTotal", u"10"},
        {"Year", u"2003"},
        {"GenreID", u"13"},
        {"Genre", u"Pop"},
        {"Composer", u"Ada Brennan"},
        {"Comments", u"Live at the Corn Exchange"},
        {"ID3v2Exists", u"true"},
        {"ID3RevisionV2", u"2"}}},
      {"04 - Salt and Cedar (ID3v2.3).mp3",
       {{"Title", u"Salt and Cedar"},
        {"Artist", u"\u00C5sa Lindqvist"},
        {"TrackNumber", u"04"},
        {"TracksTotal", u"12"},
        {"DiscNumber", u"1"},
        {"DiscsTotal", u"2"},
        {"GenreID", u"17"},
        {"Genre", u"Rock"},
        {"Band", u"The Fjord Band"},
        {"Conductor", u"Henrik Dahl"},
        {"Copyright", u"2011 Fjord Records"},
        {"Publisher", u"Fjord Records"},
        {"BeatsPerMinute", u"96"},
        {"Comments", u"Mixed in one night"},
        {"ArtistURL", u"https://fjordband.example.com/ | https://lindqvist.example.org/"},
        {"CommercialInfo", u"https://shop.example.com/coastline"},
        {"ID3RevisionV2", u"3"}}},
      {"05 - Northern Glass (ID3v2.4).mp3",
       {{"Title", u"Northern Glass"},
        {"Artist", u"Zo\u00EB Marchetti"},
        {"Album", u"Caf\u00E9 Aurora"},
        {"Composer", u"Zo\u00EB Marchetti"},
        {"TrackNumber", u"5"},
        {"TracksTotal", u"12"},
        {"Year", u"2019"},
        {"GenreID", u"52"},
        {"Genre", u"Electronic"},
        {"Comments", u"Written in Reykjav\u00EDk"},
        {"Lyrics", u"Glass in the north wind\r\nLight on the water \u5317\u306E\u5149"},
        {"ID3RevisionV2", u"4"},
        {"ID3v1Exists", u"false"}}},
      {"06 - Paper Moon Parade (Lyrics3 v1).mp3",
       {{"Title", u"Paper Moon Parade"},
        {"Lyrics3v1Exists", u"true"},
        {"Lyrics", u"Paper moon above the square\r\nEveryone is dancing there"},
        {"TrackNumber", u"6"},
        {"GenreID", u"13"}}},
      {"07 - Evening Ferry (Lyrics3 v2).mp3",
       {{"Title", u"Evening Ferry (Extended Harbour Mix)"},
        {"Artist", u"Juniper Hale & Marlow Avenue"},
        {"Album", u"Night Market: Extended Edition"},
        {"Lyricist", u"Ada Brennan"},
        {"Lyrics", u"Evening ferry\r\nLights across the bay"},
        {"Lyrics3v2Exists", u"true"},
        {"Lyrics3v1Exists", u"false"},
        {"Year", u"2004"},
        {"TrackNumber", u"7"},
        {"GenreID", u"80"}}},
      {"08 - Quiet Engine (CBR).mp3",
       {{"Title", u"Quiet Engine"},
        {"Genre", u"Ambient"},
        {"GenreID", u"255"},
        {"Encoding", u"0"},
        {"BitRate", u"128000"},
        {"ID3v1Exists", u"false"}}},
      {"09 - Drift Line (Xing VBR).mp3",
       {{"Title", u"Drift Line"},
        {"TrackNumber", u"9"},
        {"TracksTotal", u"10"},
        {"Encoding", u"1"}}},
      {"10 - Slow Tide (VBRI).mp3", {{"Title", u"Slow Tide"}, {"Encoding", u"1"}}},
      {"11 - Small Hours (MPEG-2).mp3",
       {{"Title", u"Small Hours"},
        {"Artist", u"Zo\u00EB Marchetti"},
        {"MPEGVersion", u"3"},
        {"SamplingRateFrequency", u"22050"},
        {"BitRate", u"64000"},
        {"ChannelMode", u"3"},
        {"FrameSamples", u"576"},
        {"ID3v1Exists", u"true"},
        {"ID3RevisionV2", u"4"},
        {"EncodedBy", u"Tagloom sample maker"},
        {"GenreID", u"52"}}},
  };
  return expected;
}

std::vector<fs::path> SampleFiles(const fs::path& folder) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() == ".mp3") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

class CliDump : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!TestFiles::BinDir()) {
      GTEST_SKIP() << "TAGLOOM_BIN is not set: run through CTest";
    }
    samples_ = TestFiles::SamplesDir();
    if (!samples_) {
      GTEST_SKIP() << "TAGLOOM_SAMPLES is not set: run through CTest";
    }
  }
  std::optional<fs::path> samples_;
};

TEST_F(CliDump, SamplesReadAsTheyWereWritten) {
  const std::vector<fs::path> files = SampleFiles(*samples_);
  ASSERT_EQ(files.size(), SampleExpectations().size());
  std::vector<std::string> args = {"dump"};
  for (const auto& f : files) args.push_back(f.string());
  const RunResult run = RunCli(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    const std::string name = files[i].filename().string();
    SCOPED_TRACE(name);
    const auto object = ParseJsonLine(lines[i]);
    ASSERT_TRUE(object) << lines[i];
    EXPECT_EQ(object->Keys(), kKeyOrder);
    const JsonValue* file_name = object->Find("FileName");
    ASSERT_TRUE(file_name);
    EXPECT_EQ(Utf::ToUtf8(file_name->text), files[i].string());
    const auto found = SampleExpectations().find(name);
    ASSERT_NE(found, SampleExpectations().end()) << "no expectations for this sample";
    for (const auto& [key, value] : found->second) {
      const JsonValue* v = object->Find(key);
      ASSERT_TRUE(v) << key;
      EXPECT_EQ(Utf::ToUtf8(Render(*v)), Utf::ToUtf8(value)) << key;
    }
    // Three seconds of audio, give or take a frame, whatever the stream's kind.
    const JsonValue* length = object->Find("length");
    ASSERT_TRUE(length);
    EXPECT_NEAR(length->number, 3.0, 0.06);
  }
}

TEST_F(CliDump, VbrLengthsComeFromTheHeaderFrameCounts) {
  for (const char* name : {"09 - Drift Line (Xing VBR).mp3", "10 - Slow Tide (VBRI).mp3"}) {
    const RunResult run = RunCli({"dump", (*samples_ / name).string()});
    ASSERT_EQ(run.status, 0);
    const auto object = ParseJsonLine(Lines(run.out).at(0));
    ASSERT_TRUE(object);
    EXPECT_DOUBLE_EQ(object->Find("length")->number, kVbrLength) << name;
  }
}

TEST_F(CliDump, PictureIsBase64OfTheFrameBody) {
  const RunResult run =
      RunCli({"dump", (*samples_ / "05 - Northern Glass (ID3v2.4).mp3").string()});
  const auto object = ParseJsonLine(Lines(run.out).at(0));
  ASSERT_TRUE(object);
  const JsonValue* pictures = object->Find("AttachedPictures");
  ASSERT_TRUE(pictures);
  ASSERT_EQ(pictures->items.size(), 1u);
  const std::string body =
      "image/png\0\x03"s + "Cover\0"s + SampleBuilder::TinyPng(2, 2, 0x2A, 0x6F, 0x97);
  const std::u16string expected = [&] {
    const std::string b64 = JsonText::Base64(body);
    return std::u16string(b64.begin(), b64.end());
  }();
  EXPECT_EQ(pictures->items[0], expected);
}

TEST_F(CliDump, EveryUnitOutsidePrintableAsciiIsEscaped) {
  // A title holding a quote, a backslash, a control character, a lone surrogate and a letter
  // outside ASCII, in a file whose name is not ASCII either.
  const std::u16string title = u"say \"hi\" \\ \u0001 \xD800 \u00E9 \u65E5";
  TestFiles::TempDir dir;
  const std::string path = dir.Write(
      "Caf\xC3\xA9 \xE2\x80\x94 it's.mp3",
      SampleBuilder::Id3v2Tag(
          3, SampleBuilder::Frame(3, "TIT2",
                                  SampleBuilder::TextBody(SampleBuilder::Encoding::Utf16, title))));
  const RunResult run = RunCli({"dump", path});
  ASSERT_EQ(run.status, 0) << run.err;
  ASSERT_FALSE(run.out.empty());
  ASSERT_EQ(run.out.back(), '\n');
  for (size_t i = 0; i + 1 < run.out.size(); ++i) {
    const auto c = static_cast<unsigned char>(run.out[i]);
    ASSERT_TRUE(c >= 0x20 && c <= 0x7E) << "raw byte " << int(c) << " at " << i;
  }
  const auto object = ParseJsonLine(Lines(run.out).at(0));
  ASSERT_TRUE(object) << run.out;
  EXPECT_EQ(object->Find("Title")->text, title);
  const std::string folder = dir.Path().string();  // ASCII: under the temporary directory
  EXPECT_EQ(object->Find("FileName")->text,
            std::u16string(folder.begin(), folder.end()) + u"/Caf\u00E9 \u2014 it's.mp3");
  EXPECT_NE(run.out.find("\\u00e9"), std::string::npos);
  EXPECT_NE(run.out.find("\\ud800"), std::string::npos);
}

TEST_F(CliDump, NameBytesThatAreNotUtf8ShowAsOneMarkEach) {
  // An overlong slash, an encoded surrogate and a value past U+10FFFF are no UTF-8: each of
  // their bytes shows as its own mark (U+EF00 plus the byte), as does a stray byte beside a
  // well-formed letter, so the name turns back into its bytes.
  TestFiles::TempDir dir;
  const std::vector<std::pair<std::string, std::u16string>> names = {
      {"a\xC0\xAF.mp3", u"a\uEFC0\uEFAF.mp3"},
      {"b\xED\xA0\x80.mp3", u"b\uEFED\uEFA0\uEF80.mp3"},
      {"c\xF4\x90\x80\x80.mp3", u"c\uEFF4\uEF90\uEF80\uEF80.mp3"},
      {"d\xE9t\xC3\xA9.mp3", u"d\uEFE9t\u00E9.mp3"},
  };
  std::vector<std::string> args = {"dump"};
  for (const auto& [bytes, shown] : names) args.push_back(dir.Write(bytes, "not audio"));
  const RunResult run = RunCli(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), names.size());
  const std::string folder = dir.Path().string();  // ASCII: under the temporary directory
  for (size_t i = 0; i < names.size(); ++i) {
    const auto object = ParseJsonLine(lines[i]);
    ASSERT_TRUE(object) << lines[i];
    EXPECT_EQ(object->Find("FileName")->text,
              std::u16string(folder.begin(), folder.end()) + u"/" + names[i].second)
        << lines[i];
  }
}

TEST(JsonTextTest, Base64OfTheStandardExamples) {
  const std::pair<std::string, std::string> examples[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"\xFF\xFE\0"s, "//4A"},
  };
  for (const auto& [bytes, text] : examples) EXPECT_EQ(JsonText::Base64(bytes), text);
}

TEST_F(CliDump, FilesFromAListOrStandardInput) {
  const fs::path a = *samples_ / "01 - Harbour Lights (ID3v1).mp3";
  const fs::path b = *samples_ / "04 - Salt and Cedar (ID3v2.3).mp3";
  TestFiles::TempDir dir;
  // CRLF line ends and a blank line are tolerated.
  const std::string list = dir.Write("list.txt", b.string() + "\r\n\n" + a.string() + "\n");
  for (const RunResult& run :
       {RunCli({"dump", "--files-from", list}),
        RunCli({"dump", "--files-from", "-"}, b.string() + "\n" + a.string() + "\n")}) {
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = Lines(run.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(ParseJsonLine(lines[0])->Find("Title")->text, u"Salt and Cedar");
    EXPECT_EQ(ParseJsonLine(lines[1])->Find("Title")->text, u"Harbour Lights");
  }
  const RunResult missing_list = RunCli({"dump", "--files-from", dir.PathOf("absent.txt")});
  EXPECT_EQ(missing_list.status, 1);
  EXPECT_FALSE(missing_list.err.empty());
  const RunResult no_list = RunCli({"dump", "--files-from"});
  EXPECT_EQ(no_list.status, 2);
}

TEST_F(CliDump, UsageErrorsAndInformation) {
  const RunResult none = RunCli({});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find("usage:"), std::string::npos);
  EXPECT_TRUE(none.out.empty());

  const RunResult unknown = RunCli({"frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("usage:"), std::string::npos);
  EXPECT_NE(unknown.err.find("frobnicate"), std::string::npos);
  EXPECT_TRUE(unknown.out.empty());

  const RunResult dump_nothing = RunCli({"dump"});
  EXPECT_EQ(dump_nothing.status, 2);
  EXPECT_NE(dump_nothing.err.find("usage:"), std::string::npos);

  const RunResult help = RunCli({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("usage:"), std::string::npos);
  EXPECT_NE(help.out.find("dump"), std::string::npos);

  const RunResult version = RunCli({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("tagloom-cli ", 0), 0u);
}

TEST_F(CliDump, UnreadableFileStillGetsALine) {
  // The engine never fails a read: a missing file prints its defaults.
  TestFiles::TempDir dir;
  const RunResult run = RunCli({"dump", dir.PathOf("missing.mp3")});
  const auto lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 1u);
  const auto object = ParseJsonLine(lines[0]);
  ASSERT_TRUE(object);
  EXPECT_EQ(object->Find("ID3RevisionV2")->number, 3);
  EXPECT_EQ(object->Find("GenreID")->number, 255);
  EXPECT_EQ(object->Find("Title")->text, u"");
}

TEST_F(CliDump, EveryPathThatCannotBeReadIsNamedWithTheSystemsReason) {
  TestFiles::TempDir dir;
  const std::string sample = (*samples_ / "01 - Harbour Lights (ID3v1).mp3").string();
  const std::string fifo = dir.PathOf("pipe.mp3");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const RunResult run =
      RunCli({"dump", sample, dir.PathOf("missing.mp3"), dir.Path().string(), fifo});
  EXPECT_EQ(run.status, 3);
  // Each keeps its line, so lines and paths still pair up.
  EXPECT_EQ(Lines(run.out).size(), 4u);
  const std::vector<std::string> told = Lines(run.err);
  ASSERT_EQ(told.size(), 3u) << run.err;
  EXPECT_EQ(told[0], "tagloom-cli dump: cannot read '" + dir.PathOf("missing.mp3") +
                         "': No such file or directory");
  EXPECT_EQ(told[1], "tagloom-cli dump: cannot read '" + dir.Path().string() + "': Is a directory");
  EXPECT_EQ(told[2], "tagloom-cli dump: cannot read '" + fifo + "': not a regular file");
  EXPECT_EQ(RunCli({"dump", sample}).status, 0);
}

TEST_F(CliDump, AFullOutputIsAnErrorHoweverLateItFills) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  // Enough lines to pass the output's buffer before the end.
  std::vector<std::string> args = {"dump"};
  for (int i = 0; i < 20; ++i)
    for (const fs::path& f : SampleFiles(*samples_)) args.push_back(f.string());
  const RunResult run = TestFiles::Run({.output = "/dev/full"},
                                       (*TestFiles::BinDir() / "tagloom-cli").string(), args);
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("No space left on device"), std::string::npos) << run.err;
}

TEST_F(CliDump, NamesThatAreNotUtf8ShowEachOddByteAsOneMarkThatTurnsBack) {
  TestFiles::TempDir dir;
  const std::string tag = SampleBuilder::Id3v2Tag(
      3, SampleBuilder::Frame(3, "TIT2",
                              SampleBuilder::TextBody(SampleBuilder::Encoding::Latin1, u"Read")));
  // Latin-1 "é"; an overlong "/"; a surrogate spelled in UTF-8; UTF-8 that spells a mark.
  const std::string path = dir.Write("caf\xE9 \xC0\xAF \xED\xA0\x80 \xEE\xBE\x80.mp3", tag);
  const RunResult run = RunCli({"dump", path});
  ASSERT_EQ(run.status, 0) << run.err;
  const auto object = ParseJsonLine(Lines(run.out).at(0));
  ASSERT_TRUE(object);
  EXPECT_EQ(object->Find("Title")->text, u"Read");
  const std::string folder = dir.Path().string();
  EXPECT_EQ(object->Find("FileName")->text,
            std::u16string(folder.begin(), folder.end()) +
                u"/caf\uEFE9 \uEFC0\uEFAF \uEFED\uEFA0\uEF80 \uEFEE\uEFBE\uEF80.mp3");
}

TEST_F(CliDump, HelpAndTheEndOfOptionsAreHonoured) {
  TestFiles::TempDir dir;
  dir.Write("--help", SampleBuilder::SilentFrames(SampleBuilder::kMpeg1, 3));
  const std::string cli = (*TestFiles::BinDir() / "tagloom-cli").string();
  for (const char* help : {"--help", "-h"}) {
    const RunResult run = TestFiles::Run({.folder = dir.Path().string()}, cli, {"dump", help});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: tagloom-cli dump", 0), 0u) << run.out;
    EXPECT_NE(run.out.find("Exit status"), std::string::npos);
  }
  const RunResult file =
      TestFiles::Run({.folder = dir.Path().string()}, cli, {"dump", "--", "--help"});
  EXPECT_EQ(file.status, 0) << file.err;
  EXPECT_EQ(ParseJsonLine(Lines(file.out).at(0))->Find("FileName")->text, u"--help");
  const RunResult unknown = RunCli({"dump", "--titel", "x.mp3"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_TRUE(unknown.out.empty());
}

TEST_F(CliDump, ListsStopAtTheFirstLineThatIsNoPath) {
  const std::string sample = (*samples_ / "01 - Harbour Lights (ID3v1).mp3").string();
  const RunResult nul = RunCli({"dump", "--files-from", "-"}, sample + "\n" + sample + "\0x\n"s);
  EXPECT_EQ(nul.status, 1);
  EXPECT_NE(nul.err.find("line 2 holds a NUL"), std::string::npos) << nul.err;
  EXPECT_TRUE(nul.out.empty());
  const RunResult longest = RunCli({"dump", "--files-from", "-"}, std::string(4095, 'a') + "\r\n");
  EXPECT_EQ(longest.status, 3);  // a path, though no file has it
  const RunResult too_long =
      RunCli({"dump", "--files-from", "-"}, sample + "\n" + std::string(4096, 'a'));
  EXPECT_EQ(too_long.status, 1);
  EXPECT_NE(too_long.err.find("line 2 is longer than the longest path"), std::string::npos);
  // An endless list ends at its first line instead of filling the memory.
  const RunResult endless = TestFiles::Run({.prefix = TestFiles::kMemoryCap},
                                           (*TestFiles::BinDir() / "tagloom-cli").string(),
                                           {"dump", "--files-from", "/dev/zero"});
  EXPECT_EQ(endless.status, 1);
  EXPECT_NE(endless.err.find("line 1 holds a NUL"), std::string::npos) << endless.err;
}

}  // namespace
