// Bitmaps, SVG documents, raw resources and fonts: found for the current pixel density, decoded
// once, shared by every editor of the module, and rescaled through a layer when no resource was
// made for the density. Offscreen layers live here too.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "graphics/IControl.h"
#include "graphics/IGraphics.h"
#include "graphics/IGraphicsCache.h"

namespace iplug::igraphics {

uint64_t HashText(const std::string& text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const char c : text) {
    hash ^= static_cast<uint8_t>(c);
    hash *= 0x100000001b3ull;
  }
  return hash;
}

std::string CacheKey(const std::string& name, float scale) {
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "-%.1fx", static_cast<double>(scale));
  return name + suffix;
}

ResourceCache<APIBitmap>& SharedBitmapCache() {
  static ResourceCache<APIBitmap> cache;
  return cache;
}

ResourceCache<SvgImage>& SharedSvgCache() {
  static ResourceCache<SvgImage> cache;
  return cache;
}

std::vector<int> ScaleSearchOrder(int t) {
  constexpr int kHighest = 3;
  std::vector<int> order;
  for (int s = t; s >= 1;) {
    order.push_back(s);
    if (s == t && t != kHighest)
      s = kHighest;
    else if (s == t + 1)
      s = t - 1;
    else
      s = s - 1;
  }
  return order;
}

std::string ResourceNameAtScale(const std::string& name, int scale) {
  if (scale == 1) return name;
  const size_t lastSeparator = name.find_last_of("/\\");
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && lastSeparator != std::string::npos && dot < lastSeparator)
    dot = std::string::npos;
  const std::string base = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  char tag[16];
  std::snprintf(tag, sizeof tag, "@%dx", scale);
  return base + tag + ext;
}

namespace {

// No layer of the editor comes near this; a bigger one is a fault, not a picture.
constexpr double kMaxLayerPixels = 32768.0;

std::string ExtensionOf(const std::string& name) {
  const size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(dot + 1);
}

int CeilScale(float totalScale) {
  const float s = std::ceil(totalScale);
  return std::isfinite(s) && s >= 1.f ? static_cast<int>(s) : 1;
}

}  // namespace

// ---- Bitmaps ----

IBitmapHandle IGraphics::LoadBitmap(const char* name, int nStates, bool framesAreHorizontal,
                                    int targetScale) {
  if (!name || !*name) return IBitmapHandle();
  const std::string resourceName = name;
  const int t = targetScale > 0 ? targetScale : CeilScale(GetDrawScale() * GetScreenScale());

  ResourceCache<APIBitmap>& cache = SharedBitmapCache();
  std::lock_guard lock(cache.Mutex());
  if (APIBitmap* cached = cache.Find(resourceName, static_cast<float>(t)))
    return IBitmapHandle(cached, nStates, framesAreHorizontal, name);

  const std::string ext = ExtensionOf(resourceName);
  if (!SupportsImageType(ext.c_str())) return IBitmapHandle();

  APIBitmap* source = nullptr;
  std::unique_ptr<APIBitmap> decoded;
  const std::vector<int> order = ScaleSearchOrder(t);
  bool found = false;
  for (const int s : order) {
    std::string where;
    const EResourceLocation location =
        ResolveResource(ResourceNameAtScale(resourceName, s).c_str(), ext.c_str(), where);
    if (location == EResourceLocation::NotFound) continue;
    found = true;
    if (s != t) source = cache.Find(resourceName, static_cast<float>(s));
    if (!source) {
      decoded = DecodeBitmap(where.c_str(), s, static_cast<int>(location), ext.c_str());
      source = decoded.get();
    }
    break;
  }
  if (!found) {
    for (const int s : order)
      if ((source = cache.Find(resourceName, static_cast<float>(s)))) break;
  }
  return BitmapFromSource(name, source, std::move(decoded), nStates, framesAreHorizontal, t);
}

