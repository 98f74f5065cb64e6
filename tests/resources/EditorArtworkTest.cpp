// The editor's pictures as committed: the editor takes their sizes and frame grids on trust, so a
// redrawn picture that breaks one of them shows up here rather than as a knob cut in half.
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Picture {
  int width = 0, height = 0, bitDepth = 0, colourType = -1;
  std::vector<uint8_t> rgba;  // decoded, 4 bytes a pixel, alpha 255 where the file has none

  const uint8_t* At(int x, int y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

uint32_t BigEndian(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

Picture Read(const std::string& name) {
  Picture picture;
  std::ifstream file(std::string(CORVANE_EDITOR_ARTWORK_DIR) + "/" + name, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), {});
  // The header chunk comes first: its depth and colour type say what the file itself holds,
  // which decoding to RGBA would hide.
  if (bytes.size() < 33 || std::string(bytes.begin() + 12, bytes.begin() + 16) != "IHDR") {
    ADD_FAILURE() << name << " is missing or not a PNG file";
    return picture;
  }
  picture.width = static_cast<int>(BigEndian(bytes, 16));
  picture.height = static_cast<int>(BigEndian(bytes, 20));
  picture.bitDepth = bytes[24];
  picture.colourType = bytes[25];

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) {
    ADD_FAILURE() << name << ": " << image.message;
    return picture;
  }
  image.format = PNG_FORMAT_RGBA;
  picture.rgba.resize(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, picture.rgba.data(), 0, nullptr)) {
    ADD_FAILURE() << name << ": " << image.message;
    picture.rgba.clear();
  }
  return picture;
}

TEST(EditorArtwork, EveryPictureHasTheSizeAndChannelsTheEditorExpects) {
  struct Expected {
    const char* name;
    int width, height, colourType;
  };
  const Expected pictures[] = {
      {"corvane_bg_1_6b.png", 650, 400, PNG_COLOR_TYPE_RGB},
      {"x271_frame_stack_fixed_again.png", 1024, 1088, PNG_COLOR_TYPE_RGB_ALPHA},
      {"smallknob.png", 752, 799, PNG_COLOR_TYPE_RGB_ALPHA},
      {"corvane_glow.png", 16, 16, PNG_COLOR_TYPE_RGB},
      {"corvane_glow_red.png", 16, 16, PNG_COLOR_TYPE_RGB},
      {"OS_alpha.png", 29, 58, PNG_COLOR_TYPE_RGB_ALPHA},
  };
  for (const Expected& e : pictures) {
    SCOPED_TRACE(e.name);
    const Picture p = Read(e.name);
    EXPECT_EQ(p.width, e.width);
    EXPECT_EQ(p.height, e.height);
    EXPECT_EQ(p.bitDepth, 8);
    EXPECT_EQ(p.colourType, e.colourType);
    EXPECT_EQ(p.rgba.size(), size_t(e.width) * e.height * 4);
  }
}

// 271 frames in 16 columns: frame k at column k % 16, row k / 16, the last cell empty.
TEST(EditorArtwork, KnobStripsHoldCentredFramesInTheirGridTurningOneDegreeAFrame) {
  struct Strip {
    const char* name;
    int cell;
  };
  for (const Strip& strip :
       {Strip{"x271_frame_stack_fixed_again.png", 64}, Strip{"smallknob.png", 47}}) {
    SCOPED_TRACE(strip.name);
    const Picture p = Read(strip.name);
    ASSERT_EQ(p.rgba.size(), size_t(strip.cell) * 16 * strip.cell * 17 * 4);
    const double centre = strip.cell / 2.0;
    for (int k = 0; k < 272; ++k) {
      SCOPED_TRACE("frame " + std::to_string(k));
      const int left = (k % 16) * strip.cell, top = (k / 16) * strip.cell;
      int marginPixels = 0, visible = 0, white = 0;
      double weight = 0, wx = 0, wy = 0, pointerX = 0, pointerY = 0;
      for (int y = 0; y < strip.cell; ++y) {
        for (int x = 0; x < strip.cell; ++x) {
          const uint8_t* px = p.At(left + x, top + y);
          const bool margin = x < 2 || y < 2 || x >= strip.cell - 2 || y >= strip.cell - 2;
          if (px[3] == 0) continue;
          ++visible;
          if (margin) ++marginPixels;
          const double dx = x + 0.5 - centre, dy = y + 0.5 - centre;
          weight += px[3], wx += px[3] * dx, wy += px[3] * dy;
          if (px[0] > 200 && px[1] > 200 && px[2] > 200 && px[3] > 200)
            ++white, pointerX += dx, pointerY += dy;
        }
      }
      if (k == 271) {
        EXPECT_EQ(visible, 0) << "the cell after the last frame must stay empty";
        continue;
      }
      EXPECT_EQ(marginPixels, 0) << "a neighbour's pixels would show inside this frame";
      ASSERT_GT(visible, strip.cell * strip.cell / 3);
      EXPECT_EQ(p.At(left + strip.cell / 2, top + strip.cell / 2)[3], 255);
      EXPECT_LT(std::hypot(wx / weight, wy / weight), 1.0) << "knob off its cell's centre";
      // The pointer: clockwise from −135° (frame 0) through 0° (frame 135, straight up).
      ASSERT_GT(white, 3);
      const double angle = std::atan2(pointerX, -pointerY) * 180 / 3.14159265358979;
      EXPECT_NEAR(angle, k - 135.0, 4.0);
    }
  }
}

