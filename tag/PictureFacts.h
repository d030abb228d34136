#pragma once

#include <cstdint>
#include <string>
#include <vector>

class MultiFrameData;

/// What a kept read holds of its pictures in place of their bytes: each frame's type, format
/// and size, and the front cover as the library report measures it.
struct PictureFacts {
  struct Frame {
    uint8_t type = 0;
    std::string format;  ///< the MIME type (APIC) or the three-letter format (PIC)
    int64_t bytes = 0;   ///< of the image
  };
  std::vector<Frame> frames;
  int32_t cover_width = 0;  ///< 0 when the image format is not known
  int32_t cover_height = 0;
  uint64_t cover_hash = 0;
};

/// Measures the pictures a read holds; given by the layer that knows images and hashes.
using PictureMeasure = PictureFacts (*)(const MultiFrameData& pictures);