IBitmapHandle IGraphics::LoadBitmap(const char* name, const void* data, int size, int nStates,
                                    bool framesAreHorizontal, int targetScale) {
  if (!name || !*name) return IBitmapHandle();
  const std::string resourceName = name;
  const int t = targetScale > 0 ? targetScale : CeilScale(GetDrawScale() * GetScreenScale());

  ResourceCache<APIBitmap>& cache = SharedBitmapCache();
  std::lock_guard lock(cache.Mutex());
  if (APIBitmap* cached = cache.Find(resourceName, static_cast<float>(t)))
    return IBitmapHandle(cached, nStates, framesAreHorizontal, name);
  if (!SupportsImageType(ExtensionOf(resourceName).c_str())) return IBitmapHandle();

  APIBitmap* source = nullptr;
  std::unique_ptr<APIBitmap> decoded;
  for (const int s : ScaleSearchOrder(t))
    if ((source = cache.Find(resourceName, static_cast<float>(s)))) break;
  if (!source) {
    if (!data || size <= 0) return IBitmapHandle();
    decoded = DecodeBitmap(name, data, size, 1);
    source = decoded.get();
  }
  return BitmapFromSource(name, source, std::move(decoded), nStates, framesAreHorizontal, t);
}

IBitmapHandle IGraphics::BitmapFromSource(const char* name, APIBitmap* source,
                                          std::unique_ptr<APIBitmap> decoded, int nStates,
                                          bool framesAreHorizontal, int targetScale) {
  if (!source) return IBitmapHandle();
  // Made for this scale, or for less when nothing denser exists: an image is never decoded into
  // more pixels than its resource has (zoom 4 on a 4x screen would make a 1x strip sixteen
  // times as large); drawing stretches it instead.
  if (source->Scale() <= static_cast<float>(targetScale)) {
    const IBitmapHandle handle(source, nStates, framesAreHorizontal, name);
    if (decoded) SharedBitmapCache().Add(name, source->Scale(), std::move(decoded));
    return handle;
  }
  // A denser resource is scaled down for this scale. The source of a rescale is not kept: a
  // request at its own scale decodes it again.
  return RescaleBitmap(IBitmapHandle(source, nStates, framesAreHorizontal, name), name,
                       targetScale);
}

IBitmapHandle IGraphics::BitmapAtScale(const IBitmapHandle& bitmap) {
  return LoadBitmap(bitmap.ResourceName().c_str(), bitmap.N(), bitmap.FramesAreHorizontal(),
                    CeilScale(GetDrawScale() * GetScreenScale()));
}

IBitmapHandle IGraphics::RescaleBitmap(const IBitmapHandle& bitmap, const char* name,
                                       int targetScale) {
  if (!bitmap.IsValid() || targetScale < 1) return IBitmapHandle();
  std::lock_guard lock(SharedBitmapCache().Mutex());

  const float savedScreenScale = mScreenScale;
  const float savedDrawScale = mDrawScale;
  const float d = bitmap.GetAPIBitmap()->DrawScale();
  mScreenScale = static_cast<float>(targetScale);
  mDrawScale = d;

  // A bitmap may be loaded while a control draws: its transform must survive the layer.
  const ITransform2D savedTransform = mTransform;

  const IBox area(0.f, 0.f, static_cast<float>(bitmap.W()) / d, static_cast<float>(bitmap.H()) / d);
  PushLayer(nullptr, area, true);
  DrawBitmap(bitmap, area, 0, 0, nullptr);
  // The scales go back before the layer comes off, so that drawing resumes at the editor's own
  // scale rather than at the one the copy was made for.
  mScreenScale = savedScreenScale;
  mDrawScale = savedDrawScale;
  std::unique_ptr<IOffscreenLayer> layer = PopLayer();
  mTransform = savedTransform;
  SetPathTransform(mTransform);

  if (!layer || !layer->bitmap) return IBitmapHandle();
  const IBitmapHandle result(layer->bitmap.release(), bitmap.N(), bitmap.FramesAreHorizontal(),
                             name);
  AddBitmapToCache(result, name);
  return result;
}

void IGraphics::AddBitmapToCache(const IBitmapHandle& bitmap, const char* cacheName) {
  // The cache adopts the handle's bitmap.
  APIBitmap* item = bitmap.GetAPIBitmap();
  if (!item) return;
  SharedBitmapCache().Add(cacheName ? cacheName : "", item->Scale(),
                          std::unique_ptr<APIBitmap>(item));
}

void IGraphics::RemoveBitmapFromCache(const IBitmapHandle& bitmap) {
  if (bitmap.GetAPIBitmap()) SharedBitmapCache().Remove(bitmap.GetAPIBitmap());
}

// ---- Layers ----

