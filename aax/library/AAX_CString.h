#pragma once

#include <cstdint>
#include <string>

#include "aax/interfaces/AAX_IString.h"

/** An owned UTF-8 text that can be handed to the host wherever it expects a string object. */
class AAX_CString final : public AAX_IString {
 public:
  /** Longest text kept; longer texts are cut at a character boundary. */
  static constexpr uint32_t kMaxLength = 65535;

  AAX_CString() = default;
  AAX_CString(const char* text);         // NOLINT(google-explicit-constructor)
  AAX_CString(const std::string& text);  // NOLINT(google-explicit-constructor)
  explicit AAX_CString(const AAX_IString& other);
  AAX_CString(const AAX_CString& other) = default;
  AAX_CString(AAX_CString&& other) noexcept = default;
  AAX_CString& operator=(const AAX_CString& other) = default;
  AAX_CString& operator=(AAX_CString&& other) noexcept = default;
  AAX_CString& operator=(const char* text);
  ~AAX_CString() = default;

  uint32_t Length() const noexcept override { return static_cast<uint32_t>(mText.size()); }
  uint32_t MaxLength() const noexcept override { return kMaxLength; }
  const char* Get() const noexcept override { return mText.c_str(); }
  void Set(const char* text) noexcept override;
  void Assign(const AAX_IString* other) noexcept override;

  const std::string& StdString() const noexcept { return mText; }
  const char* CString() const noexcept { return mText.c_str(); }
  bool Empty() const noexcept { return mText.empty(); }
  void Clear() noexcept { mText.clear(); }
  AAX_CString& Append(const AAX_CString& text);
  AAX_CString& Append(const char* text);
  /** Keeps the first length bytes. */
  void Truncate(uint32_t length);
  bool EndsWith(const AAX_CString& suffix) const noexcept;

  friend bool operator==(const AAX_CString& a, const AAX_CString& b) noexcept {
    return a.mText == b.mText;
  }
  friend bool operator!=(const AAX_CString& a, const AAX_CString& b) noexcept {
    return a.mText != b.mText;
  }
  friend bool operator<(const AAX_CString& a, const AAX_CString& b) noexcept {
    return a.mText < b.mText;
  }

 private:
  std::string mText;
};

/** Fills a host string; nothing when out is null. */
inline void AAX_SetString(AAX_IString* out, const char* text) noexcept {
  if (out) out->Set(text);
}
