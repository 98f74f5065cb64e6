#include "graphics/IFontInfo.h"

#include <cstring>
#include <utility>

namespace iplug::igraphics {

namespace {

// Font files are big-endian throughout. Every read is checked against the buffer, so a
// truncated or hostile file makes a table or name absent instead of reading past the end.
class BigEndianReader {
 public:
  BigEndianReader(const uint8_t* data, size_t size) : mData(data), mSize(size) {}

  bool Has(size_t pos, size_t n) const { return pos <= mSize && n <= mSize - pos; }
  uint16_t U16(size_t pos) const {
    if (!Has(pos, 2)) return 0;
    return static_cast<uint16_t>((mData[pos] << 8) | mData[pos + 1]);
  }
  uint32_t U32(size_t pos) const {
    if (!Has(pos, 4)) return 0;
    return (static_cast<uint32_t>(mData[pos]) << 24) |
           (static_cast<uint32_t>(mData[pos + 1]) << 16) |
           (static_cast<uint32_t>(mData[pos + 2]) << 8) | static_cast<uint32_t>(mData[pos + 3]);
  }
  bool TagIs(size_t pos, const char* tag) const {
    return Has(pos, 4) && std::memcmp(mData + pos, tag, 4) == 0;
  }

 private:
  const uint8_t* mData;
  size_t mSize;
};

void AppendUtf8(std::string& out, uint32_t cp) {
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

std::string Utf16BigEndianToUtf8(const BigEndianReader& in, size_t pos, size_t length) {
  std::string out;
  for (size_t i = 0; i + 1 < length; i += 2) {
    uint32_t cp = in.U16(pos + i);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < length) {
      const uint32_t low = in.U16(pos + i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, cp);
  }
  return out;
}

}  // namespace

IFontTableInfo::IFontTableInfo(const void* data, size_t size, int faceIdx)
    : mData(static_cast<const uint8_t*>(data)), mSize(data ? size : 0) {
  const BigEndianReader in(mData, mSize);
  if (!in.Has(0, 4)) return;

  size_t directory = 0;
  const bool singleFont = (in.U32(0) == 0x00010000u) || in.TagIs(0, "1\0\0\0") ||
                          in.TagIs(0, "OTTO") || in.TagIs(0, "typ1");
  if (singleFont) {
    if (faceIdx != 0) return;
  } else if (in.TagIs(0, "ttcf")) {
    const uint32_t version = in.U32(4);
    if (version != 0x00010000u && version != 0x00020000u) return;
    if (faceIdx < 0 || static_cast<uint32_t>(faceIdx) >= in.U32(8)) return;
    directory = in.U32(12 + 4 * static_cast<size_t>(faceIdx));
  } else {
    return;
  }
  if (!in.Has(directory, 12)) return;
  mDirectory = mData + directory;

  mHead = FindTable("head");
  mName = FindTable("name");
  mHhea = FindTable("hhea");
  mFdsc = FindTable("fdsc");
  if (mHead && mName && mHhea) {
    mUnitsPerEM = in.U16(mHead + 18);
    mMacStyle = in.U16(mHead + 44);
    mFamily = ReadName(1);
    mStyle = ReadName(2);
    mAscender = static_cast<int16_t>(in.U16(mHhea + 4));
    mDescender = static_cast<int16_t>(in.U16(mHhea + 6));
    mLineGap = static_cast<int16_t>(in.U16(mHhea + 8));
  }
}

uint32_t IFontTableInfo::FindTable(const char* tag) const {
  const BigEndianReader in(mData, mSize);
  const size_t directory = static_cast<size_t>(mDirectory - mData);
  const uint16_t nTables = in.U16(directory + 4);
  for (size_t i = 0; i < nTables; ++i) {
    const size_t record = directory + 12 + 16 * i;
    if (!in.Has(record, 16)) break;
    if (in.TagIs(record, tag)) return in.U32(record + 8);
  }
  return 0;
}

std::string IFontTableInfo::ReadName(uint16_t nameID) const {
  const BigEndianReader in(mData, mSize);
  const uint16_t count = in.U16(mName + 2);
  const size_t storage = mName + static_cast<size_t>(in.U16(mName + 4));

  // Returns the string's position and length, or false when no record matches.
  auto find = [&](uint16_t platform, uint16_t encoding, uint16_t language, size_t& pos,
                  size_t& length) {
    for (size_t i = 0; i < count; ++i) {
      const size_t record = mName + 6 + 12 * i;
      if (!in.Has(record, 12)) return false;
      if (in.U16(record) == platform && in.U16(record + 2) == encoding &&
          in.U16(record + 4) == language && in.U16(record + 6) == nameID) {
        length = in.U16(record + 8);
        pos = storage + in.U16(record + 10);
        return in.Has(pos, length);
      }
    }
    return false;
  };

  size_t pos = 0;
  size_t length = 0;
  std::string name;
  if (find(3, 1, 0x0409, pos, length)) name = Utf16BigEndianToUtf8(in, pos, length);
  if (name.empty() && find(1, 0, 0, pos, length))
    name.assign(reinterpret_cast<const char*>(mData + pos), length);
  return name;
}

IFontBlob::IFontBlob(std::vector<uint8_t> bytes, int faceIdx)
    : mBytes(std::move(bytes)), mInfo(mBytes.data(), mBytes.size(), faceIdx), mFaceIdx(faceIdx) {}

MemoryFont::MemoryFont(const void* data, int size) {
  if (data && size > 0) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    mBytes.assign(bytes, bytes + size);
  }
}

IFontBlob MemoryFont::GetFontBlob() const {
  if (!IsUsable()) return IFontBlob();
  return IFontBlob(mBytes, 0);
}

bool MemoryFont::IsUsable() const {
  if (mBytes.empty()) return false;
  const IFontTableInfo info(mBytes.data(), static_cast<int>(mBytes.size()), 0);
  return info.IsValid();
}

}  // namespace iplug::igraphics
