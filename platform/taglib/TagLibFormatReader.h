#pragma once

#include "platform/OtherFormatReader.h"

/// The other audio formats through TagLib: FLAC, Ogg Vorbis, Opus, Speex and FLAC, MP4, ASF,
/// WAV, AIFF, WavPack, Monkey's Audio and Musepack; and the APEv2 tag of an MPEG file.
class TagLibFormatReader : public OtherFormatReader {
 public:
  TagLibFormatReader();
  void Read(const std::string& path, OtherFormatRead& out) const override;
  void ReadApe(const std::string& path, OtherFormatRead& out) const override;
  ContainerTest Containers() const override;
};
