#include "tag/TagRewrite.h"

#include <algorithm>
#include <limits>
#include <map>
#include <optional>

#include "tag/CaseFold.h"
#include "tag/CodePage.h"
#include "tag/Genres.h"
#include "tag/Id3v2Frames.h"
#include "tag/NumericText.h"

using FrameWriter::EncodeNumber;
using FrameWriter::FrameBody;
using FrameWriter::FrameHeader;
using FrameWriter::FrameList;
using FrameWriter::IsLanguageId;
using FrameWriter::IsOpaque;
using FrameWriter::IsPictureId;
using FrameWriter::kDefaultPadding;
using FrameWriter::KeepFrame;
using FrameWriter::kTagSizeLimit;
using FrameWriter::ListOf;
using FrameWriter::WriteFrame;
using FrameWriter::WritePictureFrame;

namespace {

// Old tag data looked at in one read when the walk needs only a frame header or a signature.
constexpr int64_t kLook = 256;
constexpr int64_t kWindow = 64 * 1024;
// Pieces of a picture compared with its entry at a time.
constexpr int64_t kCompareChunk = 1 << 20;

bool IsEncodingByte(unsigned char e, uint8_t version) { return e <= 1 || (version >= 4 && e <= 3); }

bool IsDateId(std::string_view id) {
  return id == "TDRC" || id == "TDOR" || id == "TYER" || id == "TORY" || id == "TYE" || id == "TOR";
}
bool IsNumberPairId(std::string_view id) {
  return id == "TRCK" || id == "TRK" || id == "TPOS" || id == "TPA";
}

// A track or disc text as the read leaves it: split at "/", each part a number or "0", a total
// only beside exactly one number.
std::u16string CleanedNumbers(std::u16string_view text) {
  std::vector<std::u16string> parts;
  for (size_t start = 0;;) {
    const size_t slash = text.find(u'/', start);
    parts.emplace_back(text.substr(start, slash - start));
    if (slash == std::u16string_view::npos) break;
    start = slash + 1;
  }
  const std::u16string number = CleanNumber(parts[0]);
  const std::u16string total = parts.size() == 2 ? CleanNumber(parts[1]) : std::u16string();
  if (number.empty()) return {};
  return total.empty() ? number : number + u"/" + total;
}

// Whether writing a frame from its field would lose text it holds: what follows an embedded NUL,
// a date beyond its year, a track or disc text the read's number cleaning shortened. A frame
// that would only change its form (its encoding, a trailing NUL, the genre's number) loses none.
bool LosesText(std::string_view id, const std::u16string& whole) {
  const size_t nul = whole.find(u'\0');
  if (nul != std::u16string::npos && whole.find_first_not_of(u'\0', nul) != std::u16string::npos)
    return true;
  const std::u16string text = whole.substr(0, nul);
  if (IsDateId(id)) return YearPart(text) != text;
  if (IsNumberPairId(id)) return !text.empty() && CleanedNumbers(text) != text;
  return false;
}

}  // namespace

bool clsID3::TagRewrite::ReadOldTag() {
  if (!file_.Open(tag_.file_name_, error_)) return false;
  std::string header;
  if (!file_.Read(0, Id3v2::kHeaderSize, header, error_)) return false;
  if (Id3v2::IsValidHeader(header)) {
    const auto version = static_cast<uint8_t>(header[3]);
    layout_.version = version;
    const Id3v2::HeaderFlags flags = Id3v2::ParseHeaderFlags(header, version);
    const auto size =
        static_cast<int64_t>(Id3v2::DecodeNumber(std::string_view(header).substr(6, 4), true));
    audio_start_ = size + 11 + (flags.footer ? 10 : 0);
    if (!flags.compressed) {
      if (size > file_.Size() - static_cast<int64_t>(Id3v2::kHeaderSize)) {
        error_ = "the ID3v2 tag of '" + tag_.file_name_ + "' runs past the end of the file";
        return false;
      }
      data_start_ = static_cast<int64_t>(Id3v2::kHeaderSize);
      data_size_ = size;
      if (flags.unsynchronised && version < 4) {
        if (!file_.Read(data_start_, size, held_, error_)) return false;
        held_ = Id3v2::Deunsynchronise(held_);
        whole_ = true;
        data_size_ = static_cast<int64_t>(held_.size());
      }
      if (flags.extended) {
        std::string_view first;
        if (!OldBytes(1, 4, first)) return false;
        const uint64_t extended = Id3v2::DecodeNumber(first, version >= 4);
        const auto drop = static_cast<int64_t>(
            std::min<uint64_t>(version >= 4 ? extended : extended + 4, data_size_));
        if (whole_) held_.erase(0, static_cast<size_t>(drop));
        data_start_ += drop;
        data_size_ -= drop;
        window_.clear();
      }
    }
  }
  ChooseManagedIds();
  return true;
}

