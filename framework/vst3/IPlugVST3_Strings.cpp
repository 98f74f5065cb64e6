#include "framework/vst3/IPlugVST3_Strings.h"

namespace iplug {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

/** The next code point of UTF-8 text from i (advanced past it). */
char32_t NextCodePoint(const std::string& text, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  int extra = 0;
  char32_t cp = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3;
    cp = lead & 0x07;
  } else {
    return kReplacement;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (byte(i) & 0xC0) != 0x80) return kReplacement;
    cp = (cp << 6) | (byte(i++) & 0x3F);
  }
  // Overlong forms, surrogates and values beyond Unicode are not characters.
  static constexpr char32_t kLeast[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kLeast[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return kReplacement;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

void CopyToUtf16(const std::string& text, int16_t* out, size_t size) {
  if (!out || size == 0) return;
  size_t n = 0;
  for (size_t i = 0; i < text.size();) {
    const char32_t cp = NextCodePoint(text, i);
    const size_t units = cp >= 0x10000 ? 2 : 1;
    if (n + units > size - 1) break;
    if (units == 2) {
      out[n++] = static_cast<int16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out[n++] = static_cast<int16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out[n++] = static_cast<int16_t>(cp);
    }
  }
  out[n] = 0;
}

std::string FromUtf16(const int16_t* text, size_t size) {
  std::string out;
  if (!text) return out;
  for (size_t i = 0; i < size && text[i] != 0; ++i) {
    const auto unit = static_cast<char16_t>(text[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < size) {
      const auto low = static_cast<char16_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(out, unit >= 0xD800 && unit <= 0xDFFF ? kReplacement : unit);
  }
  return out;
}

}  // namespace iplug
