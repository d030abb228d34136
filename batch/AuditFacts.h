#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "batch/Audit.h"
#include "tag/PictureFacts.h"

class MultiFrameData;
class clsID3;
struct MpegAudioState;

/// The facts the report needs beyond the columns: the front cover's size from the image's own
/// header, and what lies between the tags, hashed and walked frame by frame. Bytes in, no file
/// access: the caller maps or reads the file.
namespace AuditFacts {

/// Width and height from a JPEG, PNG, GIF or WebP header; nothing for other formats or bytes
/// cut before the size.
std::optional<std::pair<int, int>> ImageSize(std::string_view image);

/// The front cover among the picture entries the engine read (ID3v2 APIC and PIC bodies after
/// the encoding byte): the picture of type 3, else the first.
std::optional<Audit::Cover> FrontCover(const MultiFrameData& pictures);

/// Each picture entry's type, format and image size, and the front cover as FrontCover gives
/// it: what a kept read holds in place of the pictures' bytes.
PictureFacts MeasurePictures(const MultiFrameData& pictures);

/// The front cover of a read that wanted the pictures: from their measure when the read was
/// restored from one, else from the bytes it holds.
std::optional<Audit::Cover> CoverOf(const clsID3& tag);

/// The codec profile a LAME header tells: "VBR V0" to "VBR V9", "ABR 160", "CBR 192", or an
/// old LAME's named preset ("VBR extreme"); empty when there is no such header or it tells
/// nothing. LAME 3.100 writes its named presets as what they stand for: standard as V2,
/// extreme as V0, insane as CBR 320.
QString Profile(const MpegAudioState& audio);

/// The bytes between the tags: after every ID3v2 tag at the start, before ID3v1, Lyrics3 and
/// APE tags at the end. Offsets into `file`.
struct Span {
  size_t first = 0;
  size_t last = 0;
};
Span AudioSpan(std::string_view file);

/// XXH64 of the audio span.
uint64_t AudioHash(std::string_view file, const Span& span);

/// Walks every MPEG audio frame of the span: lost sync, bytes between frames that are no frame,
/// a frame cut short by the end. At most `most` are told, the last one saying how many more.
std::vector<Audit::Damage> WalkFrames(std::string_view file, const Span& span, size_t most = 20);

}  // namespace AuditFacts
