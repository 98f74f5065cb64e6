#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace iplug::igraphics {

/**
 * What the framework needs to know about one face of a TrueType/OpenType font (or collection)
 * held in memory: where its tables are, its names and its vertical metrics. It points into the
 * caller's bytes and copies only the two names, so the bytes must outlive it.
 */
class IFontTableInfo {
 public:
  IFontTableInfo() = default;
  /** Reads face faceIdx; anything unreadable leaves the info unusable (IsValid false). */
  IFontTableInfo(const void* data, size_t size, int faceIdx);

  bool IsValid() const { return mDirectory != nullptr; }
  /** Start of the face's table directory inside the font bytes. */
  const uint8_t* Directory() const { return mDirectory; }
  /** Byte offsets from the start of the font bytes; 0 when the table is absent. */
  uint32_t HeadOffset() const { return mHead; }
  uint32_t NameOffset() const { return mName; }
  uint32_t HheaOffset() const { return mHhea; }
  uint32_t FdscOffset() const { return mFdsc; }

  const std::string& Family() const { return mFamily; }
  const std::string& Style() const { return mStyle; }
  uint16_t MacStyle() const { return mMacStyle; }
  bool IsBold() const { return mMacStyle & 0x1; }
  bool IsItalic() const { return mMacStyle & 0x2; }
  bool IsUnderline() const { return mMacStyle & 0x4; }
  uint16_t UnitsPerEM() const { return mUnitsPerEM; }
  int16_t Ascender() const { return mAscender; }
  int16_t Descender() const { return mDescender; }
  int16_t LineGap() const { return mLineGap; }

 private:
  uint32_t FindTable(const char* tag) const;
  std::string ReadName(uint16_t nameID) const;

  const uint8_t* mData = nullptr;
  size_t mSize = 0;
  const uint8_t* mDirectory = nullptr;
  uint32_t mHead = 0;
  uint32_t mName = 0;
  uint32_t mHhea = 0;
  uint32_t mFdsc = 0;
  std::string mFamily;
  std::string mStyle;
  uint16_t mMacStyle = 0;
  uint16_t mUnitsPerEM = 0;
  int16_t mAscender = 0;
  int16_t mDescender = 0;
  int16_t mLineGap = 0;
};

/** Font bytes with the table info of one of their faces. Movable, not copyable: the info
 * points into the bytes. */
class IFontBlob {
 public:
  IFontBlob() = default;
  IFontBlob(std::vector<uint8_t> bytes, int faceIdx);
  IFontBlob(IFontBlob&&) = default;
  IFontBlob& operator=(IFontBlob&&) = default;
  IFontBlob(const IFontBlob&) = delete;
  IFontBlob& operator=(const IFontBlob&) = delete;

  const std::vector<uint8_t>& Bytes() const { return mBytes; }
  const IFontTableInfo& Info() const { return mInfo; }
  /** -1 when unknown. */
  int FaceIdx() const { return mFaceIdx; }

 private:
  std::vector<uint8_t> mBytes;
  IFontTableInfo mInfo;
  int mFaceIdx = -1;
};

/** The platform's handle to a loaded font. */
class PlatformFont {
 public:
  PlatformFont() = default;
  virtual ~PlatformFont() = default;
  PlatformFont(const PlatformFont&) = delete;
  PlatformFont& operator=(const PlatformFont&) = delete;

  /** The native font handle, or null. */
  virtual void* GetDescriptor() const { return nullptr; }
  /** The font's bytes; without them, an empty blob with face index -1. */
  virtual IFontBlob GetFontBlob() const { return IFontBlob(); }
};

/** A font loaded from bytes (a file's or a resource's), which it keeps. */
class MemoryFont : public PlatformFont {
 public:
  MemoryFont(const void* data, int size);

  /** The bytes as face 0; empty when they are not a usable font. */
  IFontBlob GetFontBlob() const override;
  bool IsUsable() const;

 private:
  std::vector<uint8_t> mBytes;
};

}  // namespace iplug::igraphics
