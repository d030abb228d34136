// Hostile and oversized inputs for the whole read, and the places where the reader fetches a
// file in pieces: each case reads what a single read of the whole file would give. The fuzz
// runs over the read found no fault so far; an input it finds lands here as a byte literal.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "tag/CodePage.h"
#include "tag/MultiFrameData.h"
#include "tests/tag/TagFile.h"

// The reader's byte buffers are arrays: the largest one asked for shows what a read cost.
std::atomic<size_t> largest_array{0};

void* operator new[](size_t size) {
  size_t seen = largest_array.load();
  while (size > seen && !largest_array.compare_exchange_weak(seen, size)) {
  }
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace {

using namespace TagFile;
using namespace std::string_literals;

Bytes Title(int version, std::u16string_view text) {
  return Frame(version, version == 2 ? "TT2" : "TIT2", TextBody(Encoding::Latin1, text));
}

// The largest array a read of these bytes allocates.
size_t LargestArrayFor(const Bytes& file) {
  TestFiles::TempDir dir;
  const std::string path = dir.Write("file.mp3", file);
  clsID3 tag;
  largest_array = 0;
  tag.SetFileName(path);
  return largest_array;
}

TEST(HostileSizes, DeclaredSizesBeyondTheFileCostOnlyTheFile) {
  // Frames of every kind declaring 200 MB in a 256 MB tag of about 3 KB: no buffer much larger
  // than the file is asked for.
  for (const char* id : {"APIC", "TIT2", "USLT", "WOAR"}) {
    const Bytes frame = id + "\x0B\xEB\xC2\x00\x00\x00"s + "\x00image/png\x00\x03\x00"s;
    const Bytes file = "ID3\x03\x00\x00\x7F\x7F\x7F\x7F"s + frame + Bytes(3000, 'x');
    EXPECT_LT(LargestArrayFor(file), 64u * 1024) << id;
  }
  // Found by the fuzz run: a 28-byte v2.4 file whose APIC frame declares about 120 MB.
  const Bytes found(
      "ID3\x04\x00\x00\x53\x00\x00\x0E"
      "APIC\x3D\x03\x00\x00\x00\x00"
      "\x9C\xE7\x00\x00\x00\x00\x72\x93",
      28);
  EXPECT_LT(LargestArrayFor(found), 64u * 1024);

  // A 256 MB tag in a file of about 1 KB: the frames that are there are read.
  const Bytes huge = "ID3\x04\x00\x00\x7F\x7F\x7F\x7F"s + Title(4, u"Kept") + Bytes(1000, 'x');
  const auto a = Read(huge);
  EXPECT_TRUE(a->ID3v2Exists());
  EXPECT_EQ(a->Title(), u"Kept");
  EXPECT_EQ(a->length(), 0);  // the audio would start after the end of the file

  // A v2.3 frame claiming 2 GB: mapped with the bytes that exist, and the walk ends there.
  const Bytes frame = "TIT2\x7F\xFF\xFF\xFF\x00\x00\x00"s + "Cut short";
  const auto b = Read("ID3\x03\x00\x00\x00\x00\x01\x00"s + frame + Bytes(200, '\0'));
  EXPECT_EQ(b->Title(), u"Cut short");

  // An extended header larger than the tag leaves no frames.
  const auto c = Read("ID3\x04\x00\x40\x00\x00\x01\x00"s + "\x7F\x7F\x7F\x7F"s + Title(4, u"No") +
                      Bytes(100, '\0'));
  EXPECT_TRUE(c->ID3v2Exists());
  EXPECT_EQ(c->Title(), u"");

  // A Lyrics3 v2 block size larger than the file: the flag, no fields.
  const auto d = Read(Mpeg1Header(64) + "LYRICSBEGINETT00004Song999999LYRICS200");
  EXPECT_TRUE(d->Lyrics3v2Exists());
  EXPECT_EQ(d->Title(), u"");
}

TEST(PiecewiseRead, FramesPastTheFirstReadAreRead) {
  // A 20000-byte frame carries the walk past the first read; padding follows the frames.
  const Bytes big = Frame(3, "TXXX", "\x00"s + Bytes(19999, 'a'));
  TagOptions padded;
  padded.padding = 60000;
  const auto plain = Read(Id3v2Tag(3, big + Title(3, u"After"), padded) + Mpeg1Header(400));
  EXPECT_EQ(plain->Title(), u"After");
  EXPECT_EQ(plain->BitRate(), 128000);
  EXPECT_EQ(CountedAudioBytes(*plain), 400);

  // The same behind an extended header, and unsynchronised (undone over the whole tag).
  TagOptions with_extended;
  with_extended.extended_header = ExtendedHeader(3);
  const auto extended = Read(Id3v2Tag(3, big + Title(3, u"Ext"), with_extended));
  EXPECT_EQ(extended->Title(), u"Ext");
  const Bytes ff = Frame(3, "TXXX", "\x00"s + Bytes(9000, '\xFF') + Bytes(9000, '\0'));
  TagOptions unsynchronised;
  unsynchronised.unsynchronise = true;
  const auto unsync = Read(Id3v2Tag(3, ff + Title(3, u"Unsync"), unsynchronised));
  EXPECT_EQ(unsync->Title(), u"Unsync");

  // A tag that ends in the middle of the frame the walk asks for: the bytes that exist count.
  const Bytes cut = Id3v2Tag(4, big + Title(4, u"Gone"));
  const auto truncated = Read(cut.substr(0, 15000));
  EXPECT_TRUE(truncated->ID3v2Exists());
  EXPECT_EQ(truncated->Title(), u"");
}

TEST(PiecewiseRead, PicturesPastTheFirstReadReachTheirEntryWhole) {
  // Pictures larger than the first read go straight from the file to their entry; the frames,
  // padding and audio after them must read as if the tag had been read whole.
  Bytes data;
  // Never 0 (a leading NUL would be left out) nor FF (no frame header can start in it).
  for (int i = 0; i < 30000; ++i) data += static_cast<char>(1 + (i * 7 + i / 251) % 250);
  auto entry = [](const clsID3& tag, int32_t position) {
    return CodePage::TextToBytes(tag.AttachedPictures()->Item(position));
  };
  for (const int version : {2, 3, 4}) {
    const std::string id = version == 2 ? "PIC" : "APIC";
    const std::string mime = version == 2 ? "JPG" : "image/jpeg";
    const Bytes body = PictureBody(version, Encoding::Latin1, mime, 3, u"", data);
    for (const size_t padding : {size_t{0}, size_t{500}, size_t{50000}}) {
      TagOptions options;
      options.padding = padding;
      const Bytes frames =
          Title(version, u"Before") + Frame(version, id, body) +
          Frame(version, id, body.substr(0, 5000)) +
          Frame(version, version == 2 ? "TP1" : "TPE1", TextBody(Encoding::Latin1, u"After"));
      const auto tag = Read(Id3v2Tag(version, frames, options) + Mpeg1Header(700));
      const std::string where =
          "v2." + std::to_string(version) + " padding " + std::to_string(padding);
      ASSERT_EQ(tag->AttachedPictures()->Count(), 2) << where;
      EXPECT_EQ(entry(*tag, 1), body.substr(1)) << where;
      EXPECT_EQ(entry(*tag, 2), body.substr(1, 4999)) << where;
      EXPECT_EQ(tag->Title(), u"Before") << where;
      EXPECT_EQ(tag->Artist(), u"After") << where;
      EXPECT_EQ(CountedAudioBytes(*tag), 700) << where;
    }
  }

  // A NUL after the encoding byte (no MIME type) is left out, as for a picture read whole; a
  // UTF-16 encoding byte is left out too.
  const Bytes nul_first = "\x00\x00"s + data;
  EXPECT_EQ(entry(*Read(Id3v2Tag(3, Frame(3, "APIC", nul_first))), 1), data);
  const Bytes utf16 = PictureBody(3, Encoding::Utf16, "image/png", 3, u"C\u00F6ver", data);
  EXPECT_EQ(entry(*Read(Id3v2Tag(3, Frame(3, "APIC", utf16))), 1), utf16.substr(1));

  // A picture that runs past the end of the tag keeps the bytes up to the tag's end, and the
  // audio after the tag is found; one cut by the end of the file keeps the bytes that exist.
  const Bytes whole = Id3v2Tag(3, Frame(3, "APIC", "\x00"s + data));
  const Bytes overrun = whole.substr(0, 6) + SyncSafe(static_cast<uint32_t>(whole.size() - 110)) +
                        whole.substr(10);  // the tag ends 100 bytes before the frame does
  const auto short_tag = Read(overrun + Mpeg1Header(300));
  EXPECT_EQ(entry(*short_tag, 1), data.substr(0, data.size() - 100));
  EXPECT_EQ(short_tag->BitRate(), 128000);
  EXPECT_EQ(entry(*Read(whole.substr(0, 20000)), 1), data.substr(0, 20000 - 21));

  // Frames that must be undone or are compressed take the usual way.
  const Bytes compressed = Frame(4, "APIC", "\x00"s + data, 0x0008);
  EXPECT_EQ(entry(*Read(Id3v2Tag(4, compressed + Title(4, u"C"))), 1), "");
  const Bytes ff_data = Bytes(20000, '\xFF');
  const Bytes unsync = Frame(4, "APIC", "\x00"s + Unsynchronise(ff_data), 0x0002);
  const auto undone = Read(Id3v2Tag(4, unsync + Title(4, u"U")));
  EXPECT_EQ(entry(*undone, 1), ff_data);
  EXPECT_EQ(undone->Title(), u"U");
}

TEST(PiecewiseRead, FirstFrameBeyondTheShortFirstRead) {
  // The first header 5000 bytes into the audio, and ones whose bytes straddle a read's end.
  for (const size_t offset : {size_t{5000}, size_t{1022}, size_t{4094}, size_t{20000}}) {
    const auto tag = Read(Id3v2Tag(3, Title(3, u"t")) + Bytes(offset, '\0') + Mpeg1Header(1000));
    EXPECT_EQ(tag->BitRate(), 128000) << offset;
    EXPECT_EQ(CountedAudioBytes(*tag), 1000) << offset;
  }
  // Rejected candidates before it stay rejected wherever the read boundaries fall.
  for (const size_t before : {size_t{1018}, size_t{4090}}) {
    const Bytes noise =
        Bytes(before, '\0') + "\xFF\xFB\x00\x00\xFF\xE8\x90\x00"s + Bytes(3000, '\0');
    EXPECT_EQ(CountedAudioBytes(*Read(noise + Mpeg1Header(100))), 100) << before;
  }
}

TEST(PiecewiseRead, PicturesKeepTheirBytesUntilAskedFor) {
  const Bytes data = "\x89PNG\r\n\x1A\n\x80\x9F\xFF"s + Bytes(40000, '\x81');
  const Bytes picture =
      Frame(3, "APIC", PictureBody(3, Encoding::Latin1, "image/png", 3, u"", data));
  const auto tag = Read(Id3v2Tag(3, picture + picture + Title(3, u"Pic")));
  EXPECT_EQ(tag->Title(), u"Pic");
  ASSERT_EQ(tag->AttachedPictures()->Count(), 1);  // the second one has the same key
  const Bytes body = "image/png\0\x03\0"s + data;
  EXPECT_EQ(tag->AttachedPictures()->Item(1), CodePage::BytesToText(body));

  // Keys ignore letter case, whether the entry arrived as bytes or as text.
  MultiFrameData list;
  list.AddBytes("Picture");
  list.Add(u"PICTURE", std::nullopt, std::nullopt, true);
  list.AddBytes("picture");
  EXPECT_EQ(list.Count(), 1);
  list.AddBytes("other");
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Item(2), u"other");
  list.SetItem(1, u"first");
  EXPECT_EQ(list.Item(1), u"first");
  list.Remove(1);
  EXPECT_EQ(list.Item(1), u"other");
  list.AddBytes("Picture");  // its key left with the replaced entry
  EXPECT_EQ(list.Count(), 2);
}

}  // namespace
