// What Tagloom writes, an independent reader (mutagen) reads back the same, and the audio decodes
// to the same samples (mpg123) before and after.
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>

#include "tag/CodePage.h"
#include "tests/tag/test_tag_writer_support.h"

namespace {

using namespace WriterTest;

bool Have(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

// Two seconds of a tone as 16-bit stereo WAV, encoded by lame.
std::string EncodedMp3(const Folder& folder) {
  const int rate = 44100, frames = rate * 2;
  std::string wav =
      "RIFF" + std::string(4, '\0') + "WAVEfmt " + std::string("\x10\0\0\0\x01\0\x02\0", 8);
  auto le = [](uint32_t v, int n) {
    std::string s;
    for (int i = 0; i < n; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    return s;
  };
  wav += le(rate, 4) + le(rate * 4, 4) + le(4, 2) + le(16, 2) + "data" + le(frames * 4, 4);
  for (int i = 0; i < frames; ++i) {
    const auto sample = static_cast<uint16_t>(static_cast<int16_t>(((i * 7) % 200 - 100) * 80));
    wav += le(sample, 2) + le(sample, 2);
  }
  const std::string wav_path = folder.Write("tone.wav", wav);
  const std::string mp3 = (folder.Path() / "tone.mp3").string();
  EXPECT_EQ(std::system(("lame --quiet -b 128 '" + wav_path + "' '" + mp3 + "'").c_str()), 0);
  return mp3;
}

std::string Pcm(const std::string& mp3) { return Run("mpg123 -q -s '" + mp3 + "' 2>/dev/null"); }

// One line per frame: its key, then its text or, for pictures, MIME, type, description and
// the data's length and hex start.
std::string MutagenView(const Folder& folder, const std::string& mp3) {
  const std::string script = folder.Write("view.py", R"(import sys
from mutagen.id3 import ID3
tag = ID3(sys.argv[1])
print("version", ".".join(map(str, tag.version)))
for key in sorted(tag.keys()):
    f = tag[key]
    if key.startswith("APIC"):
        print(key, f.mime, int(f.type), f.desc, len(f.data), f.data[:8].hex())
    elif hasattr(f, "url"):
        print(key, f.url)
    else:
        text = f.text if isinstance(f.text, str) else "|".join(str(t) for t in f.text)
        print(key, text.replace("\r", "<CR>").replace("\n", "<LF>"))
)");
  return Run("/usr/bin/python3 '" + script + "' '" + mp3 + "' 2>&1");
}

bool HaveTools() {
  return Have("lame") && Have("mpg123") &&
         std::system("/usr/bin/python3 -c 'import mutagen' >/dev/null 2>&1") == 0;
}

TEST(TagWriterRoundTrip, MutagenReadsWhatTagloomWrote) {
  if (!HaveTools()) GTEST_SKIP() << "needs lame, mpg123 and python3-mutagen (scripts/deps.sh)";
  Folder folder;
  const std::string mp3 = EncodedMp3(folder);
  const std::string audio = ReadAll(mp3);
  const std::string pcm = Pcm(mp3);
  ASSERT_GT(pcm.size(), 100000u);

  const Bytes png = TinyPng(3, 2, 200, 10, 10);
  auto tag = Open(mp3);
  tag->SetTitle(u"Ünïcode ☃ title");
  tag->SetArtist(u"Björk");
  tag->SetAlbum(u"An album whose name is longer than thirty characters");
  tag->SetTrackNumber(u"3");
  tag->SetTracksTotal(u"9");
  tag->SetYear(u"2004");
  tag->SetComments(u"two\r\nlines");
  tag->SetLyrics(u"la\nla");
  tag->SetGenreID(17);
  tag->SetPublisherURL(u"http://example.org/");
  tag->AttachedPictures()->Add(CodePage::BytesToText(Bytes("image/png\0\x03"
                                                           "cover\0",
                                                           17) +
                                                     png),
                               {}, {}, true);
  tag->UpdateID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded()) << tag->LastWriteError();

  char png_start[17];
  for (int i = 0; i < 8; ++i)
    std::snprintf(png_start + 2 * i, 3, "%02x", static_cast<unsigned char>(png[i]));
  EXPECT_EQ(MutagenView(folder, mp3),
            "version 2.3.0\n"
            "APIC:cover image/png 3 cover " +
                std::to_string(png.size()) + " " + png_start +
                "\n"
                "COMM::eng two<CR><LF>lines\n"
                "COMM:ID3v1 Comment:eng two<CR><LF>lines\n"  // mutagen adds the ID3v1 comment
                "TALB An album whose name is longer than thirty characters\n"
                "TCON Rock\n"
                "TDRC 2004\n"
                "TIT2 Ünïcode ☃ title\n"
                "TPE1 Björk\n"
                "TRCK 3/9\n"
                "USLT::eng la<LF>la\n"
                "WPUB http://example.org/\n");

  // Tagloom reads back what it wrote, long album included.
  auto again = Open(mp3);
  EXPECT_EQ(again->Title(), u"Ünïcode ☃ title");
  EXPECT_EQ(again->Album(), u"An album whose name is longer than thirty characters");
  EXPECT_EQ(again->Comments(), u"two\r\nlines");
  EXPECT_EQ(again->GenreID(), 17);
  EXPECT_EQ(again->AttachedPictures()->Count(), 1);
  EXPECT_EQ(again->TracksTotal(), u"9");

  // The audio between the tags is the encoder's, byte for byte, and decodes the same.
  const std::string after = ReadAll(mp3);
  EXPECT_NE(after.find(audio), std::string::npos);
  EXPECT_TRUE(Pcm(mp3) == pcm);

  again->DeleteID3Tags();
  ASSERT_TRUE(again->LastWriteSucceeded()) << again->LastWriteError();
  EXPECT_TRUE(ReadAll(mp3) == audio);
}

TEST(TagWriterRoundTrip, ATagMutagenWroteKeepsWhatTagloomDoesNotManage) {
  if (!HaveTools()) GTEST_SKIP() << "needs lame, mpg123 and python3-mutagen (scripts/deps.sh)";
  Folder folder;
  const std::string mp3 = EncodedMp3(folder);
  const std::string pcm = Pcm(mp3);
  const std::string script = folder.Write("make.py", R"(import sys
from mutagen.id3 import ID3, TIT2, TXXX, APIC, COMM, TDRC
tag = ID3()
tag.add(TIT2(encoding=3, text="Grüße aus Köln ♫"))
tag.add(TXXX(encoding=3, desc="MusicBrainz Album Id", text="abc-123"))
tag.add(APIC(encoding=3, mime="image/jpeg", type=3, desc="Cövér ♫", data=b"\xff\xd8\xff\xe0JFIF" * 40))
tag.add(COMM(encoding=1, lang="deu", desc="note", text="kept"))
tag.add(TDRC(encoding=3, text="1999-05-06"))
tag.save(sys.argv[1], v2_version=4)
)");
  ASSERT_EQ(std::system(("/usr/bin/python3 '" + script + "' '" + mp3 + "'").c_str()), 0);
  const std::string before = MutagenView(folder, mp3);

  auto tag = Open(mp3);
  EXPECT_EQ(tag->Title(), u"Grüße aus Köln ♫");
  EXPECT_EQ(tag->Year(), u"1999");
  tag->SetArtist(u"Someone");
  tag->UpdateID3Tags();
  ASSERT_TRUE(tag->LastWriteSucceeded()) << tag->LastWriteError();

  // No genre was set: the engine writes its "none" genre, which mutagen names.
  const std::string after = MutagenView(folder, mp3);
  EXPECT_NE(after.find("TCON Unknown"), std::string::npos) << after;
  std::string without_genre = after;
  without_genre.erase(
      without_genre.find("TCON"),
      without_genre.find('\n', without_genre.find("TCON")) - without_genre.find("TCON") + 1);
  const std::string picture = "APIC:Cövér ♫ image/jpeg 3 Cövér ♫ 320 ffd8ffe04a464946\n";
  ASSERT_NE(before.find(picture), std::string::npos) << before;
  EXPECT_NE(without_genre.find(picture), std::string::npos) << after;
  EXPECT_NE(without_genre.find("COMM:note:deu kept"), std::string::npos);
  EXPECT_NE(without_genre.find("TXXX:MusicBrainz Album Id abc-123"), std::string::npos);
  EXPECT_NE(without_genre.find("TIT2 Grüße aus Köln ♫"), std::string::npos);
  EXPECT_NE(without_genre.find("TPE1 Someone"), std::string::npos);
  EXPECT_NE(without_genre.find("TDRC 1999-05-06\n"), std::string::npos);  // the full date stays
  EXPECT_NE(without_genre.find("version 2.4.0"), std::string::npos);
  EXPECT_TRUE(Pcm(mp3) == pcm);
}

}  // namespace
