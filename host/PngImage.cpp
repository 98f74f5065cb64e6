#include "host/PngImage.h"

#include <png.h>

#include <cstring>
#include <string>

#include "host/HostError.h"

namespace corvane::host {

std::vector<uint8_t> EncodePng(const aaxhost::OffscreenFrame& frame) {
  if (frame.Empty() || frame.width <= 0 || frame.height <= 0)
    throw HostError(kExitFailure, "there is no frame to write");
  std::vector<uint8_t> rgba(frame.pixels.size() * 4);
  for (size_t i = 0; i < frame.pixels.size(); ++i) {
    const uint32_t argb = frame.pixels[i];
    const uint32_t a = argb >> 24;
    uint8_t* out = rgba.data() + 4 * i;
    for (int c = 0; c < 3; ++c) {
      const uint32_t premultiplied = (argb >> (16 - 8 * c)) & 0xFF;
      // Rounded back to the straight colour; a channel above its alpha is the editor's error
      // and is held at full.
      const uint32_t straight = a == 0 ? 0 : (premultiplied * 255 + a / 2) / a;
      out[c] = static_cast<uint8_t>(straight > 255 ? 255 : straight);
    }
    out[3] = static_cast<uint8_t>(a);
  }

  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(frame.width);
  image.height = static_cast<png_uint_32>(frame.height);
  image.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  const png_int_32 stride = static_cast<png_int_32>(frame.width) * 4;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), stride, nullptr))
    throw HostError(kExitFailure, std::string("cannot encode the PNG image: ") + image.message);
  std::vector<uint8_t> bytes(size);
  if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, rgba.data(), stride, nullptr))
    throw HostError(kExitFailure, std::string("cannot encode the PNG image: ") + image.message);
  bytes.resize(size);
  return bytes;
}

}  // namespace corvane::host
