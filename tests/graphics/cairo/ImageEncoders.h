#pragma once

// Small PNG and JPEG files made in memory with libpng and libjpeg, in the layouts the decoder
// has to cope with.
#include <cstdint>
#include <vector>

namespace image_test {

struct PngSpec {
  PngSpec(int width_, int height_, int colorType_, int bitDepth_, bool interlaced_ = false)
      : width(width_),
        height(height_),
        colorType(colorType_),
        bitDepth(bitDepth_),
        interlaced(interlaced_) {}

  int width = 0;
  int height = 0;
  int colorType = 0;  // PNG_COLOR_TYPE_*
  int bitDepth = 8;
  bool interlaced = false;
  std::vector<uint8_t> palette;  // RGB triples
  std::vector<uint8_t> paletteAlpha;
  int transparentGray = -1;   // tRNS for gray images
  std::vector<uint8_t> rows;  // packed as the colour type and bit depth say, no filter bytes
};

std::vector<uint8_t> EncodePng(const PngSpec& spec);

/** An RGB (3 components) or gray (1) JPEG. */
std::vector<uint8_t> EncodeJpeg(int width, int height, int components,
                                const std::vector<uint8_t>& pixels, int quality);

}  // namespace image_test