void clsID3::TagRewrite::ChooseManagedIds() {
  const uint8_t version = layout_.version;
  managed_ = version <= 2 ? ID3v22FrameIds() : ID3v2FrameIds();
  if (version >= 4) {
    std::replace(managed_.begin(), managed_.end(), std::string("TORY"), std::string("TDOR"));
    std::replace(managed_.begin(), managed_.end(), std::string("TYER"), std::string("TDRC"));
  }
  pending_.assign(managed_.size(), true);
}

std::optional<size_t> clsID3::TagRewrite::ManagedIndex(std::string_view id) const {
  const auto found = std::find(managed_.begin(), managed_.end(), id);
  if (found == managed_.end()) return std::nullopt;
  return static_cast<size_t>(found - managed_.begin());
}

clsID3::TagRewrite::ListCursor& clsID3::TagRewrite::Cursor(FrameList list) {
  switch (list) {
    case FrameList::kCommercialInfo:
      return commercial_info_;
    case FrameList::kArtistUrl:
      return artist_url_;
    case FrameList::kAttachedPictures:
      break;
  }
  return attached_pictures_;
}

// The old tag data's bytes [p, p + count) that it has (1-based), valid until the next call.
bool clsID3::TagRewrite::OldBytes(int64_t p, int64_t count, std::string_view& out) {
  const int64_t first = std::max<int64_t>(p, 1);
  const int64_t last = std::min(data_size_, p - 1 + count);
  out = {};
  if (last < first) return true;
  const auto length = static_cast<size_t>(last - first + 1);
  if (whole_) {
    out = std::string_view(held_).substr(static_cast<size_t>(first - 1), length);
    return true;
  }
  if (first < window_at_ || last >= window_at_ + static_cast<int64_t>(window_.size())) {
    const int64_t want = std::min(data_size_ - first + 1, std::max<int64_t>(length, kWindow));
    window_at_ = first;
    if (!file_.Read(data_start_ + first - 1, want, window_, error_)) {
      window_.clear();
      return false;
    }
  }
  out = std::string_view(window_).substr(static_cast<size_t>(first - window_at_), length);
  return true;
}

bool clsID3::TagRewrite::FrameBytes(const OldFrame& frame, std::string& out) {
  if (whole_) {
    out.assign(held_, static_cast<size_t>(frame.at - 1), static_cast<size_t>(frame.total));
    return true;
  }
  // A small frame is most likely in the window already; a large one is read once, into place.
  if (frame.total > kWindow)
    return file_.Read(data_start_ + frame.at - 1, frame.total, out, error_);
  std::string_view bytes;
  if (!OldBytes(frame.at, frame.total, bytes)) return false;
  out.assign(bytes);
  return true;
}

// Whether an encoder's signature stands at p; its digits may run on, and then the rest of the
// tag is looked at, as the reader does.
bool clsID3::TagRewrite::SignatureAt(int64_t p, bool& found) {
  const int64_t rest = data_size_ - p + 1;
  std::string_view look;
  if (!OldBytes(p, std::min(rest, kLook), look)) return false;
  if (static_cast<int64_t>(look.size()) < rest) {
    static constexpr std::string_view kAlphabet("\0MP3ext V0123456789.", 20);
    size_t q = 0;
    while (q < look.size() && kAlphabet.find(look[q]) != std::string_view::npos) ++q;
    if (q + 16 >= look.size() && !OldBytes(p, rest, look)) return false;
  }
  found = Id3v2::IsMp3extSignature(look, 1);
  return true;
}

