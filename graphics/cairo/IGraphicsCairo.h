#pragma once

#include <cairo.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"

namespace iplug::igraphics {

/**
 * A decoded image or a layer surface: a Cairo image surface in CAIRO_FORMAT_ARGB32
 * (premultiplied, native byte order, so alpha is byte 3 on little-endian machines). Owns one
 * reference to the surface; its handle is the surface.
 */
class CairoBitmap : public APIBitmap {
 public:
  /** Takes over the caller's reference to the surface. */
  CairoBitmap(cairo_surface_t* surface, float scale, float drawScale);
  ~CairoBitmap() override;

  cairo_surface_t* Surface() const { return static_cast<cairo_surface_t*>(Handle()); }
};

/**
 * The drawing backend on Cairo: every frame is drawn on the CPU into one ARGB32 image surface
 * of the window's pixel size, which the platform layer presents. It implements the path
 * primitives the graphics context builds its shapes from, bitmaps with blend modes, text laid
 * out from the font's own metrics, PNG/JPEG decoding, SVG through librsvg, offscreen layers and
 * drop shadows. The platform operations stay pure: a platform layer derives from this class.
 *
 * Editor thread only. The typeface cache behind text is process-wide and locked.
 */
class IGraphicsCairo : public IGraphics {
 public:
  IGraphicsCairo(IGEditorDelegate& delegate, int width, int height, int fps = 60,
                 float drawScale = 1.f);
  ~IGraphicsCairo() override;

  // ---- Backend operations ----

  void OnSurfaceCreated(void* platformContext) override;
  void OnSurfaceDestroyed() override;
  /** Flushes the frame and hands it to PresentFrame. */
  void EndFrame() override;
  void DrawBitmap(const IBitmapHandle& bitmap, const IBox& dest, int srcX, int srcY,
                  const IBlendSpec* blend = nullptr) override;
  /** One line, laid out like DrawText. */
  void DrawTextLines(const ITextStyle& style, const char* str, const IBox& bounds,
                     const IBlendSpec* blend = nullptr) override;
  /** The premultiplied pixel at (x, y) of the surface being drawn; transparent outside it. */
  IArgb GetPoint(int x, int y) override;
  /** The cairo_t drawing goes to, or null without a surface. */
  void* GetNativeCanvas() const override { return mCr; }
  const char* DrawingBackendName() const override { return "CAIRO | CPU"; }
  bool SupportsImageType(const char* name) const override;
  void DrawQuickShadow(const IBox& inner, const IBox& outer, float offset, float roundness,
                       float blur, const IBlendSpec* blend = nullptr) override;
  void ReadLayerPixels(IOffscreenLayer& layer, std::vector<uint8_t>& data) override;
  void CompositeShadowMask(IOffscreenLayer& layer, const std::vector<uint8_t>& mask,
                           const IDropShadowSpec& shadow) override;
  void RefreshLayerSurface() override;
  void ClearPath() override;
  void ClosePath() override;
  void AddArc(float cx, float cy, float r, float a1, float a2) override;
  void MoveTo(float x, float y) override;
  void LineTo(float x, float y) override;
  void CubicTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) override;
  void QuadTo(float cx, float cy, float x2, float y2) override;
  void StrokePath(const IPaint& pattern, float thickness,
                  const IStrokeStyle& options = IStrokeStyle(),
                  const IBlendSpec* blend = nullptr) override;
  void FillPath(const IPaint& pattern, const IFillStyle& options = IFillStyle(),
                const IBlendSpec* blend = nullptr) override;
  void SetPathTransform(const ITransform2D& transform) override;
  void BeginRegion(const IBox& region) override;
  void OnSurfaceResize() override;
  std::unique_ptr<APIBitmap> DecodeBitmap(const char* name, const void* data, int size,
                                          int scale) override;
  /** Only module resources (locationKind 2) are read; a path on disk is refused. */
  std::unique_ptr<APIBitmap> DecodeBitmap(const char* path, int scale, int locationKind,
                                          const char* ext) override;
  std::unique_ptr<APIBitmap> NewBackendBitmap(int width, int height, float scale, float drawScale,
                                              bool cacheable) override;
  bool LoadBackendFont(const char* fontID, PlatformFont& font) override;
  int AlphaChannelIndex() const override { return 3; }
  bool IsBitmapFlipped() const override { return false; }
  float MeasureTextImpl(const ITextStyle& style, const char* str, IBox& bounds) const override;
  void DrawTextImpl(const ITextStyle& style, const char* str, const IBox& bounds,
                    const IBlendSpec* blend) override;
  std::unique_ptr<SvgImage> ParseSvgDocument(const char* text, int size, const char* units,
                                             float dpi) override;
  void DrawSvgImage(const SvgImage& svg, const IBlendSpec* blend, const IArgb* strokeColor,
                    const IArgb* fillColor) override;

