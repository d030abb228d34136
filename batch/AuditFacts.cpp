#include "batch/AuditFacts.h"

#include <xxhash.h>

#include <algorithm>
#include <array>
#include <string>

#include "tag/CodePage.h"
#include "tag/MpegAudio.h"
#include "tag/MultiFrameData.h"
#include "tag/clsID3.h"

namespace AuditFacts {

namespace {

uint32_t Big(std::string_view b, size_t at, int width) {
  uint32_t v = 0;
  for (int i = 0; i < width; ++i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

uint32_t Little(std::string_view b, size_t at, int width) {
  uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

std::optional<std::pair<int, int>> JpegSize(std::string_view b) {
  size_t p = 2;
  while (p + 4 <= b.size()) {
    if (static_cast<unsigned char>(b[p]) != 0xFF) return std::nullopt;
    const auto marker = static_cast<unsigned char>(b[p + 1]);
    if (marker == 0xFF) {  // fill byte
      ++p;
      continue;
    }
    if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      p += 2;
      continue;
    }
    const uint32_t length = Big(b, p + 2, 2);
    if (length < 2) return std::nullopt;
    // Start of frame: every SOFn but DHT (C4), JPG (C8) and DAC (CC).
    if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
      if (p + 9 > b.size()) return std::nullopt;
      return std::make_pair(static_cast<int>(Big(b, p + 7, 2)), static_cast<int>(Big(b, p + 5, 2)));
    }
    if (marker == 0xDA || marker == 0xD9) return std::nullopt;
    p += 2 + length;
  }
  return std::nullopt;
}

std::optional<std::pair<int, int>> WebpSize(std::string_view b) {
  if (b.size() < 30) return std::nullopt;
  const std::string_view chunk = b.substr(12, 4);
  if (chunk == "VP8 " && static_cast<unsigned char>(b[23]) == 0x9D)
    return std::make_pair(static_cast<int>(Little(b, 26, 2) & 0x3FFF),
                          static_cast<int>(Little(b, 28, 2) & 0x3FFF));
  if (chunk == "VP8L" && static_cast<unsigned char>(b[20]) == 0x2F) {
    const uint32_t bits = Little(b, 21, 4);
    return std::make_pair(static_cast<int>((bits & 0x3FFF) + 1),
                          static_cast<int>(((bits >> 14) & 0x3FFF) + 1));
  }
  if (chunk == "VP8X")
    return std::make_pair(static_cast<int>(Little(b, 24, 3) + 1),
                          static_cast<int>(Little(b, 27, 3) + 1));
  return std::nullopt;
}

// The bytes of a picture entry, made from its text when the engine already widened it.
std::string_view EntryBytes(const MultiFrameData& pictures, int32_t position, std::string& room) {
  if (const auto held = pictures.HeldBytes(position)) return *held;
  room = CodePage::TextToBytes(pictures.Item(position));
  return room;
}

// An entry's picture type, and where its image starts: after the MIME type (APIC) or the
// three-letter format (PIC), the type byte and the description.
struct Entry {
  int type = -1;
  std::string_view format;
  std::string_view image;
};

Entry Parse(std::string_view entry) {
  Entry e;
  size_t after_type = std::string_view::npos;
  const bool pic =
      entry.size() > 4 && static_cast<unsigned char>(entry[3]) < 0x20 &&
      std::all_of(entry.begin(), entry.begin() + 3, [](char c) { return c >= 0x20 && c < 0x7F; });
  if (pic) {
    e.type = static_cast<unsigned char>(entry[3]);
    e.format = entry.substr(0, 3);
    after_type = 4;
  } else if (const size_t nul = entry.find('\0');
             nul != std::string_view::npos && nul + 1 < entry.size()) {
    e.type = static_cast<unsigned char>(entry[nul + 1]);
    e.format = entry.substr(0, nul);
    after_type = nul + 2;
  }
  if (after_type == std::string_view::npos) return e;
  // The description's end depends on an encoding the entry no longer carries: the image is
  // found by its own signature instead.
  static constexpr std::string_view kMagic[] = {std::string_view("\xFF\xD8\xFF", 3), "\x89PNG",
                                                "GIF8", "RIFF"};
  // Searched first where a description ends, a few KiB in: a miss of the other signatures
  // would otherwise scan the whole image, once for each.
  constexpr size_t kNear = 4096;
  const std::string_view near = entry.substr(0, std::min(entry.size(), after_type + kNear));
  size_t best = std::string_view::npos;
  for (const std::string_view magic : kMagic) best = std::min(best, near.find(magic, after_type));
  if (best == std::string_view::npos && near.size() < entry.size())
    for (const std::string_view magic : kMagic)
      best = std::min(best, entry.find(magic, after_type));
  e.image = best == std::string_view::npos ? entry.substr(after_type) : entry.substr(best);
  return e;
}

// A frame header's length in bytes, or 0 when the four bytes are no frame header.
size_t FrameLength(std::string_view b, size_t p) {
  if (p + 4 > b.size()) return 0;
  const auto h1 = static_cast<unsigned char>(b[p]), h2 = static_cast<unsigned char>(b[p + 1]),
             h3 = static_cast<unsigned char>(b[p + 2]);
  if (h1 != 0xFF || (h2 & 0xE0) != 0xE0) return 0;
  const int version = (h2 >> 3) & 3;  // 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
  const int layer = (h2 >> 1) & 3;    // 1 III, 2 II, 3 I
  const int rate_index = h3 >> 4, freq_index = (h3 >> 2) & 3, padding = (h3 >> 1) & 1;
  if (version == 1 || layer == 0 || rate_index == 0 || rate_index == 15 || freq_index == 3)
    return 0;
  static constexpr int kRates[2][3][15] = {
      {{0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448}},
      {{0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256}}};
  static constexpr int kFreqs[3] = {44100, 48000, 32000};
  const bool mpeg1 = version == 3;
  const int kbps = kRates[mpeg1 ? 0 : 1][layer - 1][rate_index];
  const int freq = kFreqs[freq_index] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
  if (layer == 3) return static_cast<size_t>((12 * kbps * 1000 / freq + padding) * 4);
  const int factor = (layer == 1 && !mpeg1) ? 72 : 144;
  return static_cast<size_t>(factor * kbps * 1000 / freq + padding);
}

}  // namespace

std::optional<std::pair<int, int>> ImageSize(std::string_view b) {
  if (b.size() >= 3 && b.substr(0, 3) == std::string_view("\xFF\xD8\xFF", 3)) return JpegSize(b);
  if (b.size() >= 24 && b.substr(0, 8) == std::string_view("\x89PNG\r\n\x1A\n", 8) &&
      b.substr(12, 4) == "IHDR")
    return std::make_pair(static_cast<int>(Big(b, 16, 4)), static_cast<int>(Big(b, 20, 4)));
  if (b.size() >= 10 && (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a"))
    return std::make_pair(static_cast<int>(Little(b, 6, 2)), static_cast<int>(Little(b, 8, 2)));
  if (b.size() >= 12 && b.substr(0, 4) == "RIFF" && b.substr(8, 4) == "WEBP") return WebpSize(b);
  return std::nullopt;
}

std::optional<Audit::Cover> FrontCover(const MultiFrameData& pictures) {
  std::string room;
  std::optional<Audit::Cover> cover;
  int type = -1;
  for (int32_t i = 1; i <= pictures.Count() && type != 3; ++i) {
    const Entry e = Parse(EntryBytes(pictures, i, room));
    if (cover && (e.type != 3 || type == 3)) continue;
    // Measured at once: the image, often most of the tag, is not copied to be kept.
    cover.emplace();
    type = e.type;
    if (const auto size = ImageSize(e.image)) {
      cover->width = size->first;
      cover->height = size->second;
    }
    cover->hash = XXH3_64bits(e.image.data(), e.image.size());
  }
  return cover;
}

PictureFacts MeasurePictures(const MultiFrameData& pictures) {
  PictureFacts facts;
  std::string room;
  for (int32_t i = 1; i <= pictures.Count(); ++i) {
    const Entry e = Parse(EntryBytes(pictures, i, room));
    facts.frames.push_back({static_cast<uint8_t>(e.type), std::string(e.format),
                            static_cast<int64_t>(e.image.size())});
  }
  if (const auto cover = FrontCover(pictures)) {
    facts.cover_width = cover->width;
    facts.cover_height = cover->height;
    facts.cover_hash = cover->hash;
  }
  return facts;
}

std::optional<Audit::Cover> CoverOf(const clsID3& tag) {
  if (const std::optional<PictureFacts>& kept = tag.KeptPictures()) {
    if (kept->frames.empty()) return std::nullopt;
    return Audit::Cover{kept->cover_width, kept->cover_height, kept->cover_hash};
  }
  if (tag.AttachedPictures()) return FrontCover(*tag.AttachedPictures());
  return std::nullopt;
}

QString Profile(const MpegAudioState& audio) {
  const int method = audio.LameMethod, preset = audio.LamePreset;
  const bool cbr = method == 1 || method == 8, abr = method == 2 || method == 9;
  const bool vbr = method >= 3 && method <= 6;
  // The preset numbers of lame.h: a bit rate for ABR and CBR, 410 (V9) to 500 (V0) in tens,
  // and from 1000 the names of LAME before 3.100.
  static constexpr const char* kNamed[] = {"r3mix",  "standard",      "extreme",
                                           "insane", "fast standard", "fast extreme",
                                           "medium", "fast medium"};
  const QString kind = cbr   ? QStringLiteral("CBR")
                       : abr ? QStringLiteral("ABR")
                       : vbr ? QStringLiteral("VBR")
                             : QString();
  if (preset >= 1000 && preset <= 1007) {
    const QString name = QString::fromLatin1(kNamed[preset - 1000]);
    return kind.isEmpty() ? name : kind + u' ' + name;
  }
  if (kind.isEmpty()) return {};
  if (vbr && preset >= 410 && preset <= 500 && preset % 10 == 0)
    return QStringLiteral("VBR V%1").arg((500 - preset) / 10);
  if (!vbr) {
    // 255 in byte 20 stands for 255 and above: the preset then says the rate, where it does.
    const int kbps = preset >= 8 && preset <= 320 ? preset
                     : audio.LameBitRate < 255    ? audio.LameBitRate
                                                  : 0;
    if (kbps > 0) return kind + u' ' + QString::number(kbps);
  }
  return kind;
}

Span AudioSpan(std::string_view file) {
  Span span{0, file.size()};
  // ID3v2 tags, one after another.
  while (span.first + 10 <= file.size() && file.substr(span.first, 3) == "ID3") {
    const std::string_view h = file.substr(span.first, 10);
    uint32_t size = 0;
    for (int i = 6; i < 10; ++i) size = (size << 7) | (static_cast<unsigned char>(h[i]) & 0x7F);
    const size_t total = 10 + size + ((static_cast<unsigned char>(h[5]) & 0x10) ? 10 : 0);
    span.first = std::min(file.size(), span.first + total);
  }
  // Tags at the end, in any order, until none is found.
  for (bool found = true; found && span.last > span.first;) {
    found = false;
    const std::string_view head = file.substr(span.first, span.last - span.first);
    if (head.size() >= 128 && head.substr(head.size() - 128, 3) == "TAG") {
      span.last -= 128;
      found = true;
    } else if (head.size() >= 32 && head.substr(head.size() - 32, 8) == "APETAGEX") {
      const size_t at = head.size() - 32;
      // The size counts the footer: a smaller one is no tag's, and would leave the loop where
      // it was.
      size_t size = std::max<size_t>(Little(head, at + 12, 4), 32);
      if (Little(head, at + 20, 4) & 0x80000000u) size += 32;  // a header too
      span.last -= std::min(head.size(), size);
      found = true;
    } else if (head.size() >= 15 && head.substr(head.size() - 9) == "LYRICS200") {
      const std::string digits(head.substr(head.size() - 15, 6));
      if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        span.last -= std::min(head.size(), std::stoul(digits) + 15);
        found = true;
      }
    } else if (head.size() >= 9 && head.substr(head.size() - 9) == "LYRICSEND") {
      const size_t window = std::min<size_t>(head.size(), 5100 + 20);
      const size_t begin = head.rfind("LYRICSBEGIN", head.size() - 9);
      if (begin != std::string_view::npos && head.size() - begin <= window) {
        span.last = span.first + begin;
        found = true;
      }
    }
  }
  return span;
}

uint64_t AudioHash(std::string_view file, const Span& span) {
  return XXH3_64bits(file.data() + span.first, span.last - span.first);
}

std::vector<Audit::Damage> WalkFrames(std::string_view file, const Span& span, size_t most) {
  std::vector<Audit::Damage> found;
  size_t total = 0;
  const auto tell = [&](size_t at, std::string what) {
    if (++total <= most) found.push_back({static_cast<int64_t>(at), QString::fromStdString(what)});
  };
  const std::string_view b = file.substr(0, span.last);
  // A frame is believed where the next one follows it, or the stream ends there.
  const auto confirmed = [&](size_t p) {
    const size_t length = FrameLength(b, p);
    if (length == 0) return false;
    const size_t next = p + length;
    return next >= b.size() || FrameLength(b, next) != 0;
  };
  size_t p = span.first;
  bool any = false;
  while (p < b.size()) {
    const size_t length = FrameLength(b, p);
    if (length != 0 && (any || confirmed(p))) {
      if (p + length > b.size()) {
        tell(p, "a frame of " + std::to_string(length) + " bytes cut short after " +
                    std::to_string(b.size() - p));
        break;
      }
      any = true;
      p += length;
      // The walk strides from header to header; the headers a few frames on are fetched now,
      // so the walk does not wait on memory at every frame.
      __builtin_prefetch(b.data() + std::min(b.size() - 1, p + 8 * length));
      continue;
    }
    // Lost sync: the next place where two frames follow one another.
    size_t q = p + 1;
    while (q < b.size() && !(static_cast<unsigned char>(b[q]) == 0xFF && confirmed(q))) ++q;
    if (q >= b.size() && !any) break;  // no frames at all: the status says so already
    // Zeros before the first frame or after the last are padding some writers leave.
    const bool zeros =
        std::all_of(b.begin() + static_cast<std::ptrdiff_t>(p),
                    b.begin() + static_cast<std::ptrdiff_t>(q), [](char c) { return c == '\0'; });
    if (zeros && (!any || q >= b.size())) {
      any = any || q < b.size();
      p = q;
      continue;
    }
    if (q >= b.size()) {
      tell(p, "lost sync: " + std::to_string(q - p) + " bytes that are no frame up to the end");
      break;
    }
    tell(p, any ? "lost sync: " + std::to_string(q - p) + " bytes of garbage between frames"
                : std::to_string(q - p) + " bytes of garbage before the first frame");
    any = true;
    p = q;
  }
  if (total > most && !found.empty())
    found.push_back({found.back().offset, QStringLiteral("and %1 more").arg(total - most)});
  return found;
}

}  // namespace AuditFacts
