#include "graphics/cairo/IGraphicsCairo.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "graphics/cairo/CairoFonts.h"
#include "graphics/cairo/CairoImage.h"
#include "graphics/cairo/CairoPaint.h"
#include "graphics/cairo/CairoSvg.h"

namespace iplug::igraphics {

using namespace cairo_backend;

namespace {

// Cairo's own limit for image surfaces.
constexpr int kMaxSurfaceSide = 32767;
// Below this a transform squashes the plane to a line: nothing can be mapped back through it.
constexpr double kSingularDeterminant = 1e-12;
// The single-precision pi of the graphics context's own rotations.
constexpr double kPi = static_cast<double>(3.1415927f);
// Arcs become cubic curves of at most a quarter turn, whose error is far below a pixel.
constexpr double kMaxArcSegmentDegrees = 90.0;

bool Finite(double v) {
  return std::isfinite(v);
}

template <typename... T>
bool Finite(double v, T... rest) {
  return std::isfinite(v) && Finite(rest...);
}

bool Finite(const IBox& r) {
  return Finite(r.L, r.T, r.R, r.B);
}

bool Invertible(const cairo_matrix_t& m) {
  const double det = m.xx * m.yy - m.xy * m.yx;
  return Finite(m.xx, m.yx, m.xy, m.yy, m.x0, m.y0, det) && std::fabs(det) > kSingularDeterminant;
}

cairo_matrix_t ToCairo(const ITransform2D& t) {
  cairo_matrix_t m;
  cairo_matrix_init(&m, t.xx, t.yx, t.xy, t.yy, t.tx, t.ty);
  return m;
}

bool IsIdentity(const ITransform2D& t) {
  return t == ITransform2D();
}

cairo_surface_t* NewSurface(cairo_format_t format, int w, int h) {
  cairo_surface_t* surface = cairo_image_surface_create(format, w, h);
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) return surface;
  cairo_surface_destroy(surface);
  return nullptr;
}

// The clip is pixel-exact, as the regions handed in are already aligned to device pixels.
void ClipRectangle(cairo_t* cr, double x, double y, double w, double h) {
  cairo_new_path(cr);
  cairo_rectangle(cr, x, y, w, h);
  const cairo_antialias_t antialias = cairo_get_antialias(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  cairo_clip(cr);
  cairo_set_antialias(cr, antialias);
}

// Each corner one cubic quarter circle: cairo_arc would split a huge radius into as many
// pieces as its tolerance asks, which for absurd sizes takes seconds.
void RoundedRectangle(cairo_t* cr, const IBox& r, double radius) {
  radius = std::clamp(radius, 0.0, std::min<double>(r.W(), r.H()) / 2.0);
  const double k = radius * (1.0 - 0.5522847498);  // the control points' inset from the corner
  cairo_new_sub_path(cr);
  cairo_move_to(cr, r.L + radius, r.T);
  cairo_line_to(cr, r.R - radius, r.T);
  cairo_curve_to(cr, r.R - k, r.T, r.R, r.T + k, r.R, r.T + radius);
  cairo_line_to(cr, r.R, r.B - radius);
  cairo_curve_to(cr, r.R, r.B - k, r.R - k, r.B, r.R - radius, r.B);
  cairo_line_to(cr, r.L + radius, r.B);
  cairo_curve_to(cr, r.L + k, r.B, r.L, r.B - k, r.L, r.B - radius);
  cairo_line_to(cr, r.L, r.T + radius);
  cairo_curve_to(cr, r.L, r.T + k, r.L + k, r.T, r.L + radius, r.T);
  cairo_close_path(cr);
}

void ApplyStroke(cairo_t* cr, float thickness, const IStrokeStyle& options) {
  switch (options.cap) {
    case ECapStyle::Round:
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
      break;
    case ECapStyle::Square:
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
      break;
    default:
      cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
  }
  switch (options.join) {
    case EJoinStyle::Round:
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
      break;
    case EJoinStyle::Bevel:
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_BEVEL);
      break;
    default:
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_MITER);
  }
  const float miter = options.miterLimit;
  cairo_set_miter_limit(cr, std::isfinite(miter) && miter >= 0.f ? miter : 10.0);

  // An odd dash list is repeated once, so on and off swap on the second pass. A list that
  // Cairo would refuse (negative, not finite, all zero) strokes solid.
  const int n = std::clamp(options.dash.count, 0, IStrokeStyle::kMaxDashes);
  if (n > 0) {
    double dashes[2 * IStrokeStyle::kMaxDashes];
    const int m = n % 2 ? 2 * n : n;
    double sum = 0.0;
    bool valid = true;
    for (int i = 0; i < m; ++i) {
      dashes[i] = options.dash.array[i % n];
      valid = valid && std::isfinite(dashes[i]) && dashes[i] >= 0.0;
      sum += dashes[i];
    }
    if (valid && sum > 0.0 && std::isfinite(sum)) {
      const float offset = options.dash.offset;
      cairo_set_dash(cr, dashes, m, std::isfinite(offset) ? offset : 0.0);
    }
  }

  if (thickness > 0.f) {
    cairo_set_line_width(cr, thickness);
  } else {
    // Zero width is a hairline: one device pixel, whatever the transform.
    cairo_identity_matrix(cr);
    cairo_set_line_width(cr, 1.0);
  }
}

// ---- Text ----

struct TextLayout {
  std::shared_ptr<const CairoTypeface> face;
  std::string text;
  double fontSize = 0.0;
  double x = 0.0;
  double y = 0.0;
  double width = 0.0;
  IBox rect;
};

