#include "aax/library/AAX_CString.h"

#include <cstring>

namespace {

// Cutting inside a multi-byte character would leave invalid UTF-8 for the host.
size_t CutAtCharacter(const char* text, size_t length, size_t limit) {
  if (length <= limit) return length;
  size_t cut = limit;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return cut;
}

}  // namespace

AAX_CString::AAX_CString(const char* text) {
  Set(text);
}

AAX_CString::AAX_CString(const std::string& text) {
  Set(text.c_str());
}

AAX_CString::AAX_CString(const AAX_IString& other) {
  Set(other.Get());
}

AAX_CString& AAX_CString::operator=(const char* text) {
  Set(text);
  return *this;
}

void AAX_CString::Set(const char* text) noexcept {
  try {
    if (!text) {
      mText.clear();
      return;
    }
    const size_t length = std::strlen(text);
    mText.assign(text, CutAtCharacter(text, length, kMaxLength));
  } catch (...) {
    // Out of memory: an empty text is the only state that needs nothing.
    mText.clear();
  }
}

void AAX_CString::Assign(const AAX_IString* other) noexcept {
  if (other && other != this) Set(other->Get());
}

AAX_CString& AAX_CString::Append(const AAX_CString& text) {
  return Append(text.CString());
}

AAX_CString& AAX_CString::Append(const char* text) {
  if (text) {
    mText += text;
    mText.resize(CutAtCharacter(mText.c_str(), mText.size(), kMaxLength));
  }
  return *this;
}

void AAX_CString::Truncate(uint32_t length) {
  if (length < mText.size()) mText.resize(length);
}

bool AAX_CString::EndsWith(const AAX_CString& suffix) const noexcept {
  return suffix.mText.size() <= mText.size() &&
         mText.compare(mText.size() - suffix.mText.size(), suffix.mText.size(), suffix.mText) == 0;
}