// The frames the reader sees, up to the padding; the padding after them is measured so the new
// tag can keep its size.
bool clsID3::TagRewrite::ListOldFrames(std::vector<OldFrame>& frames) {
  const int id_length = layout_.id_length();
  const int64_t end = data_size_;
  int64_t p = 1;
  while (p <= end) {
    std::string_view head;
    if (!OldBytes(p, layout_.header_length(), head)) return false;
    const std::string id(head.substr(0, static_cast<size_t>(id_length)));
    if (id.size() == static_cast<size_t>(id_length) &&
        id.find_first_not_of('\0') == std::string::npos)
      break;  // padding
    const std::string header(head);
    bool signature = false;
    if (!SignatureAt(p, signature)) return false;
    if (signature) break;
    const Id3v2::FrameSize size = Id3v2::FrameTotalSize(header, 1, layout_.version);
    const int64_t rest = end - p + 1;
    if (!size.failed && size.total > rest && rest <= kLook) {
      std::string_view tail;
      if (!OldBytes(p, rest, tail)) return false;
      if (tail.find_first_not_of('\0') == std::string_view::npos)
        break;  // a few NUL bytes too short for a frame header: padding as well
    }
    if (size.failed || size.total > rest) {
      // Cutting the tag here would zero every frame after this one.
      error_ = "the ID3v2 tag of '" + tag_.file_name_ +
               "' is damaged (a frame size that cannot be right)";
      return false;
    }
    frames.push_back(OldFrame{id, p, size.total, header, ManagedIndex(id)});
    p += size.total;
  }
  padding_ = p <= end ? end - p + 1 : 0;
  return true;
}

// Each old frame is kept, rewritten from its field or dropped.
bool clsID3::TagRewrite::WalkOldFrames() {
  std::vector<OldFrame> frames;
  if (!ListOldFrames(frames)) return false;
  std::map<std::string, int> id_count;
  for (const OldFrame& frame : frames) ++id_count[frame.id];
  for (const OldFrame& frame : frames) {
    bool ok = true;
    if (!frame.managed) {
      ok = KeepOld(frame);
    } else if (IsLanguageId(frame.id)) {
      ok = LanguageFrame(frame);
    } else if (const auto list = ListOf(frame.id)) {
      ok = ListFrame(frame, *list);
    } else {
      ok = SingleFrame(frame, id_count[frame.id]);
    }
    if (!ok) return false;
  }
  return true;
}

// The reader takes a comment or lyrics only from a frame without description, and only the
// first: frames with one stay, later ones without one go.
bool clsID3::TagRewrite::LanguageFrame(const OldFrame& frame) {
  std::string bytes;
  if (!FrameBytes(frame, bytes)) return false;
  const auto text = Id3v2::ExtractFrameText(bytes, 1, true, true, layout_.version);
  if (text.has_description) return KeepOld(frame);
  if (!pending_[*frame.managed]) return true;
  pending_[*frame.managed] = false;
  if (IsOpaque(frame.head, layout_) && UnchangedSinceRead(frame.id)) {
    PutOld(frame.at, frame.total);
    return true;
  }
  return Rewrite(frame.id, tag_.FrameValueFor(frame.id, 0));
}

// Old frames of a list take its items in order; frames beyond its last item go.
bool clsID3::TagRewrite::ListFrame(const OldFrame& frame, FrameList list) {
  ListCursor& cursor = Cursor(list);
  const int32_t item = cursor.next;
  if (item > cursor.Count()) return true;
  if (item == cursor.Count()) pending_[*frame.managed] = false;
  ++cursor.next;
  if (IsPictureId(frame.id)) return PictureFrame(frame, *cursor.items, item);
  std::string bytes;
  if (!FrameBytes(frame, bytes)) return false;
  const std::u16string value = tag_.FrameValueFor(frame.id, item);
  if (IsOpaque(frame.head, layout_) &&
      Id3v2::ExtractFrameText(bytes, 1, false, true, layout_.version).value == value) {
    PutOld(frame.at, frame.total);
    return true;
  }
  return Rewrite(frame.id, value);
}

