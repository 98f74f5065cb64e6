#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "GoldenImage.h"

namespace {

namespace fs = std::filesystem;

// A 100 × 100 picture of opaque gray, which the cases below alter pixel by pixel.
class GoldenImage : public ::testing::Test {
 protected:
  GoldenImage() : pixels(100 * 100, 0xFF808080u) {
    fs::remove_all(dir);
    unsetenv("CORVANE_UPDATE_GOLDENS");
  }
  ~GoldenImage() override {
    unsetenv("CORVANE_UPDATE_GOLDENS");
    fs::remove_all(dir);
  }

  golden::ImageView View(int w = 100) const {
    return golden::ImageView{reinterpret_cast<const uint8_t*>(pixels.data()), w, 100, 400};
  }
  ::testing::AssertionResult Compare(int w = 100) const {
    return golden::MatchesGolden(View(w), (dir / "golden").string(), (dir / "out").string(),
                                 "gray");
  }
  void MakeGolden() {
    setenv("CORVANE_UPDATE_GOLDENS", "1", 1);
    ASSERT_TRUE(Compare());
    unsetenv("CORVANE_UPDATE_GOLDENS");
  }

  // One folder per test: CTest runs the cases of this suite in parallel.
  const fs::path dir =
      fs::temp_directory_path() / (std::string("golden_image_test_") +
                                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::vector<uint32_t> pixels;
};

TEST_F(GoldenImage, AMissingGoldenFailsAndSaysHowToMakeIt) {
  const ::testing::AssertionResult result = Compare();
  EXPECT_FALSE(result);
  EXPECT_NE(std::string(result.message()).find("CORVANE_UPDATE_GOLDENS=1"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "out" / "gray.actual.png"));
}

TEST_F(GoldenImage, UpdatingWritesTheGoldenWhichThenMatches) {
  MakeGolden();
  EXPECT_TRUE(fs::exists(dir / "golden" / "gray.png"));
  EXPECT_TRUE(Compare());
  EXPECT_FALSE(fs::exists(dir / "out"));
}

TEST_F(GoldenImage, DifferencesWithinTheToleranceOrOnAFewPixelsPass) {
  MakeGolden();
  for (uint32_t& p : pixels) p = 0xFF828282u;  // every channel 2 off
  EXPECT_TRUE(Compare());
  for (int i = 0; i < 10; ++i) pixels[static_cast<size_t>(i * 7)] = 0xFFFF0000u;  // 0.1 %
  EXPECT_TRUE(Compare());
}

TEST_F(GoldenImage, MoreDifferingPixelsFailWithThePictureAndTheDifferencesWritten) {
  MakeGolden();
  for (int i = 0; i < 11; ++i) pixels[static_cast<size_t>(i * 7)] = 0xFFFF0000u;
  const ::testing::AssertionResult result = Compare();
  EXPECT_FALSE(result);
  EXPECT_NE(std::string(result.message()).find("11 of 10000 pixels"), std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "out" / "gray.actual.png"));
  EXPECT_TRUE(fs::exists(dir / "out" / "gray.diff.png"));
}

TEST_F(GoldenImage, AnotherSizeFails) {
  MakeGolden();
  EXPECT_FALSE(Compare(99));
  EXPECT_FALSE(golden::MatchesGolden(golden::ImageView{}, dir.string(), dir.string(), "none"));
}

}  // namespace
