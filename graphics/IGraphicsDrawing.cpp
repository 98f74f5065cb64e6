// The shape, bitmap, SVG and text operations of the graphics context, built on the backend's path
// primitives, and the transform stack they share.
#include <algorithm>
#include <cmath>

#include "graphics/IGraphics.h"

namespace iplug::igraphics {

namespace {

bool Finite(float v) {
  return std::isfinite(v);
}

template <typename... T>
bool Finite(float v, T... rest) {
  return std::isfinite(v) && Finite(rest...);
}

IStrokeStyle Dashed(float dashLen) {
  IStrokeStyle style;
  style.dash.Set(&dashLen, 1, 0.f);
  return style;
}

}  // namespace

// ---- Transform stack ----

void IGraphics::PathTransformSave() {
  mTransformStates.push_back(mTransform);
}

void IGraphics::PathTransformRestore() {
  if (mTransformStates.empty()) return;
  mTransform = mTransformStates.back();
  mTransformStates.pop_back();
  SetPathTransform(mTransform);
}

void IGraphics::PathTransformReset(bool clearSaved) {
  if (clearSaved) mTransformStates.clear();
  mTransform = ITransform2D();
  SetPathTransform(mTransform);
}

// A NaN or infinity composed into the transform would spoil every later point of the frame, so
// such a request leaves the transform as it is.
void IGraphics::PathTransformTranslate(float x, float y) {
  if (!Finite(x, y)) return;
  mTransform.Translate(x, y);
  SetPathTransform(mTransform);
}

void IGraphics::PathTransformScale(float sx, float sy) {
  if (!Finite(sx, sy)) return;
  mTransform.Scale(sx, sy);
  SetPathTransform(mTransform);
}

void IGraphics::PathTransformRotate(float degrees) {
  if (!Finite(degrees)) return;
  mTransform.Rotate(degrees);
  SetPathTransform(mTransform);
}

void IGraphics::PathClipRegion(const IBox& r) {
  const IBox region = mLayers.empty() ? mClipRECT : mLayers.top()->bounds;
  const IBox clip = r.Empty() ? region : r.Intersect(region);
  SetPathTransform(ITransform2D());
  BeginRegion(clip);
  SetPathTransform(mTransform);
}

// ---- Path builders ----

void IGraphics::PathRect(const IBox& bounds) {
  MoveTo(bounds.L, bounds.T);
  LineTo(bounds.R, bounds.T);
  LineTo(bounds.R, bounds.B);
  LineTo(bounds.L, bounds.B);
  ClosePath();
}

void IGraphics::PathRoundRect(const IBox& bounds, float ctl, float ctr, float cbl, float cbr) {
  if (ctl <= 0.f && ctr <= 0.f && cbl <= 0.f && cbr <= 0.f) {
    PathRect(bounds);
    return;
  }
  const float l = bounds.L, t = bounds.T, r = bounds.R, b = bounds.B;
  MoveTo(l, t + ctl);
  AddArc(l + ctl, t + ctl, ctl, 270.f, 360.f);
  AddArc(r - ctr, t + ctr, ctr, 0.f, 90.f);
  AddArc(r - cbr, b - cbr, cbr, 90.f, 180.f);
  AddArc(l + cbl, b - cbl, cbl, 180.f, 270.f);
  ClosePath();
}

void IGraphics::PathCircle(float cx, float cy, float r) {
  MoveTo(cx, cy - r);
  AddArc(cx, cy, r, 0.f, 360.f);
  ClosePath();
}

void IGraphics::PathEllipse(float x, float y, float r1, float r2, float angle) {
  if (!(r1 > 0.f) || !(r2 > 0.f)) return;
  PathTransformSave();
  PathTransformTranslate(x, y);
  PathTransformRotate(angle);
  PathTransformScale(r1, r2);
  PathCircle(0.f, 0.f, 1.f);
  PathTransformRestore();
}

void IGraphics::PathEllipse(const IBox& bounds) {
  PathEllipse(bounds.MW(), bounds.MH(), bounds.W() / 2.f, bounds.H() / 2.f);
}

void IGraphics::PathConvexPolygon(const float* x, const float* y, int npoints) {
  if (!x || !y || npoints < 1) return;
  MoveTo(x[0], y[0]);
  for (int i = 1; i < npoints; ++i) LineTo(x[i], y[i]);
  ClosePath();
}

void IGraphics::PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3) {
  MoveTo(x1, y1);
  LineTo(x2, y2);
  LineTo(x3, y3);
  ClosePath();
}

