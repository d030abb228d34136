#include "platform/taglib/TagLibFormatReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2header.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggflacfile.h>
#include <taglib/opusfile.h>
#include <taglib/speexfile.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <optional>

#include "platform/formats/AudioSniff.h"
#include "platform/formats/TagMapping.h"

namespace {

using Kind = TagMapping::Kind;

// TagLib's complaints about damaged files go nowhere: the Status column tells them.
class Quiet : public TagLib::DebugListener {
 public:
  void printMessage(const TagLib::String&) override {}
};

std::u16string Text(const TagLib::String& text) {
  const std::wstring wide = text.toWString();
  std::u16string out;
  out.reserve(wide.size());
  for (const wchar_t c : wide) {
    const auto code = static_cast<uint32_t>(c);
    if (code > 0xFFFF) {
      out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(code);
    }
  }
  return out;
}

void AddTagName(OtherFormatRead& out, const std::string& name) {
  if (!out.tags.empty()) out.tags += ", ";
  out.tags += name;
}

void ApplyMap(Kind kind, const std::string& tag, const TagLib::PropertyMap& map,
              OtherFormatRead& out) {
  for (const auto& [key, values] : map) {
    std::vector<std::u16string> texts;
    for (const TagLib::String& value : values) texts.push_back(Text(value));
    TagMapping::Apply(kind, tag, key.to8Bit(true), texts, out);
  }
}

void ApplyId3v2(TagLib::ID3v2::Tag* tag, OtherFormatRead& out) {
  if (!tag || tag->isEmpty()) return;
  const std::string name = "ID3v2." + std::to_string(tag->header()->majorVersion());
  AddTagName(out, name);
  ApplyMap(Kind::kId3v2, name, tag->properties(), out);
  out.pictures += static_cast<int>(tag->frameListMap()["APIC"].size());
}

void ApplyApe(TagLib::APE::Tag* tag, OtherFormatRead& out) {
  if (!tag || tag->isEmpty()) return;
  AddTagName(out, "APEv2");
  ApplyMap(Kind::kApe, "APEv2", tag->properties(), out);
  for (const auto& [key, item] : tag->itemListMap())
    if (item.type() == TagLib::APE::Item::Binary && key.upper().startsWith("COVER ART"))
      ++out.pictures;
}

void ApplyId3v1(TagLib::ID3v1::Tag* tag, OtherFormatRead& out) {
  if (!tag || tag->isEmpty()) return;
  AddTagName(out, "ID3v1");
  ApplyMap(Kind::kId3v1, "ID3v1", tag->properties(), out);
}

void ApplyXiph(TagLib::Ogg::XiphComment* tag, OtherFormatRead& out) {
  if (!tag) return;
  AddTagName(out, "Vorbis comment");
  ApplyMap(Kind::kVorbis, "Vorbis", tag->properties(), out);
  out.pictures += static_cast<int>(tag->pictureList().size());
  OtherFormatRead::Value& encoder = out[OtherField::kEncoder];
  if (encoder.text.empty() && !tag->vendorID().isEmpty()) {
    encoder.text = Text(tag->vendorID());
    encoder.source = "Vorbis vendor";
  }
}

void ApplyMp4(TagLib::MP4::Tag* tag, OtherFormatRead& out) {
  if (!tag || tag->isEmpty()) return;
  AddTagName(out, "MP4");
  TagLib::PropertyMap map = tag->properties();
  // ©too names the encoding program, not a person: it goes to Encoder alone.
  map.erase("ENCODEDBY");
  map.erase("ENCODING");
  ApplyMap(Kind::kMp4, "MP4", map, out);
  const TagLib::MP4::ItemMap& items = tag->itemMap();
  const auto freeform = [&](const char* name, OtherField field) {
    const auto found = items.find(TagLib::String("----:com.apple.iTunes:") + name);
    if (found == items.end()) return;
    std::vector<std::u16string> texts;
    for (const TagLib::String& value : found->second.toStringList()) texts.push_back(Text(value));
    OtherFormatRead::Value& value = out[field];
    if (!value.text.empty()) return;
    value.text = TagMapping::Join(texts);
    value.source = std::string("MP4 ----:") + name;
  };
  freeform("replaygain_track_gain", OtherField::kTrackGain);
  freeform("replaygain_track_peak", OtherField::kTrackPeak);
  freeform("replaygain_album_gain", OtherField::kAlbumGain);
  freeform("replaygain_album_peak", OtherField::kAlbumPeak);
  const auto too = items.find("\251too");
  if (too != items.end() && out[OtherField::kEncoder].text.empty()) {
    out[OtherField::kEncoder].text = Text(too->second.toStringList().toString(" "));
    out[OtherField::kEncoder].source = "MP4 \xC2\xA9too";
  }
  const auto covers = items.find("covr");
  if (covers != items.end())
    out.pictures += static_cast<int>(covers->second.toCoverArtList().size());
}

void ApplyAsf(TagLib::ASF::Tag* tag, OtherFormatRead& out) {
  if (!tag || tag->isEmpty()) return;
  AddTagName(out, "ASF");
  ApplyMap(Kind::kAsf, "ASF", tag->properties(), out);
  const TagLib::ASF::AttributeListMap& attributes = tag->attributeListMap();
  const auto attribute = [&](const char* name, OtherField field) {
    const auto found = attributes.find(name);
    if (found == attributes.end() || found->second.isEmpty()) return;
    OtherFormatRead::Value& value = out[field];
    if (!value.text.empty()) return;
    std::vector<std::u16string> texts;
    for (const TagLib::ASF::Attribute& a : found->second) texts.push_back(Text(a.toString()));
    value.text = TagMapping::Join(texts);
    value.source = std::string("ASF ") + name;
  };
  attribute("WM/EncodingSettings", OtherField::kEncoder);
  attribute("replaygain_track_gain", OtherField::kTrackGain);
  attribute("replaygain_track_peak", OtherField::kTrackPeak);
  attribute("replaygain_album_gain", OtherField::kAlbumGain);
  attribute("replaygain_album_peak", OtherField::kAlbumPeak);
  const auto pictures = attributes.find("WM/Picture");
  if (pictures != attributes.end()) out.pictures += static_cast<int>(pictures->second.size());
}

void ApplyInfo(TagLib::RIFF::Info::Tag* tag, OtherFormatRead& out) {
  if (!tag || tag->isEmpty()) return;
  AddTagName(out, "RIFF INFO");
  ApplyMap(Kind::kRiffInfo, "RIFF INFO", tag->properties(), out);
}

// The audio facts every format shares; `frames` counts samples where the format does, so the
// duration is exact rather than TagLib's milliseconds.
void ApplyAudio(const TagLib::AudioProperties* audio, OtherFormatRead& out, int bits = 0,
                unsigned long long frames = 0) {
  if (!audio) return;
  out.sample_rate = audio->sampleRate();
  out.channels = audio->channels();
  out.bit_rate = audio->bitrate();
  out.bits = bits;
  if (frames > 0 && audio->sampleRate() > 0) {
    out.seconds = static_cast<double>(frames) / audio->sampleRate();
    out.duration_source = "sample count";
  } else {
    out.seconds = audio->lengthInMilliseconds() / 1000.0;
    out.duration_source = "stream header";
  }
  out.has_audio = out.seconds > 0 || out.sample_rate > 0;
}

// A file opened for its bytes alone, for a tag read from a known place.
class Raw : public TagLib::File {
 public:
  explicit Raw(TagLib::FileName name) : TagLib::File(name) {}
  TagLib::Tag* tag() const override { return nullptr; }
  TagLib::AudioProperties* audioProperties() const override { return nullptr; }
  bool save() override { return false; }
};

template <class F>
bool Valid(F& file, OtherFormatRead& out) {
  if (file.isValid()) return true;
  out.outcome = OtherFormatRead::Outcome::kUnreadable;
  out.reason = "TagLib rejects its " + out.format + " structure";
  return false;
}

// The reads of one family of formats: nothing when the kind is not of the family, false when the
// file is not valid (Valid said why), true when it was read.
std::optional<bool> ReadXiphFamily(const std::string& kind, const char* name,
                                   OtherFormatRead& out) {
  if (kind == "FLAC") {
    TagLib::FLAC::File file(name);
    if (!Valid(file, out)) return false;
    ApplyXiph(file.hasXiphComment() ? file.xiphComment() : nullptr, out);
    ApplyId3v2(file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr, out);
    out.pictures += static_cast<int>(file.pictureList().size());
    const auto* audio = file.audioProperties();
    ApplyAudio(audio, out, audio ? audio->bitsPerSample() : 0, audio ? audio->sampleFrames() : 0);
  } else if (kind == "Ogg Vorbis") {
    TagLib::Ogg::Vorbis::File file(name);
    if (!Valid(file, out)) return false;
    ApplyXiph(file.tag(), out);
    ApplyAudio(file.audioProperties(), out);
  } else if (kind == "Opus") {
    TagLib::Ogg::Opus::File file(name);
    if (!Valid(file, out)) return false;
    ApplyXiph(file.tag(), out);
    ApplyAudio(file.audioProperties(), out);
  } else if (kind == "Ogg FLAC") {
    TagLib::Ogg::FLAC::File file(name);
    if (!Valid(file, out)) return false;
    ApplyXiph(file.tag(), out);
    const auto* audio = file.audioProperties();
    ApplyAudio(audio, out, audio ? audio->bitsPerSample() : 0, audio ? audio->sampleFrames() : 0);
  } else if (kind == "Ogg Speex") {
    TagLib::Ogg::Speex::File file(name);
    if (!Valid(file, out)) return false;
    ApplyXiph(file.tag(), out);
    ApplyAudio(file.audioProperties(), out);
  } else {
    return std::nullopt;
  }
  return true;
}

std::optional<bool> ReadOtherFamily(const std::string& kind, const char* name,
                                    OtherFormatRead& out) {
  if (kind == "MP4") {
    TagLib::MP4::File file(name);
    if (!Valid(file, out)) return false;
    ApplyMp4(file.tag(), out);
    const auto* audio = file.audioProperties();
    if (audio && audio->codec() == TagLib::MP4::Properties::AAC) out.format = "MP4 AAC";
    if (audio && audio->codec() == TagLib::MP4::Properties::ALAC) out.format = "MP4 ALAC";
    ApplyAudio(audio, out, audio ? audio->bitsPerSample() : 0);
  } else if (kind == "WMA") {
    TagLib::ASF::File file(name);
    if (!Valid(file, out)) return false;
    ApplyAsf(file.tag(), out);
    const auto* audio = file.audioProperties();
    if (audio && audio->codec() == TagLib::ASF::Properties::WMA9Lossless)
      out.format = "WMA Lossless";
    ApplyAudio(audio, out, audio ? audio->bitsPerSample() : 0);
  } else if (kind == "WAV") {
    TagLib::RIFF::WAV::File file(name);
    if (!Valid(file, out)) return false;
    ApplyId3v2(file.hasID3v2Tag() ? file.ID3v2Tag() : nullptr, out);
    ApplyInfo(file.hasInfoTag() ? file.InfoTag() : nullptr, out);
    const auto* audio = file.audioProperties();
    if (audio)
      out.format = audio->format() == 1 ? "WAV PCM" : audio->format() == 3 ? "WAV float" : "WAV";
    ApplyAudio(audio, out, audio ? audio->bitsPerSample() : 0, audio ? audio->sampleFrames() : 0);
  } else if (kind == "AIFF") {
    TagLib::RIFF::AIFF::File file(name);
    if (!Valid(file, out)) return false;
    ApplyId3v2(file.hasID3v2Tag() ? file.tag() : nullptr, out);
    const auto* audio = file.audioProperties();
    if (audio) {
      const TagLib::ByteVector type = audio->compressionType();
      out.format = !audio->isAiffC() || type == "NONE" || type == "sowt"
                       ? "AIFF PCM"
                       : "AIFF-C " + std::string(type.data(), type.size());
    }
    ApplyAudio(audio, out, audio ? audio->bitsPerSample() : 0, audio ? audio->sampleFrames() : 0);
  } else if (kind == "WavPack") {
    TagLib::WavPack::File file(name);
    if (!Valid(file, out)) return false;
    ApplyApe(file.hasAPETag() ? file.APETag() : nullptr, out);
    ApplyId3v1(file.hasID3v1Tag() ? file.ID3v1Tag() : nullptr, out);
    const auto* audio = file.audioProperties();
    ApplyAudio(audio, out, audio ? audio->bitsPerSample() : 0, audio ? audio->sampleFrames() : 0);
  } else if (kind == "Monkey's Audio") {
    TagLib::APE::File file(name);
    if (!Valid(file, out)) return false;
    ApplyApe(file.hasAPETag() ? file.APETag() : nullptr, out);
    ApplyId3v1(file.hasID3v1Tag() ? file.ID3v1Tag() : nullptr, out);
    const auto* audio = file.audioProperties();
    ApplyAudio(audio, out, audio ? audio->bitsPerSample() : 0, audio ? audio->sampleFrames() : 0);
  } else if (kind == "Musepack") {
    TagLib::MPC::File file(name);
    if (!Valid(file, out)) return false;
    ApplyApe(file.hasAPETag() ? file.APETag() : nullptr, out);
    ApplyId3v1(file.hasID3v1Tag() ? file.ID3v1Tag() : nullptr, out);
    const auto* audio = file.audioProperties();
    ApplyAudio(audio, out, 0, audio ? audio->sampleFrames() : 0);
  } else {
    return std::nullopt;
  }
  return true;
}

}  // namespace

