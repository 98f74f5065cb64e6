#include "graphics/x11/X11Fonts.h"

#include <fontconfig/fontconfig.h>
#include <strings.h>

#include <fstream>
#include <iterator>
#include <mutex>

namespace iplug::igraphics::x11 {

namespace {

// Fonts are looked up from any editor, and fontconfig's current configuration is process-wide.
std::mutex& FontconfigLock() {
  static std::mutex lock;
  return lock;
}

// Face files above this are not fonts an editor would draw with.
constexpr std::streamoff kMaxFontFileBytes = 64 << 20;

}  // namespace

bool FindSystemFont(const char* family, EFontStyle style, FontFileMatch& match) {
  if (!family || !*family) return false;
  std::lock_guard lock(FontconfigLock());
  if (!FcInit()) return false;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  FcPatternAddInteger(pattern, FC_WEIGHT,
                      style == EFontStyle::Bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT,
                      style == EFontStyle::Italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* found = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!found) return false;
  bool familyMatches = false;
  FcChar8* name = nullptr;
  for (int i = 0; FcPatternGetString(found, FC_FAMILY, i, &name) == FcResultMatch; ++i)
    if (strcasecmp(reinterpret_cast<const char*>(name), family) == 0) familyMatches = true;
  FcChar8* file = nullptr;
  int index = 0;
  const bool hasFile = FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch;
  if (FcPatternGetInteger(found, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  if (familyMatches && hasFile) {
    match.file = reinterpret_cast<const char*>(file);
    // The low 16 bits are the face in a collection; the rest name variable-font instances.
    match.faceIdx = index & 0xffff;
  }
  FcPatternDestroy(found);
  return familyMatches && hasFile;
}

std::unique_ptr<SystemFont> SystemFont::Load(const FontFileMatch& match) {
  std::ifstream in(match.file, std::ios::binary | std::ios::ate);
  if (!in) return nullptr;
  const std::streamoff size = in.tellg();
  if (size <= 0 || size > kMaxFontFileBytes) return nullptr;
  in.seekg(0);
  std::unique_ptr<SystemFont> font(new SystemFont());
  font->mBytes.resize(static_cast<size_t>(size));
  if (!in.read(reinterpret_cast<char*>(font->mBytes.data()), size)) return nullptr;
  font->mFaceIdx = match.faceIdx;
  const IFontTableInfo info(font->mBytes.data(), font->mBytes.size(), font->mFaceIdx);
  if (!info.IsValid()) return nullptr;
  return font;
}

IFontBlob SystemFont::GetFontBlob() const {
  return IFontBlob(mBytes, mFaceIdx);
}

}  // namespace iplug::igraphics::x11
