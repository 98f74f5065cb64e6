#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <map>

#include "GraphicsTestSupport.h"
#include "graphics/IGraphicsCache.h"

using namespace graphics_test;
using Names = std::vector<std::string>;

namespace {

class FakeBitmap : public APIBitmap {
 public:
  FakeBitmap(int w, int h, float scale, float drawScale = 1.f)
      : APIBitmap(this, w, h, scale, drawScale) {}
};

class FakeSvg : public SvgImage {
 public:
  using SvgImage::SvgImage;
};

/**
 * A context whose module holds the resources listed in `files` (name → pixel size), which
 * decodes them into bitmaps of that size and records every lookup and decode.
 */
class ResourceGraphics : public RecordingGraphics {
 public:
  using RecordingGraphics::RecordingGraphics;

  EResourceLocation ResolveResource(const char* name, const char* type,
                                    std::string& found) const override {
    lookups.push_back(name);
    if (!files.count(name)) return EResourceLocation::NotFound;
    found = name;
    return EResourceLocation::Module;
  }
  const uint8_t* ModuleResourceBytes(const char* found, const char*, int& size) const override {
    const auto it = bytes.find(found);
    size = it == bytes.end() ? 0 : static_cast<int>(it->second.size());
    return it == bytes.end() ? nullptr : reinterpret_cast<const uint8_t*>(it->second.data());
  }
  bool SupportsImageType(const char* ext) const override { return std::string(ext) == "png"; }
  std::unique_ptr<APIBitmap> DecodeBitmap(const char* path, int scale, int location,
                                          const char*) override {
    decodes.push_back(std::string(path) + "@" + std::to_string(scale));
    const auto [w, h] = files.at(path);
    return std::make_unique<FakeBitmap>(w, h, static_cast<float>(scale));
  }
  std::unique_ptr<APIBitmap> DecodeBitmap(const char* name, const void*, int size,
                                          int scale) override {
    decodes.push_back(std::string("bytes ") + name);
    return std::make_unique<FakeBitmap>(size, size, static_cast<float>(scale));
  }
  std::unique_ptr<APIBitmap> NewBackendBitmap(int w, int h, float scale, float drawScale,
                                              bool) override {
    layers.push_back(std::to_string(w) + "x" + std::to_string(h));
    return std::make_unique<FakeBitmap>(w, h, scale, drawScale);
  }
  std::unique_ptr<SvgImage> ParseSvgDocument(const char* text, int size, const char*,
                                             float) override {
    ++parses;
    if (std::string(text, static_cast<size_t>(size)).find("<svg") == std::string::npos)
      return nullptr;
    return std::make_unique<FakeSvg>(20.f, 10.f);
  }