  // ---- The surface, for the platform and for tests ----

  /** The window-sized surface, or null before the first OnSurfaceResize. */
  cairo_surface_t* MainSurface() const { return mSurface; }
  /** Premultiplied ARGB32 rows, top down; null without a surface. */
  const uint8_t* SurfacePixels() const;
  int SurfaceWidth() const;
  int SurfaceHeight() const;
  /** Bytes from one row to the next. */
  int SurfaceStride() const;
  /** Writes the main surface as a PNG file; false without a surface or on a write error. */
  bool WriteSurfacePng(const std::string& path) const;
  /** Writes a bitmap of this backend (a layer's, say) as a PNG file. */
  static bool WriteBitmapPng(const APIBitmap& bitmap, const std::string& path);

 protected:
  /** [editor thread] A finished, flushed frame is in MainSurface(): the platform shows it. */
  virtual void PresentFrame() {}

 private:
  struct PathOp {
    enum Kind : uint8_t { Move, Line, Curve, Close };
    Kind kind;
    double pts[6];
  };

  /** The cairo_t to draw with, recreated first if an error has disabled it. */
  cairo_t* Canvas();
  /** Device pixels per unit and the origin of the surface being drawn, in graphics units. */
  cairo_matrix_t ClipMatrix() const;
  /** The clip matrix times the context's transform; false when that is singular. */
  bool FinalMatrix(cairo_matrix_t& m) const;
  /** Sets the matrix the path is drawn under and emits the path for it. False: draw nothing. */
  bool PreparePath(cairo_t* cr, cairo_matrix_t& ctm);
  bool EmitPath(cairo_t* cr, const cairo_matrix_t* inverse) const;
  void ApplyState(cairo_t* cr);
  void ApplyMatrix(cairo_t* cr);
  /** Maps a point through the transform; a point that is not finite spoils the path. */
  bool Map(double& x, double& y);
  void Append(PathOp::Kind kind, const double* pts, int n);
  void EnsureCurrentPoint();
  /** src OP dst, confined to the mask's coverage: the bounded form of Cairo's unbounded ops. */
  void CompositeUnbounded(cairo_t* cr, const cairo_matrix_t& ctm,
                          const std::function<bool(cairo_t*)>& setSource, cairo_operator_t op,
                          cairo_surface_t* mask, int maskX, int maskY);
  bool DeviceClipExtents(cairo_t* cr, int& x0, int& y0, int& x1, int& y1) const;
  void DestroySurface();

  cairo_surface_t* mSurface = nullptr;
  cairo_t* mMainCr = nullptr;
  cairo_t* mLayerCr = nullptr;
  cairo_t* mCr = nullptr;
  cairo_surface_t* mTarget = nullptr;

  std::vector<PathOp> mPath;
  bool mPathInvalid = false;
  bool mHasCurrentPoint = false;
  double mCurrentX = 0.0, mCurrentY = 0.0;
  double mSubpathX = 0.0, mSubpathY = 0.0;

  ITransform2D mMatrix;
  IBox mRegion;
  bool mHasRegion = false;
};

}  // namespace iplug::igraphics
