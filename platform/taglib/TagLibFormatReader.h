#pragma once

#include "platform/formats/OtherFormatReader.h"

/// The other audio formats through TagLib: FLAC, Ogg Vorbis, Opus, Speex and FLAC, MP4, ASF,
/// WAV, AIFF, WavPack, Monkey's Audio and Musepack; and the APEv2 tag of an MPEG file.
class TagLibFormatReader : public OtherFormatReader {
 public:
  TagLibFormatReader();
  void Read(const std::string& path, OtherFormatRead& out) const override;
  void ReadHead(const std::string& path, std::string_view head, int64_t at, int64_t size,
                timespec modified, OtherFormatRead& out) const override;
  void ReadApe(const std::string& path, OtherFormatRead& out) const override;
  ContainerTest Containers() const override;

 private:
  // The file, once its first bytes named `kind`; out.size is the file's.
  static void ReadKind(const std::string& path, const std::string& kind, int64_t declared,
                       OtherFormatRead& out);
};
