#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "graphics/IFontInfo.h"

using namespace iplug::igraphics;

namespace {

struct NameRecord {
  uint16_t platform;
  uint16_t encoding;
  uint16_t language;
  uint16_t nameID;
  std::vector<uint8_t> bytes;
};

NameRecord Mac(uint16_t nameID, const std::string& text) {
  return {1, 0, 0, nameID, std::vector<uint8_t>(text.begin(), text.end())};
}

NameRecord Microsoft(uint16_t nameID, const std::u16string& text) {
  NameRecord r{3, 1, 0x0409, nameID, {}};
  for (char16_t c : text) {
    r.bytes.push_back(static_cast<uint8_t>(c >> 8));
    r.bytes.push_back(static_cast<uint8_t>(c & 0xFF));
  }
  return r;
}

void Put16(std::vector<uint8_t>& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}

void Put32(std::vector<uint8_t>& b, uint32_t v) {
  Put16(b, v >> 16);
  Put16(b, v & 0xFFFF);
}

void Set16(std::vector<uint8_t>& b, size_t pos, uint32_t v) {
  b[pos] = static_cast<uint8_t>(v >> 8);
  b[pos + 1] = static_cast<uint8_t>(v);
}

void PutTag(std::vector<uint8_t>& b, const char* tag) {
  b.insert(b.end(), tag, tag + 4);
}

/** Appends one face (table directory, then 'head', 'hhea' and 'name') to the font bytes. */
void AppendFace(std::vector<uint8_t>& font, const char* signature,
                const std::vector<NameRecord>& names, uint16_t macStyle = 0, bool withHhea = true) {
  std::vector<uint8_t> storage;
  for (const NameRecord& r : names) storage.insert(storage.end(), r.bytes.begin(), r.bytes.end());
  const uint32_t nameLength = static_cast<uint32_t>(6 + 12 * names.size() + storage.size());

  const uint32_t nTables = withHhea ? 3 : 2;
  const uint32_t dir = static_cast<uint32_t>(font.size());
  const uint32_t head = dir + 12 + 16 * nTables;
  const uint32_t hhea = head + 54;
  const uint32_t name = hhea + (withHhea ? 36 : 0);

  PutTag(font, signature);
  Put16(font, nTables);
  Put16(font, 0), Put16(font, 0), Put16(font, 0);
  PutTag(font, "head"), Put32(font, 0), Put32(font, head), Put32(font, 54);
  if (withHhea) PutTag(font, "hhea"), Put32(font, 0), Put32(font, hhea), Put32(font, 36);
  PutTag(font, "name"), Put32(font, 0), Put32(font, name), Put32(font, nameLength);

  font.resize(font.size() + 54);
  Set16(font, head + 18, 2048);
  Set16(font, head + 44, macStyle);
  if (withHhea) {
    font.resize(font.size() + 36);
    Set16(font, hhea + 4, 1900);
    Set16(font, hhea + 6, static_cast<uint16_t>(-500));
    Set16(font, hhea + 8, 67);
  }

  Put16(font, 0);
  Put16(font, static_cast<uint32_t>(names.size()));
  Put16(font, static_cast<uint32_t>(6 + 12 * names.size()));
  uint32_t offset = 0;
  for (const NameRecord& r : names) {
    Put16(font, r.platform), Put16(font, r.encoding), Put16(font, r.language);
    Put16(font, r.nameID), Put16(font, static_cast<uint32_t>(r.bytes.size())), Put16(font, offset);
    offset += static_cast<uint32_t>(r.bytes.size());
  }
  font.insert(font.end(), storage.begin(), storage.end());
}

std::vector<uint8_t> SingleFont(const char* signature, const std::vector<NameRecord>& names,
                                uint16_t macStyle = 0) {
  std::vector<uint8_t> font;
  AppendFace(font, signature, names, macStyle);
  return font;
}

std::vector<uint8_t> Collection(uint32_t version) {
  std::vector<uint8_t> font;
  PutTag(font, "ttcf");
  Put32(font, version);
  Put32(font, 2);
  Put32(font, 0), Put32(font, 0);
  for (int face = 0; face < 2; ++face) {
    const uint32_t dir = static_cast<uint32_t>(font.size());
    font[12 + 4 * face + 2] = static_cast<uint8_t>(dir >> 8);
    font[12 + 4 * face + 3] = static_cast<uint8_t>(dir);
    AppendFace(font, "\x00\x01\x00\x00", {Mac(1, face == 0 ? "First" : "Second")});
  }
  return font;
}

IFontTableInfo Read(const std::vector<uint8_t>& bytes, int face) {
  return IFontTableInfo(bytes.data(), bytes.size(), face);
}

}  // namespace

