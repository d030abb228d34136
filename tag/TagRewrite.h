#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tag/FrameWriter.h"
#include "tag/MultiFrameData.h"
#include "tag/TagFileSystem.h"
#include "tag/clsID3.h"

// One rewrite of the file's tags, in the order it must happen: the old tag read in its own
// version, its frames walked, the fields no frame carried appended, the new file committed.
// What stays as it was goes to the new file as byte ranges of the old one, so memory holds only
// the frames built anew.
class clsID3::TagRewrite {
 public:
  TagRewrite(clsID3& tag, std::string& error)
      : tag_(tag),
        error_(error),
        file_(tag.FileSystem()),
        commercial_info_{tag.fields_.CommercialInfo},
        artist_url_{tag.fields_.ArtistURL},
        attached_pictures_{tag.fields_.AttachedPictures} {}

  bool ReadOldTag();
  bool WalkOldFrames();
  bool AppendNewFrames();
  bool Commit();
  uint8_t Version() const { return layout_.version; }

 private:
  // A list and the 1-based item its next frame takes.
  struct ListCursor {
    std::shared_ptr<MultiFrameData> items;
    int32_t next = 1;
    int32_t Count() const { return items ? items->Count() : 0; }
  };
  // A frame of the old tag: its 1-based position in the old tag data, its length and header.
  struct OldFrame {
    std::string id;
    int64_t at = 0;
    int64_t total = 0;
    std::string head;               // the frame header
    std::optional<size_t> managed;  // its ID's place in managed_
  };

  void ChooseManagedIds();
  std::optional<size_t> ManagedIndex(std::string_view id) const;
  ListCursor& Cursor(FrameWriter::FrameList list);
  bool OldBytes(int64_t p, int64_t count, std::string_view& out);
  bool FrameBytes(const OldFrame& frame, std::string& out);
  bool SignatureAt(int64_t p, bool& found);
  bool ListOldFrames(std::vector<OldFrame>& frames);
  bool LanguageFrame(const OldFrame& frame);
  bool ListFrame(const OldFrame& frame, FrameWriter::FrameList list);
  bool PictureFrame(const OldFrame& frame, const MultiFrameData& list, int32_t item);
  bool EntryMatches(const MultiFrameData& list, int32_t item, int64_t at, int64_t count,
                    bool& same);
  bool SingleFrame(const OldFrame& frame, int same_id_frames);
  bool UnchangedSinceRead(std::string_view id);
  bool Rewrite(std::string_view id, std::u16string_view value);
  bool RewritePicture(std::string_view id, const MultiFrameData& list, int32_t item);
  bool Built(std::string_view id, std::optional<std::string> frame);
  bool KeepOld(const OldFrame& frame);
  void Put(std::string bytes);
  void PutOld(int64_t at, int64_t count);

  clsID3& tag_;
  std::string& error_;
  FileRewrite file_;
  FrameWriter::FrameLayout layout_{3};
  int64_t audio_start_ = 1;
  // The old tag data after the header and any extended header: read from the file as the walk
  // asks, or held whole when it had to be undone first (an unsynchronised v2.2 or v2.3 tag).
  int64_t data_start_ = 0;  // 0-based offset in the file
  int64_t data_size_ = 0;
  bool whole_ = false;
  std::string held_;
  std::string window_;
  int64_t window_at_ = 0;             // the 1-based position of window_'s first byte
  std::vector<std::string> managed_;  // the IDs the fields fill, in table order
  std::vector<bool> pending_;         // managed IDs no old frame has carried yet
  ListCursor commercial_info_;
  ListCursor artist_url_;
  ListCursor attached_pictures_;
  std::unique_ptr<clsID3> as_read_;
  std::vector<FileRewrite::Piece> frames_;  // the new tag data but for its padding
  int64_t frames_size_ = 0;
  int64_t padding_ = 0;
};