bool LayOutText(const ITextStyle& style, const char* str, const IBox& bounds, TextLayout& out) {
  if (!str || !Finite(bounds) || !std::isfinite(style.size) || !(style.size > 0.f)) return false;
  out.face = FindTypeface(std::string(style.fontID, strnlen(style.fontID, sizeof style.fontID)));
  if (!out.face) return false;

  // The style's size is the height from ascender to descender, not the em size.
  const double upem = out.face->UnitsPerEM();
  const double extent = out.face->Ascender() - out.face->Descender();
  out.fontSize = style.size * upem / extent;
  if (out.fontSize > kMaxGlyphPixels) return false;
  out.text = ValidUtf8(str);

  cairo_matrix_t size, identity;
  cairo_matrix_init_scale(&size, out.fontSize, out.fontSize);
  cairo_matrix_init_identity(&identity);
  cairo_font_options_t* options = TextFontOptions();
  cairo_scaled_font_t* font = cairo_scaled_font_create(out.face->Face(), &size, &identity, options);
  cairo_font_options_destroy(options);
  cairo_text_extents_t extents{};
  if (cairo_scaled_font_status(font) == CAIRO_STATUS_SUCCESS)
    cairo_scaled_font_text_extents(font, out.text.c_str(), &extents);
  const bool ok = cairo_scaled_font_status(font) == CAIRO_STATUS_SUCCESS;
  cairo_scaled_font_destroy(font);
  if (!ok || !std::isfinite(extents.x_advance)) return false;

  const double w = extents.x_advance;
  const double a = -out.face->Ascender() * out.fontSize / upem;  // negative: above the baseline
  const double d = -out.face->Descender() * out.fontSize / upem;
  switch (style.align) {
    case EHAlign::Left:
      out.x = bounds.L;
      break;
    case EHAlign::Right:
      out.x = bounds.R - w;
      break;
    default:
      out.x = bounds.MW() - w / 2.0;
  }
  switch (style.valign) {
    case EVAlign::Top:
      out.y = bounds.T - a;
      break;
    case EVAlign::Bottom:
      out.y = bounds.B - d;
      break;
    default:
      out.y = bounds.MH() - d + style.size / 2.0;
  }
  out.width = w;
  out.rect = IBox(static_cast<float>(out.x), static_cast<float>(out.y + a),
                  static_cast<float>(out.x + w), static_cast<float>(out.y + a + style.size));
  return true;
}

}  // namespace

// ---- Bitmaps ----

CairoBitmap::CairoBitmap(cairo_surface_t* surface, float scale, float drawScale)
    : APIBitmap(surface, surface ? cairo_image_surface_get_width(surface) : 0,
                surface ? cairo_image_surface_get_height(surface) : 0, scale, drawScale) {}

CairoBitmap::~CairoBitmap() {
  if (Surface()) cairo_surface_destroy(Surface());
}

// ---- Construction and the surface ----

IGraphicsCairo::IGraphicsCairo(IGEditorDelegate& delegate, int width, int height, int fps,
                               float drawScale)
    : IGraphics(delegate, width, height, fps, drawScale) {}

IGraphicsCairo::~IGraphicsCairo() {
  if (mLayerCr) cairo_destroy(mLayerCr);
  mLayerCr = nullptr;
  DestroySurface();
}

void IGraphicsCairo::DestroySurface() {
  if (mCr == mMainCr) {
    mCr = nullptr;
    mTarget = nullptr;
  }
  if (mMainCr) cairo_destroy(mMainCr);
  if (mSurface) cairo_surface_destroy(mSurface);
  mMainCr = nullptr;
  mSurface = nullptr;
}

void IGraphicsCairo::OnSurfaceCreated(void*) {
  OnSurfaceResize();
}

void IGraphicsCairo::OnSurfaceDestroyed() {
  ClearControls();
}

void IGraphicsCairo::OnSurfaceResize() {
  const float ds = GetDrawScale(), ss = GetScreenScale();
  const float w = static_cast<float>(Width()) * ds, h = static_cast<float>(Height()) * ds;
  DestroySurface();
  if (Finite(w, h, ss) && w >= 0.f && h >= 0.f && ss > 0.f && w < kMaxSurfaceSide &&
      h < kMaxSurfaceSide) {
    const double pw = std::ceil(static_cast<int>(w) * static_cast<double>(ss));
    const double ph = std::ceil(static_cast<int>(h) * static_cast<double>(ss));
    if (pw > 0.0 && ph > 0.0 && pw <= kMaxSurfaceSide && ph <= kMaxSurfaceSide) {
      mSurface = NewSurface(CAIRO_FORMAT_ARGB32, static_cast<int>(pw), static_cast<int>(ph));
      if (mSurface) mMainCr = cairo_create(mSurface);
    }
  }
  mHasRegion = false;
  if (mLayers.empty()) {
    mCr = mMainCr;
    mTarget = mSurface;
    if (mCr) ApplyState(mCr);
  }
}

void IGraphicsCairo::EndFrame() {
  if (!mSurface) return;
  cairo_surface_flush(mSurface);
  PresentFrame();
}

const uint8_t* IGraphicsCairo::SurfacePixels() const {
  if (!mSurface) return nullptr;
  cairo_surface_flush(mSurface);
  return cairo_image_surface_get_data(mSurface);
}

int IGraphicsCairo::SurfaceWidth() const {
  return mSurface ? cairo_image_surface_get_width(mSurface) : 0;
}

int IGraphicsCairo::SurfaceHeight() const {
  return mSurface ? cairo_image_surface_get_height(mSurface) : 0;
}

int IGraphicsCairo::SurfaceStride() const {
  return mSurface ? cairo_image_surface_get_stride(mSurface) : 0;
}

