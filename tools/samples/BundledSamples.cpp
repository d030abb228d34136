// The sample files shipped beside the program: a few seconds of silence each, tagged with made-up
// but realistic metadata, one file per tag kind the reader knows.
#include "tools/samples/SampleBuilder.h"

namespace SampleBuilder {

namespace {

constexpr double kSeconds = 3.0;

Bytes Latin1Frame(int version, std::string_view id, std::u16string_view text) {
  return Frame(version, id, TextBody(Encoding::Latin1, text));
}

// Silent frames whose bit rate changes from frame to frame, as a VBR encoder's would.
Bytes VariableSilence(MpegFormat format, int count) {
  static constexpr int kRates[] = {96, 128, 160, 128, 112};
  Bytes out;
  for (int i = 0; i < count; ++i) {
    format.kbps = kRates[i % 5];
    out += SilentFrame(format, false);
  }
  return out;
}

int FrameCount(const MpegFormat& format) {
  return static_cast<int>(kSeconds * format.sample_rate / FrameSamples(format));
}

SampleFile HarbourLights() {
  Id3v1Fields v1;
  v1.title = "Harbour Lights";
  v1.artist = "Marlow Avenue";
  v1.album = "Tidewater";
  v1.year = "1998";
  v1.comment = "Recorded at Pier Studio";
  v1.genre = 80;  // Folk
  return {"01 - Harbour Lights (ID3v1).mp3", Silence(kMpeg1, kSeconds) + Id3v1(v1)};
}

SampleFile CopperKettle() {
  Id3v1Fields v1;
  v1.title = "Copper Kettle";
  v1.artist = "Marlow Avenue";
  v1.album = "Tidewater";
  v1.year = "1998";
  v1.comment = "Second take";
  v1.track = 2;
  v1.genre = 80;
  return {"02 - Copper Kettle (ID3v1.1).mp3", Silence(kMpeg1, kSeconds) + Id3v1(v1)};
}

SampleFile LanternStreet() {
  constexpr int v = 2;
  const Bytes frames =
      Latin1Frame(v, "TT2", u"Lantern Street") + Latin1Frame(v, "TP1", u"Juniper Hale") +
      Latin1Frame(v, "TAL", u"Night Market") + Latin1Frame(v, "TRK", u"3/10") +
      Latin1Frame(v, "TYE", u"2003") + Latin1Frame(v, "TCO", u"(13)Pop") +
      Latin1Frame(v, "TCM", u"Ada Brennan") +
      Frame(v, "COM", CommentBody(Encoding::Latin1, "eng", u"", u"Live at the Corn Exchange"));
  TagOptions options;
  options.padding = 256;
  return {"03 - Lantern Street (ID3v2.2).mp3",
          Id3v2Tag(v, frames, options) + Silence(kMpeg1, kSeconds)};
}

SampleFile SaltAndCedar() {
  constexpr int v = 3;
  auto text = [](std::string_view id, std::u16string_view value) {
    return Frame(v, id, TextBody(Encoding::Utf16, value));
  };
  const Bytes frames =
      text("TIT2", u"Salt and Cedar") + text("TPE1", u"\u00C5sa Lindqvist") +
      text("TALB", u"Coastline Songs") + text("TRCK", u"04/12") + text("TPOS", u"1/2") +
      text("TYER", u"2011") + text("TCON", u"(17)Rock") + text("TCOM", u"\u00C5sa Lindqvist") +
      text("TPE2", u"The Fjord Band") + text("TPE3", u"Henrik Dahl") +
      text("TCOP", u"2011 Fjord Records") + text("TPUB", u"Fjord Records") + text("TBPM", u"96") +
      Frame(v, "COMM", CommentBody(Encoding::Utf16, "eng", u"", u"Mixed in one night")) +
      Frame(v, "WOAR", UrlBody("https://fjordband.example.com/")) +
      Frame(v, "WOAR", UrlBody("https://lindqvist.example.org/")) +
      Frame(v, "WCOM", UrlBody("https://shop.example.com/coastline"));
  TagOptions options;
  options.padding = 512;
  return {"04 - Salt and Cedar (ID3v2.3).mp3",
          Id3v2Tag(v, frames, options) + Silence(kMpeg1, kSeconds)};
}

SampleFile NorthernGlass() {
  constexpr int v = 4;
  const Bytes frames =
      Frame(v, "TIT2", TextBody(Encoding::Utf8, u"Northern Glass")) +
      Frame(v, "TPE1", TextBody(Encoding::Utf16, u"Zo\u00EB Marchetti")) +
      Frame(v, "TALB", TextBody(Encoding::Utf16BE, u"Caf\u00E9 Aurora")) +
      Frame(v, "TCOM", TextBody(Encoding::Utf16BE, u"Zo\u00EB Marchetti")) +
      Latin1Frame(v, "TRCK", u"5/12") + Latin1Frame(v, "TDRC", u"2019-03-22") +
      Frame(v, "TCON", TextBody(Encoding::Utf8, u"(52)Electronic")) +
      Frame(v, "COMM", CommentBody(Encoding::Utf16, "eng", u"", u"Written in Reykjav\u00EDk")) +
      Frame(v, "USLT",
            CommentBody(Encoding::Utf8, "eng", u"",
                        u"Glass in the north wind\r\nLight on the water \u5317\u306E\u5149")) +
      Frame(v, "APIC",
            PictureBody(v, Encoding::Latin1, "image/png", 3, u"Cover",
                        TinyPng(2, 2, 0x2A, 0x6F, 0x97)));
  TagOptions options;
  options.padding = 512;
  return {"05 - Northern Glass (ID3v2.4).mp3",
          Id3v2Tag(v, frames, options) + Silence(kMpeg1, kSeconds)};
}

SampleFile PaperMoonParade() {
  Id3v1Fields v1;
  v1.title = "Paper Moon Parade";
  v1.artist = "The Lamplighters";
  v1.album = "Carnival Nights";
  v1.year = "1979";
  v1.track = 6;
  v1.genre = 13;  // Pop
  return {"06 - Paper Moon Parade (Lyrics3 v1).mp3",
          Silence(kMpeg1, kSeconds) +
              Lyrics3v1("Paper moon above the square\r\nEveryone is dancing there") + Id3v1(v1)};
}

SampleFile EveningFerry() {
  Id3v1Fields v1;
  v1.title = "Evening Ferry";
  v1.artist = "Juniper Hale";
  v1.album = "Night Market";
  v1.year = "2004";
  v1.track = 7;
  v1.genre = 80;
  const Bytes lyrics3 = Lyrics3v2({
      {"IND", "11"},
      {"LYR", "[00:01]Evening ferry[CR][LF][00:04]Lights across the bay"},
      {"ETT", "Evening Ferry (Extended Harbour Mix)"},
      {"EAR", "Juniper Hale & Marlow Avenue"},
      {"EAL", "Night Market: Extended Edition"},
      {"AUT", "Ada Brennan"},
  });
  return {"07 - Evening Ferry (Lyrics3 v2).mp3", Silence(kMpeg1, kSeconds) + lyrics3 + Id3v1(v1)};
}

SampleFile QuietEngine() {
  constexpr int v = 3;
  const Bytes frames = Latin1Frame(v, "TIT2", u"Quiet Engine") +
                       Latin1Frame(v, "TPE1", u"Marlow Avenue") +
                       Latin1Frame(v, "TALB", u"Tidewater") + Latin1Frame(v, "TRCK", u"8") +
                       Latin1Frame(v, "TYER", u"1998") + Latin1Frame(v, "TCON", u"Ambient");
  TagOptions options;
  options.padding = 128;
  return {"08 - Quiet Engine (CBR).mp3", Id3v2Tag(v, frames, options) + Silence(kMpeg1, kSeconds)};
}

SampleFile DriftLine() {
  constexpr int v = 3;
  const Bytes frames = Latin1Frame(v, "TIT2", u"Drift Line") +
                       Latin1Frame(v, "TPE1", u"Juniper Hale") +
                       Latin1Frame(v, "TALB", u"Night Market") + Latin1Frame(v, "TRCK", u"9/10") +
                       Latin1Frame(v, "TYER", u"2003");
  const int count = FrameCount(kMpeg1);
  const Bytes audio = VariableSilence(kMpeg1, count);
  const auto total = static_cast<uint32_t>(audio.size() + SilentFrame(kMpeg1, false).size());
  TagOptions options;
  options.padding = 128;
  return {"09 - Drift Line (Xing VBR).mp3",
          Id3v2Tag(v, frames, options) + XingFrame(kMpeg1, static_cast<uint32_t>(count), total) +
              audio};
}

SampleFile SlowTide() {
  constexpr int v = 3;
  const Bytes frames = Latin1Frame(v, "TIT2", u"Slow Tide") +
                       Latin1Frame(v, "TPE1", u"Marlow Avenue") +
                       Latin1Frame(v, "TALB", u"Tidewater") + Latin1Frame(v, "TRCK", u"10") +
                       Latin1Frame(v, "TYER", u"1998");
  const int count = FrameCount(kMpeg1);
  const Bytes audio = VariableSilence(kMpeg1, count);
  const auto total = static_cast<uint32_t>(audio.size() + SilentFrame(kMpeg1, false).size());
  TagOptions options;
  options.padding = 128;
  return {"10 - Slow Tide (VBRI).mp3", Id3v2Tag(v, frames, options) +
                                           VbriFrame(kMpeg1, static_cast<uint32_t>(count), total) +
                                           audio};
}

SampleFile SmallHours() {
  constexpr int v = 4;
  auto text = [](std::string_view id, std::u16string_view value) {
    return Frame(v, id, TextBody(Encoding::Utf8, value));
  };
  const Bytes frames = text("TIT2", u"Small Hours") + text("TPE1", u"Zo\u00EB Marchetti") +
                       text("TALB", u"Caf\u00E9 Aurora") + text("TRCK", u"11/12") +
                       text("TDRC", u"2019") + text("TENC", u"Tagloom sample maker");
  TagOptions options;
  options.padding = 256;
  Id3v1Fields v1;
  v1.title = "Small Hours";
  v1.artist = "Zo\xEB Marchetti";
  v1.album = "Caf\xE9 Aurora";
  v1.year = "2019";
  v1.track = 11;
  v1.genre = 52;  // Electronic
  return {"11 - Small Hours (MPEG-2).mp3",
          Id3v2Tag(v, frames, options) + Silence(kMpeg2, kSeconds) + Id3v1(v1)};
}

}  // namespace

std::vector<SampleFile> BundledSamples() {
  return {HarbourLights(), CopperKettle(),    LanternStreet(), SaltAndCedar(),
          NorthernGlass(), PaperMoonParade(), EveningFerry(),  QuietEngine(),
          DriftLine(),     SlowTide(),        SmallHours()};
}

}  // namespace SampleBuilder
