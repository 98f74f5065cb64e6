#include "graphics/cairo/CairoPaint.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace iplug::igraphics::cairo_backend {

namespace {

// Cairo interpolates gradient stops in premultiplied colour, the graphics context's patterns
// are defined unpremultiplied. Between two stops of different alpha the difference is a
// parabola; this many straight pieces keep it under one level of 255.
constexpr int kPiecesPerAlphaStep = 8;

double Weight(const IBlendSpec* blend) {
  const float w = BlendWeight(blend);
  if (!(w > 0.f)) return 0.0;  // NaN too
  return w > 1.f ? 1.0 : static_cast<double>(w);
}

int Channel(int value) {
  return std::clamp(value, 0, 255);
}

struct Stop {
  double offset;
  double r, g, b, a;  // 0..1, unpremultiplied
};

Stop MakeStop(const IGradientStop& stop, const IBlendSpec* blend) {
  const float offset = stop.offset;
  const double clamped =
      std::isfinite(offset) ? std::clamp(static_cast<double>(offset), 0.0, 1.0) : 0.0;
  return Stop{clamped, Channel(stop.color.R) / 255.0, Channel(stop.color.G) / 255.0,
              Channel(stop.color.B) / 255.0, WeightedAlpha(stop.color.A, blend) / 255.0};
}

void AddStop(cairo_pattern_t* pattern, const Stop& s) {
  cairo_pattern_add_color_stop_rgba(pattern, s.offset, s.r, s.g, s.b, s.a);
}

void AddStops(cairo_pattern_t* pattern, const IPaint& paint, const IBlendSpec* blend) {
  const int n = std::clamp(paint.nStops, 0, IPaint::kMaxStops);
  std::vector<Stop> stops;
  stops.reserve(static_cast<size_t>(n) + 2);
  for (int i = 0; i < n; ++i) {
    Stop s = MakeStop(paint.stops[i], blend);
    // Offsets never run backwards; a stop placed before its predecessor sits on it.
    if (!stops.empty()) s.offset = std::max(s.offset, stops.back().offset);
    stops.push_back(s);
  }
  // The first and last colours reach the ends of the gradient, whatever the extend mode.
  if (stops.front().offset > 0.0) {
    Stop first = stops.front();
    first.offset = 0.0;
    stops.insert(stops.begin(), first);
  }
  if (stops.back().offset < 1.0) {
    Stop last = stops.back();
    last.offset = 1.0;
    stops.push_back(last);
  }

  for (size_t i = 0; i + 1 < stops.size(); ++i) {
    const Stop& s0 = stops[i];
    const Stop& s1 = stops[i + 1];
    AddStop(pattern, s0);
    if (s0.a == s1.a || s1.offset <= s0.offset) continue;
    for (int k = 1; k < kPiecesPerAlphaStep; ++k) {
      const double t = static_cast<double>(k) / kPiecesPerAlphaStep;
      AddStop(pattern,
              Stop{s0.offset + t * (s1.offset - s0.offset), s0.r + t * (s1.r - s0.r),
                   s0.g + t * (s1.g - s0.g), s0.b + t * (s1.b - s0.b), s0.a + t * (s1.a - s0.a)});
    }
  }
  AddStop(pattern, stops.back());
}

cairo_extend_t Extend(EPaintExtend extend) {
  switch (extend) {
    case EPaintExtend::None:
      return CAIRO_EXTEND_NONE;
    case EPaintExtend::Reflect:
      return CAIRO_EXTEND_REFLECT;
    case EPaintExtend::Repeat:
      return CAIRO_EXTEND_REPEAT;
    case EPaintExtend::Pad:
    default:
      return CAIRO_EXTEND_PAD;
  }
}

bool Finite(const ITransform2D& t) {
  return std::isfinite(t.xx) && std::isfinite(t.yx) && std::isfinite(t.xy) && std::isfinite(t.yy) &&
         std::isfinite(t.tx) && std::isfinite(t.ty);
}

}  // namespace

