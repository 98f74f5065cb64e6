#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace golden {

/** Pixels to compare: premultiplied ARGB32 in native byte order (Cairo's), rows top down. */
struct ImageView {
  const uint8_t* pixels = nullptr;
  int width = 0;
  int height = 0;
  int stride = 0;
};

/** Per channel, a difference up to this is anti-aliasing, not a change. */
inline constexpr int kChannelTolerance = 2;
/** And this share of the pixels may differ by more. */
inline constexpr double kDifferingShare = 0.001;

/**
 * Compares the image with goldenDir/name.png. On a mismatch it writes name.actual.png and
 * name.diff.png (differing pixels red over a dimmed copy of the golden) into outputDir and
 * names both in the failure. A missing golden fails, saying how to make one.
 *
 * With CORVANE_UPDATE_GOLDENS=1 in the environment nothing is compared: the image is written
 * as the new golden and the result is a success that says so. Look at every image written
 * that way before committing it.
 */
::testing::AssertionResult MatchesGolden(const ImageView& actual, const std::string& goldenDir,
                                         const std::string& outputDir, const std::string& name);

}  // namespace golden
