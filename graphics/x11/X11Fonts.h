#pragma once

#include <memory>
#include <string>

#include "graphics/IFontInfo.h"
#include "graphics/IGraphicsStructs.h"

namespace iplug::igraphics::x11 {

/** A font file fontconfig picked for a family and style. */
struct FontFileMatch {
  std::string file;
  int faceIdx = 0;
};

/**
 * The installed font of that family and style, through fontconfig. Only the family asked for
 * counts (compared without regard to case): fontconfig's nearest substitute is no match.
 */
bool FindSystemFont(const char* family, EFontStyle style, FontFileMatch& match);

/**
 * A font found among the installed ones: its file's bytes, read once, with the face fontconfig
 * named, for the drawing backend to load.
 */
class SystemFont : public PlatformFont {
 public:
  /** Null when the file cannot be read or is not a font. */
  static std::unique_ptr<SystemFont> Load(const FontFileMatch& match);
  IFontBlob GetFontBlob() const override;

 private:
  SystemFont() = default;
  std::vector<uint8_t> mBytes;
  int mFaceIdx = 0;
};

}  // namespace iplug::igraphics::x11
