#include "tag/FrameWriter.h"

#include <algorithm>

#include "tag/CodePage.h"

namespace {

bool FitsCodePage(std::u16string_view text) {
  unsigned char byte = 0;
  return std::all_of(text.begin(), text.end(),
                     [&](char16_t c) { return CodePage::CharToByte(c, byte); });
}

std::string Utf16WithMark(std::u16string_view text) {
  std::string out = "\xFF\xFE";
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

bool IsUrlId(std::string_view id) { return !id.empty() && id.front() == 'W'; }

}  // namespace

namespace FrameWriter {

std::string EncodeNumber(uint64_t value, int bytes, bool syncsafe) {
  std::string out(static_cast<size_t>(bytes), '\0');
  const unsigned base_bits = syncsafe ? 7 : 8;
  for (int i = bytes - 1; i >= 0; --i) {
    out[static_cast<size_t>(i)] = static_cast<char>(value & ((1u << base_bits) - 1));
    value >>= base_bits;
  }
  return out;
}

bool IsLanguageId(std::string_view id) {
  return id == "COMM" || id == "COM" || id == "USLT" || id == "ULT";
}
bool IsPictureId(std::string_view id) { return id == "APIC" || id == "PIC"; }

std::optional<FrameList> ListOf(std::string_view id) {
  if (id == "WCOM" || id == "WCM") return FrameList::kCommercialInfo;
  if (id == "WOAR" || id == "WAR") return FrameList::kArtistUrl;
  if (IsPictureId(id)) return FrameList::kAttachedPictures;
  return std::nullopt;
}

// The header of a frame whose body is `body_size` bytes: ID, size, flags 00 00.
std::string FrameHeader(const FrameLayout& layout, std::string_view id, uint64_t body_size) {
  std::string header(id);
  header += EncodeNumber(body_size, layout.id_length(), layout.version >= 4);
  if (layout.version >= 3) header.append(2, '\0');
  return header;
}

// One frame as the writer builds it: ID, size, flags 00 00, body. Text the code page cannot
// hold goes out as UTF-16 rather than as question marks. Nothing when the body is too big for
// the size field. Built in one string, since a picture's frame may be as large as the tag.
std::optional<std::string> WriteFrame(const FrameLayout& layout, std::string_view id,
                                      std::u16string_view value) {
  const auto header_length = static_cast<size_t>(layout.header_length());
  std::string frame(header_length, '\0');
  if (IsUrlId(id)) {
    frame += CodePage::TextToBytes(value);
  } else if (FitsCodePage(value)) {
    frame.reserve(header_length + 5 + value.size());
    frame.push_back('\0');
    if (IsLanguageId(id)) frame.append("eng\0", 4);
    frame += CodePage::TextToBytes(value);
  } else {
    frame.push_back('\x01');
    if (IsLanguageId(id)) frame += "eng" + Utf16WithMark(u"") + std::string(2, '\0');
    frame += Utf16WithMark(value);
  }
  const uint64_t body = frame.size() - header_length;
  if (body > layout.max_body()) return std::nullopt;
  frame.replace(0, header_length, FrameHeader(layout, id, body));
  return frame;
}

// A picture frame from the entry's bytes, as WriteFrame writes it from the same bytes as text.
std::optional<std::string> WritePictureFrame(const FrameLayout& layout, std::string_view id,
                                             std::string_view entry) {
  const uint64_t body = entry.size() + 1;
  if (body > layout.max_body()) return std::nullopt;
  std::string frame = FrameHeader(layout, id, body);
  frame.reserve(frame.size() + body);
  frame.push_back('\0');
  frame += entry;
  return frame;
}

// The body after the frame header, with a v2.4 frame's own unsynchronisation undone.
std::string FrameBody(std::string_view frame, const FrameLayout& layout) {
  std::string body(frame.substr(std::min<size_t>(frame.size(), layout.header_length())));
  if (layout.version >= 4 && frame.size() >= 10 && (static_cast<unsigned char>(frame[9]) & 0x02))
    body = Id3v2::Deunsynchronise(body);
  return body;
}

// Frames whose bytes a rewrite from the field could not reproduce: compressed, encrypted, grouped
// or length-prefixed bodies.
bool IsOpaque(std::string_view frame, const FrameLayout& layout) {
  if (layout.version < 3 || frame.size() < 10) return false;
  const auto format = static_cast<unsigned char>(frame[9]);
  return layout.version == 3 ? (format & 0xE0) != 0 : (format & 0x4D) != 0;
}

// A frame kept: unchanged, but a v2.4 frame's own unsynchronisation undone, since the new tag
// is written without it.
std::string KeepFrame(std::string_view frame, const FrameLayout& layout) {
  if (layout.version < 4 || frame.size() < 10 || !(static_cast<unsigned char>(frame[9]) & 0x02))
    return std::string(frame);
  const std::string body = Id3v2::Deunsynchronise(frame.substr(10));
  std::string out(frame.substr(0, 4));
  out += EncodeNumber(body.size(), 4, true);
  out.push_back(frame[8]);
  out.push_back(static_cast<char>(static_cast<unsigned char>(frame[9]) & ~0x02));
  return out + body;
}

}  // namespace FrameWriter