// A picture whose entry is unchanged is copied from the old file, not rebuilt. One the reader
// kept in another form than it is stored (another encoding, an empty MIME type whose terminator
// the reader drops) cannot be rebuilt from its entry, and stays as it is.
bool clsID3::TagRewrite::PictureFrame(const OldFrame& frame, const MultiFrameData& list,
                                      int32_t item) {
  const bool opaque = IsOpaque(frame.head, layout_);
  const auto format = layout_.version >= 3 ? static_cast<unsigned char>(frame.head[9]) : 0;
  if (opaque || (layout_.version >= 4 && (format & 0x02))) {
    // Only whole can such a frame be compared with its entry: its entry does not start where
    // its body does.
    std::string bytes;
    if (!FrameBytes(frame, bytes)) return false;
    const std::u16string own =
        Id3v2::ExtractFrameText(bytes, 1, false, false, layout_.version).value;
    const bool reshaped =
        FrameBody(bytes, layout_) != std::string(1, '\0') + CodePage::TextToBytes(own);
    if ((opaque || reshaped) && own == list.Item(item)) {
      PutOld(frame.at, frame.total);
      return true;
    }
    return RewritePicture(frame.id, list, item);
  }
  const int64_t body_at = frame.at + layout_.header_length();
  const int64_t body_size = frame.total - layout_.header_length();
  std::string_view first;
  if (!OldBytes(body_at, 2, first)) return false;
  const std::string start(first);
  int64_t entry_at = body_at, entry_size = body_size;
  if (!start.empty() && IsEncodingByte(static_cast<unsigned char>(start[0]), layout_.version)) {
    ++entry_at;
    --entry_size;
  }
  std::string_view lead;
  if (entry_size > 0 && !OldBytes(entry_at, 1, lead)) return false;
  if (entry_size > 0 && lead[0] == '\0') {
    ++entry_at;
    --entry_size;
  }
  const bool reshaped =
      !(!start.empty() && start[0] == '\0' && (start.size() == 1 || start[1] != '\0'));
  bool same = false;
  if (!EntryMatches(list, item, entry_at, entry_size, same)) return false;
  if (!same) return RewritePicture(frame.id, list, item);
  if (opaque || reshaped) {
    PutOld(frame.at, frame.total);
  } else if (entry_size > 0) {
    // Rebuilt, the frame would have the same body: only its header is written anew.
    Put(FrameHeader(layout_, frame.id, static_cast<uint64_t>(body_size)));
    PutOld(body_at, body_size);
  }
  return true;
}

// Whether the list's entry holds exactly the bytes [at, at + count) of the old tag data.
bool clsID3::TagRewrite::EntryMatches(const MultiFrameData& list, int32_t item, int64_t at,
                                      int64_t count, bool& same) {
  const auto held = list.HeldBytes(item);
  const std::u16string* text = held ? nullptr : &list.Item(item);
  same = static_cast<int64_t>(held ? held->size() : text->size()) == count;
  for (int64_t done = 0; same && done < count; done += kCompareChunk) {
    std::string_view old;
    if (!OldBytes(at + done, std::min(kCompareChunk, count - done), old)) return false;
    const auto from = static_cast<size_t>(done);
    if (held) {
      same = held->substr(from, old.size()) == old;
    } else {
      for (size_t k = 0; same && k < old.size(); ++k)
        same = CodePage::ByteToChar(static_cast<unsigned char>(old[k])) == (*text)[from + k];
    }
  }
  return true;
}

bool clsID3::TagRewrite::SingleFrame(const OldFrame& frame, int same_id_frames) {
  if (!pending_[*frame.managed]) return true;  // a second frame would hide the first on reading
  pending_[*frame.managed] = false;
  // A field the user left alone keeps a frame whose text its value cannot hold (a full date, a
  // track text such as "7 of 15", a second value after a NUL); with a second frame of the ID the
  // read value was not this frame's, and the rewrite stands.
  if (same_id_frames == 1) {
    std::string bytes;
    if (!FrameBytes(frame, bytes)) return false;
    if ((IsOpaque(bytes, layout_) ||
         LosesText(frame.id, Id3v2::WholeFrameText(bytes, 1, layout_.version))) &&
        UnchangedSinceRead(frame.id)) {
      PutOld(frame.at, frame.total);
      return true;
    }
  }
  return Rewrite(frame.id, tag_.FrameValueFor(frame.id, 0));
}

// Read again only when a frame needs to know: most writes never ask.
bool clsID3::TagRewrite::UnchangedSinceRead(std::string_view id) {
  if (!as_read_) {
    as_read_ = std::make_unique<clsID3>();
    as_read_->SetFileName(tag_.file_name_);
  }
  return as_read_->FrameValueFor(id, 0) == tag_.FrameValueFor(id, 0);
}

bool clsID3::TagRewrite::Rewrite(std::string_view id, std::u16string_view value) {
  if (value.empty()) return true;  // an empty value deletes the frame
  return Built(id, WriteFrame(layout_, id, value));
}