void IGraphics::PushLayer(IControl* control, const IBox& r, bool cacheable) {
  const float s = BackingScale();
  IBox bounds = r;
  bounds.PixelAlign(s);
  const double w = std::ceil(std::ceil(static_cast<double>(bounds.R) - bounds.L) * s);
  const double h = std::ceil(std::ceil(static_cast<double>(bounds.B) - bounds.T) * s);
  // A rectangle that is not finite gives a layer of no pixels rather than a wild allocation.
  const bool sane = std::isfinite(w) && std::isfinite(h) && w >= 0.0 && h >= 0.0 &&
                    w <= kMaxLayerPixels && h <= kMaxLayerPixels;

  auto layer = std::make_unique<IOffscreenLayer>();
  layer->bitmap = NewBackendBitmap(sane ? static_cast<int>(w) : 0, sane ? static_cast<int>(h) : 0,
                                   mScreenScale, mDrawScale, cacheable);
  layer->control = control;
  layer->controlRect = control ? control->GetRECT() : IBox();
  layer->bounds = bounds;
  mLayers.push(std::move(layer));

  RefreshLayerSurface();
  PathTransformReset();
  PathClipRegion();
  ClearPath();
}

std::unique_ptr<IOffscreenLayer> IGraphics::PopLayer() {
  if (mLayers.empty()) return nullptr;
  std::unique_ptr<IOffscreenLayer> layer = std::move(mLayers.top());
  mLayers.pop();

  RefreshLayerSurface();
  PathTransformReset();
  PathClipRegion();
  ClearPath();
  return layer;
}

// ---- SVG ----

ISvgDocument IGraphics::LoadSvgDocument(const char* fileOrResourceName, const char* units,
                                        float dpi) {
  if (!fileOrResourceName || !*fileOrResourceName) return ISvgDocument();
  ResourceCache<SvgImage>& cache = SharedSvgCache();
  std::lock_guard lock(cache.Mutex());
  if (SvgImage* cached = cache.Find(fileOrResourceName, 1.f)) return ISvgDocument{cached};
  const std::vector<uint8_t> bytes = LoadRawResource(fileOrResourceName, "svg");
  if (bytes.empty()) return ISvgDocument();
  return LoadSvgDocument(fileOrResourceName, bytes.data(), static_cast<int>(bytes.size()), units,
                         dpi);
}

ISvgDocument IGraphics::LoadSvgDocument(const char* name, const void* data, int size,
                                        const char* units, float dpi) {
  if (!name || !data || size <= 0) return ISvgDocument();
  ResourceCache<SvgImage>& cache = SharedSvgCache();
  std::lock_guard lock(cache.Mutex());
  if (SvgImage* cached = cache.Find(name, 1.f)) return ISvgDocument{cached};
  std::unique_ptr<SvgImage> image =
      ParseSvgDocument(static_cast<const char*>(data), size, units ? units : "px", dpi);
  if (!image) return ISvgDocument();
  return ISvgDocument{cache.Add(name, 1.f, std::move(image))};
}

// ---- Raw resources and fonts ----

std::vector<uint8_t> IGraphics::LoadRawResource(const char* name, const char* type) {
  std::string where;
  if (!name || !type) return {};
  // Only what the module carries is read: a file that happens to bear a resource's name must
  // not replace it.
  if (ResolveResource(name, type, where) != EResourceLocation::Module) return {};
  int size = 0;
  const uint8_t* bytes = ModuleResourceBytes(where.c_str(), type, size);
  if (!bytes || size <= 0) return {};
  return std::vector<uint8_t>(bytes, bytes + size);
}

bool IGraphics::LoadFont(const char* fontID, const char* fileOrResourceName) {
  if (!fontID || !fileOrResourceName) return false;
  std::unique_ptr<PlatformFont> font = LoadNativeFont(fontID, fileOrResourceName);
  if (!font || !LoadBackendFont(fontID, *font)) return false;
  CacheNativeFont(fontID, std::move(font));
  return true;
}

bool IGraphics::LoadFont(const char* fontID, const void* data, int size) {
  if (!fontID || !data || size <= 0) return false;
  std::unique_ptr<PlatformFont> font = LoadNativeFont(fontID, data, size);
  if (!font || !LoadBackendFont(fontID, *font)) return false;
  CacheNativeFont(fontID, std::move(font));
  return true;
}

}  // namespace iplug::igraphics