bool IGraphicsCairo::WriteSurfacePng(const std::string& path) const {
  return mSurface && cairo_surface_write_to_png(mSurface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

bool IGraphicsCairo::WriteBitmapPng(const APIBitmap& bitmap, const std::string& path) {
  const auto* cairoBitmap = dynamic_cast<const CairoBitmap*>(&bitmap);
  return cairoBitmap && cairoBitmap->Surface() &&
         cairo_surface_write_to_png(cairoBitmap->Surface(), path.c_str()) == CAIRO_STATUS_SUCCESS;
}

// ---- Drawing state ----

cairo_t* IGraphicsCairo::Canvas() {
  if (!mCr || !mTarget) return nullptr;
  if (cairo_status(mCr) == CAIRO_STATUS_SUCCESS) return mCr;
  // An error disables a cairo_t for good; a fresh one on the same surface draws again.
  cairo_t* fresh = cairo_create(mTarget);
  if (cairo_status(fresh) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(fresh);
    return nullptr;
  }
  if (mCr == mMainCr) {
    cairo_destroy(mMainCr);
    mMainCr = fresh;
  } else {
    cairo_destroy(mLayerCr);
    mLayerCr = fresh;
  }
  mCr = fresh;
  ApplyState(mCr);
  return mCr;
}

cairo_matrix_t IGraphicsCairo::ClipMatrix() const {
  const double s = BackingScale();
  double originX = 0.0, originY = 0.0;
  if (const IOffscreenLayer* layer = TopLayer()) {
    originX = layer->bounds.L;
    originY = layer->bounds.T;
  }
  cairo_matrix_t m;
  cairo_matrix_init(&m, s, 0.0, 0.0, s, -s * originX, -s * originY);
  return m;
}

bool IGraphicsCairo::FinalMatrix(cairo_matrix_t& m) const {
  const cairo_matrix_t clip = ClipMatrix();
  const cairo_matrix_t transform = ToCairo(mMatrix);
  cairo_matrix_multiply(&m, &transform, &clip);
  return Invertible(transform) && Invertible(clip) && Invertible(m);
}

void IGraphicsCairo::ApplyMatrix(cairo_t* cr) {
  cairo_matrix_t m;
  if (!FinalMatrix(m)) {
    // Never hand Cairo a singular matrix: it would disable the context.
    m = ClipMatrix();
    if (!Invertible(m)) cairo_matrix_init_identity(&m);
  }
  cairo_set_matrix(cr, &m);
}

void IGraphicsCairo::ApplyState(cairo_t* cr) {
  cairo_reset_clip(cr);
  cairo_new_path(cr);
  if (mHasRegion) {
    const cairo_matrix_t clip = ClipMatrix();
    if (Invertible(clip)) cairo_set_matrix(cr, &clip);
    if (Finite(mRegion) && Invertible(clip) && mRegion.W() > 0.f && mRegion.H() > 0.f)
      ClipRectangle(cr, mRegion.L, mRegion.T, mRegion.W(), mRegion.H());
    else
      ClipRectangle(cr, 0, 0, 0, 0);
  }
  ApplyMatrix(cr);
}

void IGraphicsCairo::SetPathTransform(const ITransform2D& transform) {
  mMatrix = transform;
  if (mCr) ApplyMatrix(mCr);
}

void IGraphicsCairo::BeginRegion(const IBox& region) {
  mRegion = region;
  mHasRegion = true;
  if (cairo_t* cr = Canvas()) ApplyState(cr);
}

void IGraphicsCairo::RefreshLayerSurface() {
  if (mLayerCr) {
    if (mCr == mLayerCr) mCr = nullptr;
    cairo_destroy(mLayerCr);
    mLayerCr = nullptr;
  }
  if (mLayers.empty()) {
    mCr = mMainCr;
    mTarget = mSurface;
  } else {
    // A layer without pixels swallows what is drawn into it.
    const auto* bitmap = dynamic_cast<const CairoBitmap*>(mLayers.top()->bitmap.get());
    mTarget = bitmap ? bitmap->Surface() : nullptr;
    if (mTarget) {
      mLayerCr = cairo_create(mTarget);
      mCr = mLayerCr;
    } else {
      mCr = nullptr;
    }
  }
  mHasRegion = false;
  if (mCr) ApplyState(mCr);
}

bool IGraphicsCairo::DeviceClipExtents(cairo_t* cr, int& x0, int& y0, int& x1, int& y1) const {
  cairo_save(cr);
  cairo_identity_matrix(cr);
  double l = 0, t = 0, r = 0, b = 0;
  cairo_clip_extents(cr, &l, &t, &r, &b);
  cairo_restore(cr);
  const int w = cairo_image_surface_get_width(mTarget);
  const int h = cairo_image_surface_get_height(mTarget);
  x0 = static_cast<int>(std::clamp(std::floor(l), 0.0, static_cast<double>(w)));
  y0 = static_cast<int>(std::clamp(std::floor(t), 0.0, static_cast<double>(h)));
  x1 = static_cast<int>(std::clamp(std::ceil(r), 0.0, static_cast<double>(w)));
  y1 = static_cast<int>(std::clamp(std::ceil(b), 0.0, static_cast<double>(h)));
  return x1 > x0 && y1 > y0;
}

// The graphics context expects every blend to be composited with the shape's coverage as a lerp
// between the destination and (source OP destination). Cairo does that too, but only for its
// bounded operators; for the others the same result is made by computing source OP destination
// in a group and laying it over the destination through the coverage mask.
void IGraphicsCairo::CompositeUnbounded(cairo_t* cr, const cairo_matrix_t& ctm,
                                        const std::function<bool(cairo_t*)>& setSource,
                                        cairo_operator_t op, cairo_surface_t* mask, int maskX,
                                        int maskY) {
  cairo_save(cr);
  cairo_identity_matrix(cr);
  cairo_push_group(cr);
  cairo_set_source_surface(cr, mTarget, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_set_matrix(cr, &ctm);
  const bool haveSource = setSource(cr);
  cairo_identity_matrix(cr);
  cairo_set_operator(cr, op);
  if (haveSource) cairo_paint(cr);
  cairo_pop_group_to_source(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_mask_surface(cr, mask, maskX, maskY);
  cairo_restore(cr);
}

// ---- Paths ----

bool IGraphicsCairo::Map(double& x, double& y) {
  mMatrix.TransformPoint(x, y);
  if (Finite(x, y)) return true;
  mPathInvalid = true;
  return false;
}

void IGraphicsCairo::Append(PathOp::Kind kind, const double* pts, int n) {
  PathOp op{kind, {}};
  for (int i = 0; i < n; ++i) op.pts[i] = pts[i];
  mPath.push_back(op);
  if (n >= 2) {
    mCurrentX = pts[n - 2];
    mCurrentY = pts[n - 1];
    mHasCurrentPoint = true;
  }
  if (kind == PathOp::Move) {
    mSubpathX = mCurrentX;
    mSubpathY = mCurrentY;
  }
}

void IGraphicsCairo::EnsureCurrentPoint() {
  // A segment without a start begins at the origin of the path's space.
  if (mHasCurrentPoint) return;
  const double origin[2] = {0.0, 0.0};
  Append(PathOp::Move, origin, 2);
}

void IGraphicsCairo::ClearPath() {
  mPath.clear();
  mPathInvalid = false;
  mHasCurrentPoint = false;
}

void IGraphicsCairo::ClosePath() {
  // Closing an empty or already closed contour adds nothing.
  if (mPath.empty() || mPath.back().kind == PathOp::Close || mPath.back().kind == PathOp::Move)
    return;
  mPath.push_back(PathOp{PathOp::Close, {}});
  mCurrentX = mSubpathX;
  mCurrentY = mSubpathY;
}

void IGraphicsCairo::MoveTo(float x, float y) {
  double p[2] = {x, y};
  if (Map(p[0], p[1])) Append(PathOp::Move, p, 2);
}

void IGraphicsCairo::LineTo(float x, float y) {
  double p[2] = {x, y};
  if (!Map(p[0], p[1])) return;
  EnsureCurrentPoint();
  Append(PathOp::Line, p, 2);
}

void IGraphicsCairo::CubicTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) {
  double p[6] = {c1x, c1y, c2x, c2y, x2, y2};
  if (!Map(p[0], p[1]) || !Map(p[2], p[3]) || !Map(p[4], p[5])) return;
  EnsureCurrentPoint();
  Append(PathOp::Curve, p, 6);
}

void IGraphicsCairo::QuadTo(float cx, float cy, float x2, float y2) {
  double q[4] = {cx, cy, x2, y2};
  if (!Map(q[0], q[1]) || !Map(q[2], q[3])) return;
  EnsureCurrentPoint();
  // The cubic with the same curve: control points two thirds of the way to the quad's one.
  const double p[6] = {mCurrentX + 2.0 / 3.0 * (q[0] - mCurrentX),
                       mCurrentY + 2.0 / 3.0 * (q[1] - mCurrentY),
                       q[2] + 2.0 / 3.0 * (q[0] - q[2]),
                       q[3] + 2.0 / 3.0 * (q[1] - q[3]),
                       q[2],
                       q[3]};
  Append(PathOp::Curve, p, 6);
}

// Angles arrive as the graphics context counts them: degrees, 0 at twelve o'clock, clockwise.
// Here they are measured from three o'clock, still clockwise as the y axis points down.
void IGraphicsCairo::AddArc(float cx, float cy, float r, float a1, float a2) {
  if (!Finite(cx, cy, r, a1, a2)) {
    mPathInvalid = true;
    return;
  }
  const double radius = std::fabs(static_cast<double>(r));
  auto at = [&](double degrees, double* out) {
    const double t = degrees * kPi / 180.0;
    out[0] = cx + radius * std::cos(t);
    out[1] = cy + radius * std::sin(t);
  };
  // The quarter-turn cubic from a0 to a1 degrees, control points on the tangents.
  auto segment = [&](double d0, double d1) {
    const double k = 4.0 / 3.0 * std::tan((d1 - d0) * kPi / 180.0 / 4.0) * radius;
    const double t0 = d0 * kPi / 180.0, t1 = d1 * kPi / 180.0;
    double p[6];
    at(d1, p + 4);
    p[0] = cx + radius * std::cos(t0) - k * std::sin(t0);
    p[1] = cy + radius * std::sin(t0) + k * std::cos(t0);
    p[2] = p[4] + k * std::sin(t1);
    p[3] = p[5] - k * std::cos(t1);
    for (int i = 0; i < 6; i += 2)
      if (!Map(p[i], p[i + 1])) return;
    Append(PathOp::Curve, p, 6);
  };

  const double sweep = static_cast<double>(a2) - a1;
  if (std::fabs(sweep) >= 360.0) {
    // A full circle is a contour of its own.
    double p[2];
    at(0.0, p);
    if (!Map(p[0], p[1])) return;
    Append(PathOp::Move, p, 2);
    for (int i = 0; i < 4; ++i) segment(i * 90.0, (i + 1) * 90.0);
    ClosePath();
    return;
  }

  double s = std::fmod(sweep, 360.0);
  if (s < 0.0) s += 360.0;
  const double start = static_cast<double>(a1) - 90.0;
  double p[2];
  at(start, p);
  if (!Map(p[0], p[1])) return;
  Append(mHasCurrentPoint ? PathOp::Line : PathOp::Move, p, 2);
  const int n = static_cast<int>(std::ceil(s / kMaxArcSegmentDegrees));
  for (int i = 0; i < n; ++i) segment(start + s * i / n, start + s * (i + 1) / n);
}

bool IGraphicsCairo::EmitPath(cairo_t* cr, const cairo_matrix_t* inverse) const {
  cairo_new_path(cr);
  for (const PathOp& op : mPath) {
    double p[6];
    std::memcpy(p, op.pts, sizeof p);
    const int n = op.kind == PathOp::Curve ? 6 : op.kind == PathOp::Close ? 0 : 2;
    for (int i = 0; i < n; i += 2) {
      if (inverse) cairo_matrix_transform_point(inverse, &p[i], &p[i + 1]);
      if (!Finite(p[i], p[i + 1])) {
        cairo_new_path(cr);
        return false;
      }
    }
    switch (op.kind) {
      case PathOp::Move:
        cairo_move_to(cr, p[0], p[1]);
        break;
      case PathOp::Line:
        cairo_line_to(cr, p[0], p[1]);
        break;
      case PathOp::Curve:
        cairo_curve_to(cr, p[0], p[1], p[2], p[3], p[4], p[5]);
        break;
      case PathOp::Close:
        cairo_close_path(cr);
        break;
    }
  }
  return true;
}

// The path is kept in transformed coordinates. Drawn through the inverse of the transform
// under the full matrix, it lands where it was built while stroke widths, dashes and gradients
// follow the transform. A singular transform has no inverse: the path is drawn as it is.
bool IGraphicsCairo::PreparePath(cairo_t* cr, cairo_matrix_t& ctm) {
  if (mPathInvalid || mPath.empty()) return false;
  const cairo_matrix_t clip = ClipMatrix();
  if (!Invertible(clip)) return false;
  cairo_matrix_t final;
  if (FinalMatrix(final)) {
    ctm = final;
    cairo_set_matrix(cr, &ctm);
    if (IsIdentity(mMatrix)) return EmitPath(cr, nullptr);
    cairo_matrix_t inverse = ToCairo(mMatrix);
    cairo_matrix_invert(&inverse);
    return EmitPath(cr, &inverse);
  }
  ctm = clip;
  cairo_set_matrix(cr, &ctm);
  return EmitPath(cr, nullptr);
}

void IGraphicsCairo::StrokePath(const IPaint& pattern, float thickness, const IStrokeStyle& options,
                                const IBlendSpec* blend) {
  cairo_t* cr = Canvas();
  if (cr && std::isfinite(thickness)) {
    cairo_save(cr);
    cairo_matrix_t ctm;
    if (PreparePath(cr, ctm)) {
      const cairo_operator_t op = Operator(blend);
      auto setSource = [&](cairo_t* c) { return SetPaintSource(c, pattern, blend); };
      if (!IsUnbounded(op)) {
        if (setSource(cr)) {
          ApplyStroke(cr, thickness, options);
          cairo_set_operator(cr, op);
          cairo_stroke(cr);
        }
      } else if (int x0, y0, x1, y1; DeviceClipExtents(cr, x0, y0, x1, y1)) {
        // The stroke's coverage, in device pixels of the clip's extent.
        cairo_path_t* path = cairo_copy_path(cr);
        cairo_surface_t* mask = NewSurface(CAIRO_FORMAT_A8, x1 - x0, y1 - y0);
        if (mask && path->status == CAIRO_STATUS_SUCCESS) {
          cairo_t* mcr = cairo_create(mask);
          cairo_matrix_t offset, m;
          cairo_matrix_init_translate(&offset, -x0, -y0);
          cairo_matrix_multiply(&m, &ctm, &offset);
          cairo_set_matrix(mcr, &m);
          cairo_append_path(mcr, path);
          ApplyStroke(mcr, thickness, options);
          cairo_stroke(mcr);
          cairo_destroy(mcr);
          cairo_new_path(cr);
          CompositeUnbounded(cr, ctm, setSource, op, mask, x0, y0);
        }
        if (mask) cairo_surface_destroy(mask);
        cairo_path_destroy(path);
      }
    }
    cairo_new_path(cr);
    cairo_restore(cr);
  }
  if (!options.preserve) ClearPath();
}

void IGraphicsCairo::FillPath(const IPaint& pattern, const IFillStyle& options,
                              const IBlendSpec* blend) {
  if (cairo_t* cr = Canvas()) {
    cairo_save(cr);
    cairo_matrix_t ctm;
    if (PreparePath(cr, ctm) && SetPaintSource(cr, pattern, blend)) {
      cairo_set_fill_rule(cr, options.rule == EWindingRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD
                                                                    : CAIRO_FILL_RULE_WINDING);
      const cairo_operator_t op = Operator(blend);
      cairo_set_operator(cr, op);
      if (IsUnbounded(op)) {
        // Clipped to the shape, the operator cannot reach beyond it.
        cairo_clip(cr);
        cairo_paint(cr);
      } else {
        cairo_fill(cr);
      }
    }
    cairo_new_path(cr);
    cairo_restore(cr);
  }
  if (!options.preserve) ClearPath();
}

// ---- Bitmaps ----

bool IGraphicsCairo::SupportsImageType(const char* name) const {
  if (!name) return false;
  std::string lower = name;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("png") != std::string::npos || lower.find("jpg") != std::string::npos ||
         lower.find("jpeg") != std::string::npos;
}

std::unique_ptr<APIBitmap> IGraphicsCairo::DecodeBitmap(const char* name, const void* data,
                                                        int size, int scale) {
  if (!data || size <= 0) return nullptr;
  cairo_surface_t* surface =
      DecodeImage(static_cast<const uint8_t*>(data), static_cast<size_t>(size));
  if (!surface) return nullptr;
  return std::make_unique<CairoBitmap>(surface, static_cast<float>(std::max(scale, 1)), 1.f);
}

std::unique_ptr<APIBitmap> IGraphicsCairo::DecodeBitmap(const char* path, int scale,
                                                        int locationKind, const char* ext) {
  // Only what the module carries: a file on disk never becomes a picture of the editor.
  if (locationKind != static_cast<int>(EResourceLocation::Module) || !path) return nullptr;
  int size = 0;
  const uint8_t* bytes = ModuleResourceBytes(path, ext ? ext : "", size);
  if (!bytes || size <= 0) return nullptr;
  return DecodeBitmap(path, bytes, size, scale);
}

std::unique_ptr<APIBitmap> IGraphicsCairo::NewBackendBitmap(int width, int height, float scale,
                                                            float drawScale, bool cacheable) {
  const bool sane =
      width >= 0 && height >= 0 && width <= kMaxSurfaceSide && height <= kMaxSurfaceSide;
  cairo_surface_t* surface = NewSurface(CAIRO_FORMAT_ARGB32, sane ? width : 0, sane ? height : 0);
  if (!surface) surface = NewSurface(CAIRO_FORMAT_ARGB32, 0, 0);
  return std::make_unique<CairoBitmap>(surface, scale, drawScale);
}

void IGraphicsCairo::DrawBitmap(const IBitmapHandle& bitmap, const IBox& dest, int srcX, int srcY,
                                const IBlendSpec* blend) {
  const auto* source = dynamic_cast<const CairoBitmap*>(bitmap.GetAPIBitmap());
  if (!source || !source->Surface() || !Finite(dest)) return;
  const double b = static_cast<double>(source->Scale()) * source->DrawScale();
  cairo_t* cr = Canvas();
  cairo_matrix_t ctm;
  if (!(b > 0.0) || !std::isfinite(b) || !cr || !FinalMatrix(ctm)) return;
  cairo_surface_t* image = source->Surface();
  if (image == mTarget) return;

  // The pixels that can land in dest: from the source offset, dest's size at the bitmap's
  // density, within the image.
  const int iw = cairo_image_surface_get_width(image), ih = cairo_image_surface_get_height(image);
  const double sx = srcX * b, sy = srcY * b;
  auto pixel = [](double v, int hi) {
    return static_cast<int>(std::clamp(std::round(v), 0.0, static_cast<double>(hi)));
  };
  const int x0 = pixel(sx, iw), y0 = pixel(sy, ih);
  const int x1 = pixel(sx + dest.W() * b, iw), y1 = pixel(sy + dest.H() * b, ih);
  if (x1 <= x0 || y1 <= y0) return;

  cairo_save(cr);
  ClipRectangle(cr, dest.L, dest.T, dest.W(), dest.H());
  cairo_translate(cr, dest.L, dest.T);
  cairo_scale(cr, 1.0 / b, 1.0 / b);
  cairo_translate(cr, -sx, -sy);
  const cairo_operator_t op = Operator(blend);
  const double alpha = WeightAlpha(blend);
  // Each frame of a film strip is drawn from a sub-surface of its own that pads at its edges,
  // so the filter never reaches into the neighbouring frame, also when a whole strip is drawn
  // at another scale. The image's own edges bound the drawing too, which keeps the unbounded
  // operators in.
  const int n = std::max(1, bitmap.N());
  const bool horizontal = bitmap.FramesAreHorizontal();
  for (int k = 0; k < n; ++k) {
    int fx0 = x0, fy0 = y0, fx1 = x1, fy1 = y1;
    if (horizontal) {
      fx0 = std::max(x0, k * iw / n);
      fx1 = std::min(x1, (k + 1) * iw / n);
    } else {
      fy0 = std::max(y0, k * ih / n);
      fy1 = std::min(y1, (k + 1) * ih / n);
    }
    if (fx1 <= fx0 || fy1 <= fy0) continue;
    cairo_surface_t* frame =
        cairo_surface_create_for_rectangle(image, fx0, fy0, fx1 - fx0, fy1 - fy0);
    cairo_save(cr);
    ClipRectangle(cr, fx0, fy0, fx1 - fx0, fy1 - fy0);
    cairo_set_source_surface(cr, frame, fx0, fy0);
    cairo_pattern_t* pattern = cairo_get_source(cr);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_BILINEAR);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    cairo_set_operator(cr, op);
    cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
    cairo_surface_destroy(frame);
  }
  cairo_restore(cr);
}

IArgb IGraphicsCairo::GetPoint(int x, int y) {
  if (!mTarget) return COLOR_TRANSPARENT;
  cairo_surface_flush(mTarget);
  const int w = cairo_image_surface_get_width(mTarget), h = cairo_image_surface_get_height(mTarget);
  const uint8_t* data = cairo_image_surface_get_data(mTarget);
  if (!data || x < 0 || y < 0 || x >= w || y >= h) return COLOR_TRANSPARENT;
  uint32_t v;
  std::memcpy(&v,
              data + static_cast<size_t>(y) * cairo_image_surface_get_stride(mTarget) +
                  static_cast<size_t>(x) * 4u,
              sizeof v);
  return IArgb(static_cast<int>(v >> 24), static_cast<int>((v >> 16) & 0xFF),
               static_cast<int>((v >> 8) & 0xFF), static_cast<int>(v & 0xFF));
}

// ---- Shadows ----

void IGraphicsCairo::DrawQuickShadow(const IBox& inner, const IBox& outer, float offset,
                                     float roundness, float blur, const IBlendSpec* blend) {
  if (!Finite(inner) || !Finite(offset, roundness, blur)) return;
  const IBox r(inner.L + offset, inner.T + offset, inner.R + offset, inner.B + offset);
  if (!(r.W() > 0.f) || !(r.H() > 0.f)) return;
  cairo_t* cr = Canvas();
  cairo_matrix_t ctm;
  if (!cr || !FinalMatrix(ctm)) return;

  // The blur follows the transform: its sigma is in graphics units.
  const double sigma =
      std::max(0.0, blur * 0.5) * std::sqrt(std::fabs(ctm.xx * ctm.yy - ctm.xy * ctm.yx));
  const double pad = std::ceil(3.0 * sigma) + 2.0;
  double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
  const double corners[4][2] = {{r.L, r.T}, {r.R, r.T}, {r.R, r.B}, {r.L, r.B}};
  for (const auto& corner : corners) {
    double x = corner[0], y = corner[1];
    cairo_matrix_transform_point(&ctm, &x, &y);
    left = std::min(left, x);
    top = std::min(top, y);
    right = std::max(right, x);
    bottom = std::max(bottom, y);
  }
  int x0, y0, x1, y1;
  if (!DeviceClipExtents(cr, x0, y0, x1, y1)) return;
  // The shadow's reach, within the clip; the limits keep a huge blur from overflowing.
  x0 = std::max(x0, static_cast<int>(std::max(std::floor(left - pad), -1e9)));
  y0 = std::max(y0, static_cast<int>(std::max(std::floor(top - pad), -1e9)));
  x1 = std::min(x1, static_cast<int>(std::min(std::ceil(right + pad), 1e9)));
  y1 = std::min(y1, static_cast<int>(std::min(std::ceil(bottom + pad), 1e9)));
  if (x1 <= x0 || y1 <= y0) return;

  cairo_surface_t* mask = NewSurface(CAIRO_FORMAT_A8, x1 - x0, y1 - y0);
  if (!mask) return;
  cairo_t* mcr = cairo_create(mask);
  cairo_matrix_t shift, m;
  cairo_matrix_init_translate(&shift, -x0, -y0);
  cairo_matrix_multiply(&m, &ctm, &shift);
  cairo_set_matrix(mcr, &m);
  RoundedRectangle(mcr, r, roundness);
  cairo_fill(mcr);
  cairo_destroy(mcr);
  BlurAlpha(mask, sigma);

  const double alpha = WeightedAlpha(COLOR_BLACK_DROP_SHADOW.A, blend) / 255.0;
  auto setSource = [alpha](cairo_t* c) {
    cairo_set_source_rgba(c, 0.0, 0.0, 0.0, alpha);
    return true;
  };
  const cairo_operator_t op = Operator(blend);
  if (IsUnbounded(op)) {
    CompositeUnbounded(cr, ctm, setSource, op, mask, x0, y0);
  } else {
    cairo_save(cr);
    cairo_identity_matrix(cr);
    setSource(cr);
    cairo_set_operator(cr, op);
    cairo_mask_surface(cr, mask, x0, y0);
    cairo_restore(cr);
  }
  cairo_surface_destroy(mask);
}

void IGraphicsCairo::ReadLayerPixels(IOffscreenLayer& layer, std::vector<uint8_t>& data) {
  data.clear();
  const auto* bitmap = dynamic_cast<const CairoBitmap*>(layer.bitmap.get());
  if (!bitmap || !bitmap->Surface()) return;
  cairo_surface_t* surface = bitmap->Surface();
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  const uint8_t* pixels = cairo_image_surface_get_data(surface);
  if (!pixels || w <= 0 || h <= 0) return;
  // Rows are padded to a multiple of 8 pixels, as the shadow blur expects.
  const size_t row = static_cast<size_t>((w + 7) / 8 * 8) * 4u;
  const int stride = cairo_image_surface_get_stride(surface);
  data.assign(row * static_cast<size_t>(h), 0);
  for (int y = 0; y < h; ++y)
    std::memcpy(data.data() + row * static_cast<size_t>(y),
                pixels + static_cast<size_t>(stride) * static_cast<size_t>(y),
                static_cast<size_t>(w) * 4u);
}

void IGraphicsCairo::CompositeShadowMask(IOffscreenLayer& layer, const std::vector<uint8_t>& mask,
                                         const IDropShadowSpec& shadow) {
  const auto* bitmap = dynamic_cast<const CairoBitmap*>(layer.bitmap.get());
  if (!bitmap || !bitmap->Surface()) return;
  cairo_surface_t* surface = bitmap->Surface();
  const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
  const size_t rowPixels = static_cast<size_t>((w + 7) / 8 * 8);
  if (w <= 0 || h <= 0 || mask.size() < rowPixels * 4u * static_cast<size_t>(h)) return;
  const double b = static_cast<double>(bitmap->Scale()) * bitmap->DrawScale();
  if (!(b > 0.0) || !std::isfinite(b) || !Finite(layer.bounds)) return;

  // Only the blurred alpha of the mask matters: the pattern is composited in to it.
  cairo_surface_t* alpha = NewSurface(CAIRO_FORMAT_A8, w, h);
  if (!alpha) return;
  cairo_surface_flush(alpha);
  uint8_t* a8 = cairo_image_surface_get_data(alpha);
  const int a8Stride = cairo_image_surface_get_stride(alpha);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      a8[static_cast<size_t>(y) * a8Stride + x] =
          mask[(static_cast<size_t>(y) * rowPixels + static_cast<size_t>(x)) * 4u + 3u];
  cairo_surface_mark_dirty(alpha);

  cairo_surface_t* foreground = nullptr;
  if (shadow.drawForeground) {
    foreground = NewSurface(CAIRO_FORMAT_ARGB32, w, h);
    if (foreground) {
      cairo_t* copy = cairo_create(foreground);
      cairo_set_source_surface(copy, surface, 0, 0);
      cairo_set_operator(copy, CAIRO_OPERATOR_SOURCE);
      cairo_paint(copy);
      cairo_destroy(copy);
    }
  }

  cairo_t* cr = cairo_create(surface);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  // The pattern lives in graphics units of the layer, its origin at the layer's top left.
  cairo_scale(cr, b, b);
  cairo_translate(cr, -layer.bounds.L, -layer.bounds.T);
  const float opacity = std::isfinite(shadow.opacity) ? std::clamp(shadow.opacity, 0.f, 1.f) : 0.f;
  const IBlendSpec weight(ECompositeOp::SrcIn, opacity);
  if (SetPaintSource(cr, shadow.pattern, &weight)) {
    cairo_identity_matrix(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    const double dx = Finite(shadow.xOffset) ? shadow.xOffset * b : 0.0;
    const double dy = Finite(shadow.yOffset) ? shadow.yOffset * b : 0.0;
    cairo_mask_surface(cr, alpha, dx, dy);
  }
  if (foreground) {
    cairo_identity_matrix(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
    cairo_set_source_surface(cr, foreground, 0, 0);
    cairo_paint(cr);
    cairo_surface_destroy(foreground);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(alpha);
}

// ---- Text ----

bool IGraphicsCairo::LoadBackendFont(const char* fontID, PlatformFont& font) {
  if (!fontID) return false;
  if (FindTypeface(fontID)) return true;
  std::shared_ptr<const CairoTypeface> face = CairoTypeface::Create(font.GetFontBlob());
  if (!face) return false;
  StoreTypeface(fontID, std::move(face));
  return true;
}

float IGraphicsCairo::MeasureTextImpl(const ITextStyle& style, const char* str,
                                      IBox& bounds) const {
  TextLayout layout;
  if (!LayOutText(style, str, bounds, layout)) {
    bounds = IBox();
    return 0.f;
  }
  const IBox area = bounds;
  bounds = layout.rect;
  if (style.angle != 0.f && std::isfinite(style.angle)) {
    double tx = 0.0, ty = 0.0;
    CalculateTextRotation(style, area, bounds, tx, ty);
  }
  return static_cast<float>(layout.width);
}

void IGraphicsCairo::DrawTextImpl(const ITextStyle& style, const char* str, const IBox& bounds,
                                  const IBlendSpec* blend) {
  TextLayout layout;
  if (!LayOutText(style, str, bounds, layout)) return;
  cairo_t* cr = Canvas();
  cairo_matrix_t ctm;
  if (!cr || !FinalMatrix(ctm)) return;
  // Glyphs are rasterised at the font size times the transform's largest stretch.
  const double stretch = std::max(std::hypot(ctm.xx, ctm.yx), std::hypot(ctm.xy, ctm.yy));
  if (layout.fontSize * stretch > kMaxGlyphPixels) return;

  cairo_save(cr);
  cairo_set_matrix(cr, &ctm);
  if (style.angle != 0.f && std::isfinite(style.angle)) {
    IBox rect = layout.rect;
    double tx = 0.0, ty = 0.0;
    CalculateTextRotation(style, bounds, rect, tx, ty);
    cairo_translate(cr, tx, ty);
    cairo_rotate(cr, style.angle * kPi / 180.0);
  }
  const IArgb& c = style.fgColor;
  cairo_set_source_rgba(cr, std::clamp(c.R, 0, 255) / 255.0, std::clamp(c.G, 0, 255) / 255.0,
                        std::clamp(c.B, 0, 255) / 255.0, WeightedAlpha(c.A, blend) / 255.0);
  cairo_set_font_face(cr, layout.face->Face());
  cairo_set_font_size(cr, layout.fontSize);
  cairo_font_options_t* options = TextFontOptions();
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
  cairo_move_to(cr, layout.x, layout.y);
  cairo_show_text(cr, layout.text.c_str());
  cairo_new_path(cr);
  cairo_restore(cr);
}

void IGraphicsCairo::DrawTextLines(const ITextStyle& style, const char* str, const IBox& bounds,
                                   const IBlendSpec* blend) {
  if (str && *str) DrawTextImpl(style, str, bounds, blend);
}

// ---- SVG ----

std::unique_ptr<SvgImage> IGraphicsCairo::ParseSvgDocument(const char* text, int size,
                                                           const char* units, float dpi) {
  return CairoSvgImage::Parse(text, size, units, dpi);
}

void IGraphicsCairo::DrawSvgImage(const SvgImage& svg, const IBlendSpec* blend,
                                  const IArgb* strokeColor, const IArgb* fillColor) {
  const auto* image = dynamic_cast<const CairoSvgImage*>(&svg);
  cairo_t* cr = Canvas();
  cairo_matrix_t ctm;
  if (!image || !cr || !FinalMatrix(ctm)) return;
  const cairo_operator_t op = Operator(blend);
  const double alpha = WeightAlpha(blend);
  cairo_save(cr);
  cairo_set_matrix(cr, &ctm);
  if (op == CAIRO_OPERATOR_OVER && alpha >= 1.0) {
    image->Render(cr, strokeColor, fillColor);
  } else {
    if (IsUnbounded(op)) ClipRectangle(cr, 0, 0, image->Width(), image->Height());
    cairo_push_group(cr);
    image->Render(cr, strokeColor, fillColor);
    cairo_pop_group_to_source(cr);
    cairo_set_operator(cr, op);
    cairo_paint_with_alpha(cr, alpha);
  }
  cairo_new_path(cr);
  cairo_restore(cr);
}

}  // namespace iplug::igraphics