TEST(FontInfo, TrueTypeFaceYieldsNamesMetricsAndStyleBits) {
  const auto font = SingleFont(
      "\x00\x01\x00\x00",
      {Mac(1, "MacName"), Microsoft(1, u"Caf\u00e9 \U0001F600"), Microsoft(2, u"Bold Italic")},
      0x3);
  const IFontTableInfo info = Read(font, 0);
  ASSERT_TRUE(info.IsValid());
  EXPECT_EQ(info.Directory(), font.data());
  EXPECT_EQ(info.Family(), "Caf\xC3\xA9 \xF0\x9F\x98\x80");  // UTF-16 big-endian to UTF-8
  EXPECT_EQ(info.Style(), "Bold Italic");
  EXPECT_EQ(info.UnitsPerEM(), 2048);
  EXPECT_EQ(info.Ascender(), 1900);
  EXPECT_EQ(info.Descender(), -500);
  EXPECT_EQ(info.LineGap(), 67);
  EXPECT_TRUE(info.IsBold());
  EXPECT_TRUE(info.IsItalic());
  EXPECT_FALSE(info.IsUnderline());
  EXPECT_EQ(info.HeadOffset(), 12u + 48u);
  EXPECT_EQ(info.FdscOffset(), 0u);

  EXPECT_FALSE(Read(font, 1).IsValid());  // a single font has only face 0
}

TEST(FontInfo, SingleFontSignaturesAcceptOnlyFaceZero) {
  for (const char* signature : {"OTTO", "typ1", "1\0\0\0"}) {
    const auto font = SingleFont(signature, {Mac(1, "Face")});
    EXPECT_EQ(Read(font, 0).Family(), "Face") << signature;
    EXPECT_FALSE(Read(font, 1).IsValid()) << signature;
  }
  EXPECT_FALSE(Read(SingleFont("wOFF", {Mac(1, "Face")}), 0).IsValid());
}

TEST(FontInfo, CollectionAcceptsFacesBelowItsCountAndKnownVersions) {
  const auto font = Collection(0x00010000);
  EXPECT_EQ(Read(font, 0).Family(), "First");
  EXPECT_EQ(Read(font, 1).Family(), "Second");
  EXPECT_FALSE(Read(font, 2).IsValid());
  EXPECT_FALSE(Read(font, -1).IsValid());
  EXPECT_EQ(Read(Collection(0x00020000), 1).Family(), "Second");
  EXPECT_FALSE(Read(Collection(0x00030000), 0).IsValid());
}

TEST(FontInfo, NamesFallBackToMacintoshRecords) {
  EXPECT_EQ(Read(SingleFont("OTTO", {Mac(1, "OnlyMac"), Mac(2, "Regular")}), 0).Family(),
            "OnlyMac");
  // An empty Microsoft string counts as missing.
  EXPECT_EQ(Read(SingleFont("OTTO", {Microsoft(1, u""), Mac(1, "Fallback")}), 0).Family(),
            "Fallback");
  // The Microsoft record must be US English.
  NameRecord german = Microsoft(1, u"Deutsch");
  german.language = 0x0407;
  EXPECT_EQ(Read(SingleFont("OTTO", {german}), 0).Family(), "");
}

TEST(FontInfo, DamagedOrIncompleteDataReadsNothing) {
  std::vector<uint8_t> noHhea;
  AppendFace(noHhea, "OTTO", {Mac(1, "Face")}, 1, false);
  const IFontTableInfo partial = Read(noHhea, 0);
  EXPECT_TRUE(partial.IsValid());  // the tables exist, but not all three needed ones
  EXPECT_EQ(partial.Family(), "");
  EXPECT_EQ(partial.UnitsPerEM(), 0);

  auto font = SingleFont("OTTO", {Mac(1, "Face")});
  for (size_t size : {size_t{0}, size_t{3}, size_t{11}, font.size() - 1}) {
    const IFontTableInfo cut(font.data(), size, 0);  // must not read past the end
    EXPECT_EQ(cut.Family(), "") << size;
  }
  EXPECT_FALSE(IFontTableInfo(nullptr, 100, 0).IsValid());
}

TEST(FontInfo, BlobKeepsItsInfoWhenMovedAndPlatformDefaultIsEmpty) {
  IFontBlob blob(SingleFont("OTTO", {Mac(1, "Moved")}), 0);
  const IFontBlob moved(std::move(blob));
  EXPECT_EQ(moved.Info().Family(), "Moved");
  EXPECT_EQ(moved.Info().Directory(), moved.Bytes().data());
  EXPECT_EQ(moved.FaceIdx(), 0);

  const PlatformFont font;
  const IFontBlob none = font.GetFontBlob();
  EXPECT_TRUE(none.Bytes().empty());
  EXPECT_EQ(none.FaceIdx(), -1);
  EXPECT_FALSE(none.Info().IsValid());
  EXPECT_EQ(font.GetDescriptor(), nullptr);
}
