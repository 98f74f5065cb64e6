#include "host/aaxhost/HostObject.h"

#include <algorithm>
#include <cstring>

namespace aaxhost {

void HostString::Set(const char* text) noexcept {
  try {
    if (!text) {
      mText.clear();
      return;
    }
    mText.assign(text, std::min<size_t>(std::strlen(text), kMaxLength));
  } catch (...) {
    mText.clear();
  }
}

std::string FourCCText(uint32_t code) {
  std::string text(4, '?');
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>((code >> (24 - 8 * i)) & 0xFF);
    if (c >= 0x20 && c < 0x7F) text[static_cast<size_t>(i)] = c;
  }
  return text;
}

}  // namespace aaxhost