// ---- Shapes ----

void IGraphics::DrawPoint(const IArgb& color, float x, float y, const IBlendSpec* blend) {
  FillRect(color, IBox(x, y, x + 1.f, y + 1.f), blend);
}

void IGraphics::DrawLine(const IArgb& color, float x1, float y1, float x2, float y2,
                         const IBlendSpec* blend, float thickness) {
  ClearPath();
  MoveTo(x1, y1);
  LineTo(x2, y2);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawDottedLine(const IArgb& color, float x1, float y1, float x2, float y2,
                               const IBlendSpec* blend, float thickness, float dashLen) {
  ClearPath();
  MoveTo(x1, y1);
  LineTo(x2, y2);
  StrokePath(IPaint(color), thickness, Dashed(dashLen), blend);
}

void IGraphics::DrawTriangle(const IArgb& color, float x1, float y1, float x2, float y2, float x3,
                             float y3, const IBlendSpec* blend, float thickness) {
  ClearPath();
  PathTriangle(x1, y1, x2, y2, x3, y3);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawRect(const IArgb& color, const IBox& bounds, const IBlendSpec* blend,
                         float thickness) {
  ClearPath();
  PathRect(bounds);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawRoundedRectEach(const IArgb& color, const IBox& bounds, float cRTL, float cRTR,
                                    float cRBL, float cRBR, const IBlendSpec* blend,
                                    float thickness) {
  ClearPath();
  PathRoundRect(bounds, cRTL, cRTR, cRBL, cRBR);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawRoundedRect(const IArgb& color, const IBox& bounds, float cornerRadius,
                                const IBlendSpec* blend, float thickness) {
  ClearPath();
  PathRoundRect(bounds, cornerRadius);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawArc(const IArgb& color, float cx, float cy, float r, float a1, float a2,
                        const IBlendSpec* blend, float thickness) {
  ClearPath();
  AddArc(cx, cy, r, a1, a2);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawCircle(const IArgb& color, float cx, float cy, float r, const IBlendSpec* blend,
                           float thickness) {
  ClearPath();
  PathCircle(cx, cy, r);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawEllipseRotated(const IArgb& color, float x, float y, float r1, float r2,
                                   float angle, const IBlendSpec* blend, float thickness) {
  ClearPath();
  PathEllipse(x, y, r1, r2, angle);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawEllipse(const IArgb& color, const IBox& bounds, const IBlendSpec* blend,
                            float thickness) {
  ClearPath();
  PathEllipse(bounds);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawPolygon(const IArgb& color, const float* x, const float* y, int npoints,
                            const IBlendSpec* blend, float thickness) {
  ClearPath();
  PathConvexPolygon(x, y, npoints);
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawDashedRect(const IArgb& color, const IBox& bounds, const IBlendSpec* blend,
                               float thickness, float dashLen) {
  ClearPath();
  PathRect(bounds);
  StrokePath(IPaint(color), thickness, Dashed(dashLen), blend);
}

void IGraphics::FillTriangle(const IArgb& color, float x1, float y1, float x2, float y2, float x3,
                             float y3, const IBlendSpec* blend) {
  ClearPath();
  PathTriangle(x1, y1, x2, y2, x3, y3);
  FillPath(IPaint(color), IFillStyle(), blend);
}

void IGraphics::FillRect(const IArgb& color, const IBox& bounds, const IBlendSpec* blend) {
  ClearPath();
  PathRect(bounds);
  FillPath(IPaint(color), IFillStyle(), blend);
}

void IGraphics::FillRoundedRectEach(const IArgb& color, const IBox& bounds, float cRTL, float cRTR,
                                    float cRBL, float cRBR, const IBlendSpec* blend) {
  ClearPath();
  PathRoundRect(bounds, cRTL, cRTR, cRBL, cRBR);
  FillPath(IPaint(color), IFillStyle(), blend);
}

void IGraphics::FillRoundedRect(const IArgb& color, const IBox& bounds, float cornerRadius,
                                const IBlendSpec* blend) {
  ClearPath();
  PathRoundRect(bounds, cornerRadius);
  FillPath(IPaint(color), IFillStyle(), blend);
}

void IGraphics::FillCircle(const IArgb& color, float cx, float cy, float r,
                           const IBlendSpec* blend) {
  ClearPath();
  PathCircle(cx, cy, r);
  FillPath(IPaint(color), IFillStyle(), blend);
}

void IGraphics::FillEllipseRotated(const IArgb& color, float x, float y, float r1, float r2,
                                   float angle, const IBlendSpec* blend) {
  ClearPath();
  PathEllipse(x, y, r1, r2, angle);
  FillPath(IPaint(color), IFillStyle(), blend);
}

void IGraphics::FillEllipse(const IArgb& color, const IBox& bounds, const IBlendSpec* blend) {
  ClearPath();
  PathEllipse(bounds);
  FillPath(IPaint(color), IFillStyle(), blend);
}

void IGraphics::FillArc(const IArgb& color, float cx, float cy, float r, float a1, float a2,
                        const IBlendSpec* blend) {
  ClearPath();
  MoveTo(cx, cy);
  AddArc(cx, cy, r, a1, a2);
  ClosePath();
  FillPath(IPaint(color), IFillStyle(), blend);
}

void IGraphics::FillPolygon(const IArgb& color, const float* x, const float* y, int npoints,
                            const IBlendSpec* blend) {
  ClearPath();
  PathConvexPolygon(x, y, npoints);
  FillPath(IPaint(color), IFillStyle(), blend);
}

void IGraphics::DrawGrid(const IArgb& color, const IBox& bounds, float gridW, float gridH,
                         const IBlendSpec* blend, float thickness) {
  ClearPath();
  // A grid step that is not finite would never reach the far edge.
  if (Finite(gridW) && gridW > 1.f && bounds.R > bounds.L + gridW) {
    for (float x = bounds.L + gridW; x < bounds.R; x += gridW) {
      MoveTo(x, bounds.T);
      LineTo(x, bounds.B);
    }
  }
  if (Finite(gridH) && gridH > 1.f && bounds.B > bounds.T + gridH) {
    for (float y = bounds.T + gridH; y < bounds.B; y += gridH) {
      MoveTo(bounds.L, y);
      LineTo(bounds.R, y);
    }
  }
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

void IGraphics::DrawPlot(const IArgb& color, const IBox& bounds, const float* ys, int n,
                         const float* xs, const IBlendSpec* blend, float thickness,
                         const IArgb* fillColor) {
  if (!ys || n <= 0) return;
  ClearPath();
  const float w = bounds.W(), h = bounds.H();
  MoveTo(bounds.L, bounds.B - h * ys[0]);
  for (int i = 1; i < n; ++i) {
    const float x = xs ? bounds.L + w * xs[i] : bounds.L + w / static_cast<float>(n - 1) * i;
    LineTo(x, bounds.B - h * ys[i]);
  }
  if (fillColor) {
    IFillStyle keep;
    keep.preserve = true;
    FillPath(IPaint(*fillColor), keep, blend);
  }
  StrokePath(IPaint(color), thickness, IStrokeStyle(), blend);
}

// ---- Bitmaps ----

void IGraphics::DrawBitmapFrame(const IBitmapHandle& bitmap, const IBox& bounds, int frame,
                                const IBlendSpec* blend) {
  if (!bitmap.IsValid()) return;
  int srcX = 0, srcY = 0;
  if (bitmap.N() >= 2) {
    frame = std::clamp(frame, 1, bitmap.N());
    if (frame >= 2) {
      srcX = bitmap.FrameX(frame);
      srcY = bitmap.FrameY(frame);
    }
  }
  DrawBitmap(bitmap, bounds, srcX, srcY, blend);
}

void IGraphics::DrawBitmapFitted(const IBitmapHandle& bitmap, const IBox& bounds,
                                 const IBlendSpec* blend) {
  // A bitmap smaller than one unit has no size to fit.
  if (!bitmap.IsValid() || bitmap.W() <= 0 || bitmap.H() <= 0) return;
  PathTransformSave();
  PathTransformTranslate(bounds.L, bounds.T);
  PathTransformScale(bounds.W() / static_cast<float>(bitmap.W()),
                     bounds.H() / static_cast<float>(bitmap.H()));
  DrawBitmap(bitmap, IBox(0.f, 0.f, static_cast<float>(bitmap.W()), static_cast<float>(bitmap.H())),
             0, 0, blend);
  PathTransformRestore();
}

void IGraphics::DrawBitmapRotated(const IBitmapHandle& bitmap, float cx, float cy, float angle,
                                  const IBlendSpec* blend) {
  if (!bitmap.IsValid()) return;
  const float drawScale = bitmap.GetAPIBitmap()->DrawScale();
  if (!(drawScale > 0.f)) return;
  const float w = static_cast<float>(bitmap.W()) / drawScale;
  const float h = static_cast<float>(bitmap.H()) / drawScale;
  PathTransformSave();
  PathTransformTranslate(cx, cy);
  PathTransformRotate(angle);
  DrawBitmap(bitmap, IBox(-w / 2.f, -h / 2.f, w / 2.f, h / 2.f), 0, 0, blend);
  PathTransformRestore();
}

// ---- SVG ----

void IGraphics::DrawSvgDocument(const ISvgDocument& svg, const IBox& bounds,
                                const IBlendSpec* blend, const IArgb* strokeColor,
                                const IArgb* fillColor) {
  // A document without an extent cannot be fitted anywhere.
  if (!svg.IsValid() || !(svg.W() > 0.f) || !(svg.H() > 0.f)) return;
  const float k = std::min(bounds.W() / svg.W(), bounds.H() / svg.H());
  if (!Finite(k)) return;
  PathTransformSave();
  PathTransformTranslate(bounds.L, bounds.T);
  PathTransformScale(k, k);
  DrawSvgImage(*svg.image, blend, strokeColor, fillColor);
  PathTransformRestore();
}

void IGraphics::DrawSvgDocumentRotated(const ISvgDocument& svg, float cx, float cy, float w,
                                       float h, float angle, const IBlendSpec* blend) {
  PathTransformSave();
  PathTransformTranslate(cx, cy);
  PathTransformRotate(angle);
  DrawSvgDocument(svg, IBox(-w / 2.f, -h / 2.f, w / 2.f, h / 2.f), blend, nullptr, nullptr);
  PathTransformRestore();
}

// ---- Text ----

float IGraphics::MeasureText(const ITextStyle& style, const char* str, IBox& bounds) const {
  if (!str || !*str) return 0.f;
  return MeasureTextImpl(style, str, bounds);
}

void IGraphics::DrawText(const ITextStyle& style, const char* str, const IBox& bounds,
                         const IBlendSpec* blend) {
  if (str && *str) DrawTextImpl(style, str, bounds, blend);
}

void IGraphics::DrawTextLines(const ITextStyle& style, const char* str, const IBox& bounds,
                              const IBlendSpec* blend) {
  DrawTextImpl(style, "Unsupported", bounds, blend);
}

void IGraphics::CalculateTextRotation(const ITextStyle& style, const IBox& bounds, IBox& rect,
                                      double& tx, double& ty) const {
  if (style.angle == 0.f) return;
  ITransform2D rotation;
  rotation.Rotate(style.angle);
  double xs[4] = {rect.L, rect.R, rect.R, rect.L};
  double ys[4] = {rect.T, rect.T, rect.B, rect.B};
  double l = 0, t = 0, r = 0, b = 0;
  for (int i = 0; i < 4; ++i) {
    rotation.TransformPoint(xs[i], ys[i]);
    l = i ? std::min(l, xs[i]) : xs[i];
    r = i ? std::max(r, xs[i]) : xs[i];
    t = i ? std::min(t, ys[i]) : ys[i];
    b = i ? std::max(b, ys[i]) : ys[i];
  }
  const IBox box(static_cast<float>(l), static_cast<float>(t), static_cast<float>(r),
                 static_cast<float>(b));
  switch (style.align) {
    case EHAlign::Left:
      tx = bounds.L - box.L;
      break;
    case EHAlign::Center:
      tx = bounds.MW() - box.MW();
      break;
    case EHAlign::Right:
      tx = bounds.R - box.R;
      break;
  }
  switch (style.valign) {
    case EVAlign::Top:
      ty = bounds.T - box.T;
      break;
    case EVAlign::Middle:
      ty = bounds.MH() - box.MH();
      break;
    case EVAlign::Bottom:
      ty = bounds.B - box.B;
      break;
  }
  rect = IBox(box.L + static_cast<float>(tx), box.T + static_cast<float>(ty),
              box.R + static_cast<float>(tx), box.B + static_cast<float>(ty));
}

// ---- Layer shadow ----

void IGraphics::ApplyShadowToLayer(IOffscreenLayer& layer, const IDropShadowSpec& shadow) {
  std::vector<uint8_t> pixels;
  ReadLayerPixels(layer, pixels);
  if (pixels.empty() || !layer.bitmap) return;

  const APIBitmap& bitmap = *layer.bitmap;
  const int width = bitmap.Width(), height = bitmap.Height();
  if (width <= 0 || height <= 0) return;
  // Rows are padded to a multiple of 8 pixels.
  const int rowPixels = (width + 7) / 8 * 8;
  if (pixels.size() < static_cast<size_t>(rowPixels) * 4u * static_cast<size_t>(height)) return;

  const float size = bitmap.DrawScale() * bitmap.Scale() * shadow.blurSize + 1.f;
  const double d = std::max(1.0, Finite(size) ? static_cast<double>(size) : 1.0);
  // A blur wider than the layer spreads nothing further.
  const int m =
      static_cast<int>(std::min(std::ceil(d), static_cast<double>(std::max(width, height))));
  const double e = 4.5 / (d * d);
  std::vector<int> kernel(static_cast<size_t>(m));
  int sum = 0;
  for (int i = 0; i < m; ++i) {
    kernel[static_cast<size_t>(i)] = static_cast<int>(std::lround(255.0 * std::exp(-i * i * e)));
    sum += (i ? 2 : 1) * kernel[static_cast<size_t>(i)];
  }
  if (sum <= 0) sum = 1;

  const int alpha = AlphaChannelIndex();
  const bool flipped = IsBitmapFlipped();
  auto at = [&](int x, int y) -> uint8_t& {
    const int row = flipped ? height - 1 - y : y;
    return pixels[(static_cast<size_t>(row) * static_cast<size_t>(rowPixels) +
                   static_cast<size_t>(x)) *
                      4u +
                  static_cast<size_t>(alpha)];
  };

  // Two separable passes over the alpha bytes: along rows, then along columns.
  std::vector<uint8_t> line(static_cast<size_t>(std::max(width, height)));
  auto blurLine = [&](int n, auto&& get) {
    for (int i = 0; i < n; ++i) line[static_cast<size_t>(i)] = get(i);
    for (int i = 0; i < n; ++i) {
      int acc = 0;
      for (int j = -(m - 1); j <= m - 1; ++j) {
        const int k = i + j;
        if (k < 0 || k >= n) continue;
        acc += kernel[static_cast<size_t>(std::abs(j))] * line[static_cast<size_t>(k)];
      }
      get(i) = static_cast<uint8_t>(std::min(255, acc / sum));
    }
  };
  for (int y = 0; y < height; ++y) blurLine(width, [&](int x) -> uint8_t& { return at(x, y); });
  for (int x = 0; x < width; ++x) blurLine(height, [&](int y) -> uint8_t& { return at(x, y); });

  CompositeShadowMask(layer, pixels, shadow);
}

}  // namespace iplug::igraphics
