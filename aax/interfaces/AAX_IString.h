#pragma once

#include <cstdint>

/**
 * A text crossing between host and plug-in. The side that asks for a text passes its own string
 * object and the other side fills it through Set; texts are UTF-8 and zero-terminated. Get stays
 * valid until the next change of the object.
 */
class AAX_IString {
 public:
  /** Bytes of text, without the terminating zero. */
  virtual uint32_t Length() const noexcept = 0;
  /** Longest text the object keeps; Set cuts longer texts. */
  virtual uint32_t MaxLength() const noexcept = 0;
  virtual const char* Get() const noexcept = 0;
  /** A null text sets the empty text. */
  virtual void Set(const char* text) noexcept = 0;
  /** Copies the text of other (nothing when other is null). */
  virtual void Assign(const AAX_IString* other) noexcept = 0;

 protected:
  ~AAX_IString() = default;
};