  std::map<std::string, std::pair<int, int>> files;
  std::map<std::string, std::string> bytes;
  mutable Names lookups;
  Names decodes;
  Names layers;
  int parses = 0;
};

const void* Bytes(const std::string& s) {
  return s.data();
}

int Size(const std::string& s) {
  return static_cast<int>(s.size());
}

class ResourcesTest : public ::testing::Test {
 protected:
  TestDelegate d;
  ResourceGraphics g{d};
};

TEST(ResourceNames, ScaleSearchOrderAndNamesPerScale) {
  EXPECT_EQ(ScaleSearchOrder(1), (std::vector<int>{1, 3, 2}));
  EXPECT_EQ(ScaleSearchOrder(2), (std::vector<int>{2, 3, 1}));
  EXPECT_EQ(ScaleSearchOrder(3), (std::vector<int>{3, 2, 1}));
  EXPECT_EQ(ScaleSearchOrder(4), (std::vector<int>{4, 3, 2, 1}));

  EXPECT_EQ(ResourceNameAtScale("knob.png", 1), "knob.png");
  EXPECT_EQ(ResourceNameAtScale("knob.png", 2), "knob@2x.png");
  EXPECT_EQ(ResourceNameAtScale("knob", 3), "knob@3x");
  EXPECT_EQ(ResourceNameAtScale("img.v2/knob", 2), "img.v2/knob@2x");
  EXPECT_EQ(ResourceNameAtScale("a.b.png", 2), "a.b@2x.png");

  EXPECT_EQ(CacheKey("knob.png", 2.f), "knob.png-2.0x");
  EXPECT_EQ(HashText(""), 0xcbf29ce484222325ull);
  EXPECT_EQ(HashText("a"), 0xaf63dc4c8601ec8cull);
}

// No image is decoded into more pixels than its resource has: with only the plain resource, a
// request at total scale 1.5 (target 2) tries the denser names, takes the plain one and keeps
// it at its own scale, for drawing to stretch. Later requests at either scale share it.
TEST_F(ResourcesTest, APlainResourceIsNeverScaledUpAndIsSharedAcrossScales) {
  g.files["knob.png"] = {29, 58};
  g.SetScreenScale(1.5f);  // total 1.5: target 2
  g.lookups.clear();
  const IBitmapHandle knob = g.LoadBitmap("knob.png", 2);
  EXPECT_EQ(g.lookups, (Names{"knob@2x.png", "knob@3x.png", "knob.png"}));
  ASSERT_TRUE(knob.IsValid());
  EXPECT_EQ(knob.GetAPIBitmap()->Scale(), 1.f);
  EXPECT_EQ(knob.W(), 29);
  EXPECT_EQ(knob.H(), 58);
  EXPECT_EQ(knob.FH(), 29);
  EXPECT_TRUE(g.layers.empty());

  EXPECT_EQ(g.LoadBitmap("knob.png", 2).GetAPIBitmap(), knob.GetAPIBitmap());
  const IBitmapHandle plain = g.LoadBitmap("knob.png", 2, false, 1);
  EXPECT_EQ(plain.GetAPIBitmap(), knob.GetAPIBitmap());
  // Zoom 4 on a 4x screen: still the one decoded image, not one sixteen times its size.
  EXPECT_EQ(g.LoadBitmap("knob.png", 2, false, 16).GetAPIBitmap(), knob.GetAPIBitmap());
  EXPECT_EQ(g.decodes, (Names{"knob.png@1"}));
  EXPECT_EQ(SharedBitmapCache().Size(), 1);
}

TEST_F(ResourcesTest, AResourceForTheScaleIsTakenAsItIs) {
  g.files["knob.png"] = {29, 58};
  g.files["knob@2x.png"] = {58, 116};
  const IBitmapHandle knob = g.LoadBitmap("knob.png", 1, false, 2);
  EXPECT_EQ(g.decodes, (Names{"knob@2x.png@2"}));
  EXPECT_TRUE(g.layers.empty());
  EXPECT_EQ(knob.W(), 29);
  // Above the densest resource, the densest is drawn stretched.
  const IBitmapHandle four = g.LoadBitmap("knob.png", 1, false, 4);
  EXPECT_EQ(four.GetAPIBitmap(), knob.GetAPIBitmap());
  EXPECT_EQ(g.decodes, (Names{"knob@2x.png@2"}));
  EXPECT_TRUE(g.layers.empty());
}

// A denser resource found first for a lower scale is scaled down, the product cached.
TEST_F(ResourcesTest, ADenserResourceIsScaledDown) {
  g.files["icon@2x.png"] = {58, 116};
  const IBitmapHandle icon = g.LoadBitmap("icon.png", 1, false, 1);
  EXPECT_EQ(g.decodes, (Names{"icon@2x.png@2"}));
  EXPECT_EQ(g.layers, (Names{"29x58"}));
  EXPECT_EQ(icon.GetAPIBitmap()->Scale(), 1.f);
  EXPECT_EQ(icon.W(), 29);
  EXPECT_EQ(g.LoadBitmap("icon.png", 1, false, 1).GetAPIBitmap(), icon.GetAPIBitmap());
}

// Once every control has its bitmaps for a new scale, the images of the old one that nothing
// shows go; one a control still holds (the meters keep theirs) stays, and stays valid.
TEST_F(ResourcesTest, AFinishedRescaleReleasesTheBitmapsNoOneHolds) {
  g.files["knob.png"] = {29, 58};
  g.files["knob@2x.png"] = {58, 116};
  g.files["glow.png"] = {16, 16};
  const IBitmapHandle glow = g.LoadBitmap("glow.png", 1, false, 1);
  {
    const IBitmapHandle one = g.LoadBitmap("knob.png", 1, false, 1);
    const IBitmapHandle two = g.LoadBitmap("knob.png", 1, false, 2);
    EXPECT_EQ(SharedBitmapCache().Size(), 3);
  }
  g.FinishCornerResize();
  EXPECT_EQ(SharedBitmapCache().Size(), 1);
  EXPECT_EQ(g.LoadBitmap("glow.png", 1, false, 1).GetAPIBitmap(), glow.GetAPIBitmap());
  EXPECT_EQ(glow.GetAPIBitmap()->Width(), 16);
}

TEST_F(ResourcesTest, UnknownTypesAndMissingResourcesGiveEmptyHandles) {
  g.files["anim.gif"] = {10, 10};
  EXPECT_FALSE(g.LoadBitmap("anim.gif").IsValid());
  EXPECT_TRUE(g.lookups.empty());  // not even searched
  EXPECT_FALSE(g.LoadBitmap("missing.png").IsValid());
  EXPECT_FALSE(g.LoadBitmap("").IsValid());
  EXPECT_FALSE(g.LoadBitmap(nullptr).IsValid());
  EXPECT_EQ(g.LoadBitmap("missing.png").W(), 0);
  // A name without a dot has no extension of its own: the whole name is its type.
  g.lookups.clear();
  g.LoadBitmap("png");
  EXPECT_EQ(g.lookups, (Names{"png", "png@3x", "png@2x"}));
}

TEST_F(ResourcesTest, BitmapsFromBytesAreCachedByName) {
  const char data[16] = {};
  const IBitmapHandle a = g.LoadBitmap("mem.png", data, 16);
  const IBitmapHandle b = g.LoadBitmap("mem.png", data, 16);
  EXPECT_EQ(a.GetAPIBitmap(), b.GetAPIBitmap());
  EXPECT_EQ(g.decodes, (Names{"bytes mem.png"}));
  EXPECT_FALSE(g.LoadBitmap("mem.gif", data, 16).IsValid());
  EXPECT_FALSE(g.LoadBitmap("other.png", nullptr, 0).IsValid());
  // At a higher scale the cached bitmap is drawn stretched, not decoded again or rescaled.
  EXPECT_EQ(g.LoadBitmap("mem.png", data, 16, 1, false, 2).GetAPIBitmap(), a.GetAPIBitmap());
  EXPECT_EQ(g.decodes.size(), 1u);
  EXPECT_TRUE(g.layers.empty());
}

TEST(SharedResourceCache, TwoEditorsShareBitmapsAndTheLastEmptiesTheCache) {
  TestDelegate d1, d2;
  auto first = std::make_unique<ResourceGraphics>(d1);
  auto second = std::make_unique<ResourceGraphics>(d2);
  first->files["bg.png"] = second->files["bg.png"] = {650, 400};
  const IBitmapHandle one = first->LoadBitmap("bg.png");
  const IBitmapHandle two = second->LoadBitmap("bg.png");
  EXPECT_EQ(one.GetAPIBitmap(), two.GetAPIBitmap());
  EXPECT_TRUE(second->decodes.empty());

  first.reset();
  EXPECT_EQ(SharedBitmapCache().Size(), 1);
  EXPECT_EQ(second->LoadBitmap("bg.png").GetAPIBitmap(), two.GetAPIBitmap());
  second->RemoveBitmapFromCache(two);
  EXPECT_EQ(SharedBitmapCache().Size(), 0);
  second->LoadBitmap("bg.png");
  second.reset();
  EXPECT_EQ(SharedBitmapCache().Size(), 0);
  EXPECT_EQ(SharedBitmapCache().LiveContexts(), 0);
}

TEST_F(ResourcesTest, LayersAreAlignedToDevicePixels) {
  g.SetScreenScale(2.f);
  g.PushLayer(nullptr, IBox(0.3f, 0.3f, 10.2f, 10.2f));
  ASSERT_NE(g.TopLayer(), nullptr);
  EXPECT_EQ(g.TopLayer()->bounds, IBox(0, 0, 10.5f, 10.5f));
  EXPECT_EQ(g.layers, (Names{"22x22"}));  // ceil(ceil(10.5) x 2)
  EXPECT_EQ(g.log.back(), "begin (0,0,10.5,10.5)");
  std::unique_ptr<IOffscreenLayer> layer = g.PopLayer();
  ASSERT_TRUE(layer);
  EXPECT_EQ(layer->bitmap->Scale(), 2.f);
  EXPECT_EQ(g.NLayers(), 0);
  EXPECT_EQ(g.PopLayer(), nullptr);
  // A rectangle that is no number makes an empty layer, not a huge one.
  g.PushLayer(nullptr, IBox(0, 0, INFINITY, 10));
  EXPECT_EQ(g.layers.back(), "0x0");
  g.PopLayer();
}

TEST_F(ResourcesTest, SvgDocumentsAreParsedOnceAndFailuresAreNotKept) {
  const std::string doc = "<svg width='20' height='10'/>";
  const ISvgDocument a = g.LoadSvgDocument("icon.svg", Bytes(doc), Size(doc));
  const ISvgDocument b = g.LoadSvgDocument("icon.svg", Bytes(doc), Size(doc));
  ASSERT_TRUE(a.IsValid());
  EXPECT_EQ(a.image, b.image);
  EXPECT_EQ(g.parses, 1);
  EXPECT_EQ(a.W(), 20.f);

  const std::string junk = "not svg";
  EXPECT_FALSE(g.LoadSvgDocument("bad.svg", Bytes(junk), Size(junk)).IsValid());
  EXPECT_FALSE(g.LoadSvgDocument("bad.svg", Bytes(junk), Size(junk)).IsValid());
  EXPECT_EQ(g.parses, 3);

  // By name, the bytes come from the module's resources.
  g.files["logo.svg"] = {0, 0};
  g.bytes["logo.svg"] = doc;
  EXPECT_TRUE(g.LoadSvgDocument("logo.svg").IsValid());
  EXPECT_FALSE(g.LoadSvgDocument("gone.svg").IsValid());
  EXPECT_EQ(g.LoadRawResource("logo.svg", "svg").size(), doc.size());
  EXPECT_TRUE(g.LoadRawResource("gone.svg", "svg").empty());
}

}  // namespace