TEST(EditorArtwork, GlowsAreRoundSpotsThatAddNothingAtTheirBorder) {
  for (const char* name : {"corvane_glow.png", "corvane_glow_red.png"}) {
    SCOPED_TRACE(name);
    const Picture p = Read(name);
    ASSERT_EQ(p.rgba.size(), 16u * 16u * 4u);
    for (int i = 0; i < 16; ++i) {
      for (const auto& [x, y] :
           {std::pair{i, 0}, std::pair{i, 15}, std::pair{0, i}, std::pair{15, i}}) {
        const uint8_t* px = p.At(x, y);
        EXPECT_EQ(px[0] | px[1] | px[2], 0) << "border pixel " << x << ", " << y;
      }
    }
    // Brightest in the middle (the glow is drawn centred on the LED), and the same on all sides.
    const uint8_t* middle = p.At(8, 8);
    EXPECT_GT(middle[0], 200);
    for (const auto& [x, y] :
         {std::pair{3, 8}, std::pair{12, 8}, std::pair{8, 3}, std::pair{8, 12}})
      EXPECT_LT(p.At(x, y)[0], middle[0]);
    EXPECT_NEAR(p.At(4, 8)[0], p.At(11, 8)[0], 2);
    EXPECT_NEAR(p.At(8, 4)[0], p.At(8, 11)[0], 2);
  }
  const Picture red = Read("corvane_glow_red.png");
  ASSERT_FALSE(red.rgba.empty());
  EXPECT_GT(red.At(8, 8)[0], 2 * red.At(8, 8)[1]) << "the clip LED must read as red";
}

TEST(EditorArtwork, SwitchFramesShowOffAndOnDifferently) {
  const Picture p = Read("OS_alpha.png");
  ASSERT_EQ(p.rgba.size(), 29u * 58u * 4u);
  int different = 0;
  for (int y = 0; y < 29; ++y)
    for (int x = 0; x < 29; ++x)
      for (int c = 0; c < 4; ++c) different += std::abs(p.At(x, y)[c] - p.At(x, y + 29)[c]) > 24;
  EXPECT_GT(different, 40);
}

// The curve is added onto the background inside its box; where the sum passes 255 it would
// flatten into a blot, so the screen leaves room for the curve's colour everywhere in the box.
TEST(EditorArtwork, CurveScreenLeavesRoomForTheAddedCurve) {
  const Picture p = Read("corvane_bg_1_6b.png");
  ASSERT_EQ(p.rgba.size(), 650u * 400u * 4u);
  constexpr int kCurve[3] = {149, 219, 94};
  int clipping = 0;
  for (int y = 58; y < 230; ++y) {
    for (int x = 239; x < 411; ++x) {
      const uint8_t* px = p.At(x, y);
      for (int c = 0; c < 3; ++c) {
        if (px[c] + kCurve[c] > 255 && clipping++ < 5)
          ADD_FAILURE() << "pixel " << x << ", " << y << " channel " << c << " is " << int(px[c]);
      }
    }
  }
  EXPECT_EQ(clipping, 0);
}

}  // namespace