TagLibFormatReader::TagLibFormatReader() {
  static Quiet quiet;
  static std::once_flag once;
  std::call_once(once, [] { TagLib::setDebugListener(&quiet); });
}

void TagLibFormatReader::Read(const std::string& path, OtherFormatRead& out) const {
  out.Clear();
  int64_t declared = -1;
  bool ape = false;
  const std::string kind = AudioSniff::Format(path, out.size, declared, &ape, &out.modified);
  if (kind.empty()) {
    if (ape) ReadApe(path, out);
    return;
  }
  ReadKind(path, kind, declared, out);
}

void TagLibFormatReader::ReadHead(const std::string& path, std::string_view head, int64_t at,
                                  int64_t size, timespec modified, OtherFormatRead& out) const {
  int64_t declared = -1;
  const std::string kind = AudioSniff::FromBytes(head, at, declared);
  if (kind.empty()) {
    Read(path, out);
    return;
  }
  out.Clear();
  out.size = size;
  out.modified = modified;
  ReadKind(path, kind, declared, out);
}

void TagLibFormatReader::ReadKind(const std::string& path, const std::string& kind,
                                  int64_t declared, OtherFormatRead& out) {
  const int64_t size = out.size;
  out.format = kind;
  out.outcome = OtherFormatRead::Outcome::kRead;
  const char* name = path.c_str();
  using Outcome = OtherFormatRead::Outcome;
  try {
    std::optional<bool> read = ReadXiphFamily(kind, name, out);
    if (!read) read = ReadOtherFamily(kind, name, out);
    if (!read) {
      out.outcome = Outcome::kUnreadable;
      out.reason = kind == "Ogg" ? "an Ogg stream of a codec not read here"
                                 : "the " + kind + " format is not read here";
      return;
    }
    if (!*read) return;
  } catch (const std::exception& e) {
    out.outcome = Outcome::kUnreadable;
    out.reason = e.what();
    return;
  }
  if (declared > size && size >= 0) {
    out.outcome = Outcome::kTruncated;
    out.reason = "the " + kind + " header declares " + std::to_string(declared) +
                 " bytes, the file holds " + std::to_string(size);
  } else if (!out.has_audio) {
    out.outcome = Outcome::kTruncated;
    out.reason = "no audio after the " + kind + " header";
  }
}

OtherFormatReader::ContainerTest TagLibFormatReader::Containers() const {
  return &AudioSniff::NamesContainer;
}

void TagLibFormatReader::ReadApe(const std::string& path, OtherFormatRead& out) const {
  out.Clear();
  try {
    // The tag alone, from its footer: an MPEG::File would look through the whole file first.
    Raw file(path.c_str());
    if (!file.isOpen()) return;
    const long length = file.length();
    const auto footer_at = [&](long at) {
      if (at < 0) return false;
      file.seek(at);
      return file.readBlock(8) == "APETAGEX";
    };
    long footer = length - 32;
    if (!footer_at(footer)) {
      file.seek(length - 128);
      if (length < 160 || !file.readBlock(3).startsWith("TAG") || !footer_at(length - 160)) return;
      footer = length - 160;
    }
    TagLib::APE::Tag tag(&file, footer);
    ApplyApe(&tag, out);
  } catch (const std::exception&) {
  }
}