double WeightAlpha(const IBlendSpec* blend) {
  return std::clamp(std::trunc(Weight(blend) * 255.0), 0.0, 255.0) / 255.0;
}

int WeightedAlpha(int alpha, const IBlendSpec* blend) {
  if (!blend) return Channel(alpha);
  return Channel(static_cast<int>(std::trunc(Channel(alpha) * Weight(blend))));
}

cairo_operator_t Operator(const IBlendSpec* blend) {
  if (!blend) return CAIRO_OPERATOR_OVER;
  switch (blend->op) {
    case ECompositeOp::SrcOver:
      return CAIRO_OPERATOR_OVER;
    case ECompositeOp::SrcIn:
      return CAIRO_OPERATOR_IN;
    case ECompositeOp::SrcOut:
      return CAIRO_OPERATOR_OUT;
    case ECompositeOp::SrcAtop:
      return CAIRO_OPERATOR_ATOP;
    case ECompositeOp::DstOver:
      return CAIRO_OPERATOR_DEST_OVER;
    case ECompositeOp::DstIn:
      return CAIRO_OPERATOR_DEST_IN;
    case ECompositeOp::DstOut:
      return CAIRO_OPERATOR_DEST_OUT;
    case ECompositeOp::DstAtop:
      return CAIRO_OPERATOR_DEST_ATOP;
    case ECompositeOp::Add:
      return CAIRO_OPERATOR_ADD;
    case ECompositeOp::Xor:
      return CAIRO_OPERATOR_XOR;
  }
  return CAIRO_OPERATOR_CLEAR;
}

bool IsUnbounded(cairo_operator_t op) {
  return op == CAIRO_OPERATOR_IN || op == CAIRO_OPERATOR_OUT || op == CAIRO_OPERATOR_DEST_IN ||
         op == CAIRO_OPERATOR_DEST_ATOP;
}

bool SetPaintSource(cairo_t* cr, const IPaint& paint, const IBlendSpec* blend) {
  if (paint.kind == EPaintKind::Solid || paint.nStops < 2) {
    const IArgb& c = paint.stops[0].color;
    cairo_set_source_rgba(cr, Channel(c.R) / 255.0, Channel(c.G) / 255.0, Channel(c.B) / 255.0,
                          WeightedAlpha(c.A, blend) / 255.0);
    return true;
  }
  if (paint.kind != EPaintKind::Linear && paint.kind != EPaintKind::Radial) return false;

  const ITransform2D& t = paint.transform;
  const double det = t.xx * t.yy - t.xy * t.yx;
  if (!Finite(t) || !std::isfinite(det) || std::fabs(det) < 1e-12) return false;
  // p0 and p1: the points of graphics space that the pattern maps to (0, 0) and (0, 1).
  const double ixx = t.yy / det, iyx = -t.yx / det, ixy = -t.xy / det, iyy = t.xx / det;
  const double itx = -(ixx * t.tx + ixy * t.ty), ity = -(iyx * t.tx + iyy * t.ty);
  const double x0 = itx, y0 = ity;
  const double x1 = ixy + itx, y1 = iyy + ity;
  if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
    return false;

  cairo_pattern_t* pattern =
      paint.kind == EPaintKind::Linear
          ? cairo_pattern_create_linear(x0, y0, x1, y1)
          : cairo_pattern_create_radial(x0, y0, 0.0, x0, y0, std::hypot(x1 - x0, y1 - y0));
  AddStops(pattern, paint, blend);
  cairo_pattern_set_extend(pattern, Extend(paint.extend));
  const bool ok = cairo_pattern_status(pattern) == CAIRO_STATUS_SUCCESS;
  if (ok) cairo_set_source(cr, pattern);
  cairo_pattern_destroy(pattern);
  return ok;
}

}  // namespace iplug::igraphics::cairo_backend