bool clsID3::TagRewrite::RewritePicture(std::string_view id, const MultiFrameData& list,
                                        int32_t item) {
  // A picture not yet widened to text is written from its bytes.
  if (const auto held = list.HeldBytes(item))
    return Built(id, WritePictureFrame(layout_, id, *held));
  return Rewrite(id, list.Item(item));
}

bool clsID3::TagRewrite::Built(std::string_view id, std::optional<std::string> frame) {
  if (!frame) {
    error_ = "the " + std::string(id) + " frame is too large for an ID3v2." +
             std::to_string(std::max<int>(2, std::min<int>(layout_.version, 4))) + " tag";
    return false;
  }
  Put(std::move(*frame));
  return true;
}

// A frame kept: unchanged, but a v2.4 frame's own unsynchronisation undone, since the new tag
// is written without it.
bool clsID3::TagRewrite::KeepOld(const OldFrame& frame) {
  if (layout_.version < 4 || frame.head.size() < 10 ||
      !(static_cast<unsigned char>(frame.head[9]) & 0x02)) {
    PutOld(frame.at, frame.total);
    return true;
  }
  std::string bytes;
  if (!FrameBytes(frame, bytes)) return false;
  Put(KeepFrame(bytes, layout_));
  return true;
}

void clsID3::TagRewrite::Put(std::string bytes) {
  if (bytes.empty()) return;
  frames_size_ += static_cast<int64_t>(bytes.size());
  constexpr size_t kJoin = 64 * 1024;  // small frames share a piece; a large one has its own
  if (bytes.size() < kJoin && !frames_.empty() && frames_.back().count == 0 &&
      frames_.back().bytes.size() < kJoin) {
    frames_.back().bytes += bytes;
    return;
  }
  frames_.emplace_back();
  frames_.back().bytes = std::move(bytes);
}

void clsID3::TagRewrite::PutOld(int64_t at, int64_t count) {
  if (count <= 0) return;
  if (whole_) {
    Put(held_.substr(static_cast<size_t>(at - 1), static_cast<size_t>(count)));
    return;
  }
  frames_size_ += count;
  const int64_t offset = data_start_ + at - 1;
  if (!frames_.empty() && frames_.back().count > 0 &&
      frames_.back().offset + frames_.back().count == offset) {
    frames_.back().count += count;
    return;
  }
  frames_.emplace_back();
  frames_.back().offset = offset;
  frames_.back().count = count;
}

bool clsID3::TagRewrite::AppendNewFrames() {
  for (size_t i = 0; i < managed_.size(); ++i) {
    if (!pending_[i]) continue;
    const std::string& id = managed_[i];
    if (const auto list = ListOf(id)) {
      const ListCursor& cursor = Cursor(*list);
      for (int32_t item = cursor.next; item <= cursor.Count(); ++item) {
        const bool ok = IsPictureId(id) ? RewritePicture(id, *cursor.items, item)
                                        : Rewrite(id, tag_.FrameValueFor(id, item));
        if (!ok) return false;
      }
    } else if (!Rewrite(id, tag_.FrameValueFor(id, 0))) {
      return false;
    }
  }
  return true;
}

bool clsID3::TagRewrite::Commit() {
  const int64_t padding = padding_ > 0 ? padding_ : kDefaultPadding;
  const int64_t size = frames_size_ + padding;
  if (size > kTagSizeLimit) {
    error_ = "the new ID3v2 tag would exceed the 256 MB an ID3v2 tag can hold";
    return false;
  }

  int64_t audio_end = 0;
  if (!OldAudioEnd(file_, audio_end, error_)) return false;

  std::vector<FileRewrite::Piece> pieces(1);
  pieces[0].bytes = std::string("ID3") + static_cast<char>(layout_.version) + std::string(2, '\0') +
                    EncodeNumber(static_cast<uint64_t>(size), 4, true);
  for (FileRewrite::Piece& piece : frames_) pieces.push_back(std::move(piece));
  pieces.emplace_back().zeros = padding;
  FileRewrite::Piece& audio = pieces.emplace_back();
  audio.offset = audio_start_ - 1;
  audio.count = std::max<int64_t>(0, audio_end - audio_start_ + 1);
  FileRewrite::Piece& tail = pieces.emplace_back();
  tail.bytes = tag_.Lyrics3Block();
  if (tag_.NeedsId3v1Block()) tail.bytes += tag_.Id3v1Block();
  return file_.Commit(pieces, error_);
}
