// Draws the editor's artwork and writes it as PNG files:
//
//   corvane_artwork_generator <output folder> <Roboto font folder>
//
// Everything is drawn from code, so the pictures can be changed and reviewed like source. The
// output depends only on the code, the fonts and the libraries: the noise has fixed seeds and
// nothing reads the clock or the locale.
#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "plugin/editor/ArtworkLayout.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

double Clamp01(double v) {
  return v < 0 ? 0 : (v > 1 ? 1 : v);
}

double SmoothStep(double edge0, double edge1, double x) {
  const double t = Clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3 - 2 * t);
}

double Mix(double a, double b, double t) {
  return a + (b - a) * t;
}

struct Rgb {
  double r = 0, g = 0, b = 0;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
  return {Mix(a.r, b.r, t), Mix(a.g, b.g, t), Mix(a.b, b.b, t)};
}

Rgb Grey(double v) {
  return {v, v, v};
}

Rgb Bytes(int r, int g, int b) {
  return {r / 255.0, g / 255.0, b / 255.0};
}

struct Rgba {
  double r = 0, g = 0, b = 0, a = 0;
};

Rgba Opaque(const Rgb& c) {
  return {c.r, c.g, c.b, 1};
}

// splitmix64: the same numbers on every machine, unlike the distributions of <random>.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In −1 … 1.
  double Signed() { return static_cast<double>(Next() >> 11) / 4503599627370496.0 - 1.0; }

 private:
  uint64_t state_;
};

// ---------------------------------------------------------------------------------------------
// Surfaces

// Pixels per point of the pictures being drawn: 1 for the plain set, 2 for the "@2x" one. Every
// shape is given in editor points and every surface carries this as its device scale, so the
// same drawing code makes both sets; only the per-pixel work (shading, blurs, noise) asks for it.
double gDensity = 1;

int Pixels(double points) {
  return static_cast<int>(std::lround(points * gDensity));
}

struct Surface {
  cairo_surface_t* s;
  explicit Surface(int w, int h)
      : s(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, Pixels(w), Pixels(h))) {
    cairo_surface_set_device_scale(s, gDensity, gDensity);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;
  ~Surface() { cairo_surface_destroy(s); }
  int PixelWidth() const { return cairo_image_surface_get_width(s); }
  int PixelHeight() const { return cairo_image_surface_get_height(s); }
};

struct Context {
  cairo_t* cr;
  explicit Context(const Surface& surface) : cr(cairo_create(surface.s)) {}
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;
  ~Context() { cairo_destroy(cr); }
};

uint32_t* Row(cairo_surface_t* s, int y) {
  return reinterpret_cast<uint32_t*>(cairo_image_surface_get_data(s) +
                                     static_cast<size_t>(y) * cairo_image_surface_get_stride(s));
}

uint8_t ToByte(double v) {
  return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0));
}

// Evaluates a colour function at ss × ss points of every pixel of the box and composites the
// average over what the surface holds. Shapes that need exact edges (the knob's rings, the
// panel's noise) are drawn this way; paths and text go through Cairo.
// The box and the colour function's coordinates are in points.
template <class F>
void Shade(cairo_surface_t* s, int x0, int y0, int x1, int y1, int ss, F&& colour) {
  cairo_surface_flush(s);
  const int px0 = std::max(Pixels(x0), 0), py0 = std::max(Pixels(y0), 0);
  const int px1 = std::min(Pixels(x1), cairo_image_surface_get_width(s));
  const int py1 = std::min(Pixels(y1), cairo_image_surface_get_height(s));
  const double weight = 1.0 / (ss * ss);
  for (int y = py0; y < py1; ++y) {
    uint32_t* row = Row(s, y);
    for (int x = px0; x < px1; ++x) {
      double r = 0, g = 0, b = 0, a = 0;
      for (int sy = 0; sy < ss; ++sy) {
        for (int sx = 0; sx < ss; ++sx) {
          const Rgba c = colour((x + (sx + 0.5) / ss) / gDensity, (y + (sy + 0.5) / ss) / gDensity);
          r += c.r * c.a;
          g += c.g * c.a;
          b += c.b * c.a;
          a += c.a;
        }
      }
      r *= weight, g *= weight, b *= weight, a *= weight;
      const uint32_t p = row[x];
      const double keep = 1 - a;
      const double da = (p >> 24) / 255.0, dr = ((p >> 16) & 255) / 255.0,
                   dg = ((p >> 8) & 255) / 255.0, db = (p & 255) / 255.0;
      row[x] = (uint32_t(ToByte(a + da * keep)) << 24) | (uint32_t(ToByte(r + dr * keep)) << 16) |
               (uint32_t(ToByte(g + dg * keep)) << 8) | uint32_t(ToByte(b + db * keep));
    }
  }
  cairo_surface_mark_dirty(s);
}

// Three box blurs of every channel: close enough to a Gaussian for shadows. The radius is in
// points.
void Blur(cairo_surface_t* s, int points) {
  const int radius = Pixels(points);
  if (radius <= 0) return;
  cairo_surface_flush(s);
  const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
  std::vector<double> plane(static_cast<size_t>(w) * h), line;
  for (int channel = 0; channel < 4; ++channel) {
    const int shift = channel * 8;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) plane[size_t(y) * w + x] = (Row(s, y)[x] >> shift) & 255;
    for (int pass = 0; pass < 6; ++pass) {
      const bool horizontal = pass % 2 == 0;
      const int n = horizontal ? w : h, lines = horizontal ? h : w;
      line.assign(n, 0);
      for (int l = 0; l < lines; ++l) {
        auto at = [&](int i) -> double& {
          return horizontal ? plane[size_t(l) * w + i] : plane[size_t(i) * w + l];
        };
        for (int i = 0; i < n; ++i) line[i] = at(i);
        double sum = 0;
        for (int i = -radius; i <= radius; ++i) sum += (i >= 0 && i < n) ? line[i] : 0;
        for (int i = 0; i < n; ++i) {
          at(i) = sum / (2 * radius + 1);
          const int out = i - radius, in = i + radius + 1;
          if (out >= 0) sum -= line[out];
          if (in < n) sum += line[in];
        }
      }
    }
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        uint32_t& p = Row(s, y)[x];
        const uint32_t v = uint32_t(std::clamp(std::lround(plane[size_t(y) * w + x]), 0l, 255l));
        p = (p & ~(255u << shift)) | (v << shift);
      }
    }
  }
  cairo_surface_mark_dirty(s);
}

using PathFn = std::function<void(cairo_t*)>;

// A blurred copy of a shape, offset and painted in a colour: drop shadows and glows.
void SoftShape(cairo_t* cr, int w, int h, const PathFn& path, int blur, double dx, double dy,
               const Rgb& colour, double alpha) {
  Surface layer(w, h);
  {
    Context c(layer);
    cairo_translate(c.cr, dx, dy);
    path(c.cr);
    cairo_set_source_rgb(c.cr, colour.r, colour.g, colour.b);
    cairo_fill(c.cr);
  }
  Blur(layer.s, blur);
  cairo_save(cr);
  cairo_set_source_surface(cr, layer.s, 0, 0);
  cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
}

// The shadow a rim casts into a recess: everything outside the shape, blurred and shifted,
// painted only inside it.
void InnerShadow(cairo_t* cr, int w, int h, const PathFn& path, int blur, double dx, double dy,
                 double alpha) {
  Surface layer(w, h);
  {
    Context c(layer);
    cairo_set_source_rgb(c.cr, 0, 0, 0);
    cairo_paint(c.cr);
    cairo_set_operator(c.cr, CAIRO_OPERATOR_CLEAR);
    cairo_translate(c.cr, dx, dy);
    path(c.cr);
    cairo_fill(c.cr);
  }
  Blur(layer.s, blur);
  cairo_save(cr);
  path(cr);
  cairo_clip(cr);
  cairo_set_source_surface(cr, layer.s, 0, 0);
  cairo_paint_with_alpha(cr, alpha);
  cairo_restore(cr);
}

void Ellipse(cairo_t* cr, double cx, double cy, double rx, double ry) {
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_scale(cr, rx, ry);
  cairo_new_sub_path(cr);
  cairo_arc(cr, 0, 0, 1, 0, 2 * kPi);
  cairo_restore(cr);
}

void Circle(cairo_t* cr, double cx, double cy, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, cx, cy, r, 0, 2 * kPi);
}

void RoundedRect(cairo_t* cr, double x0, double y0, double x1, double y1, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x1 - r, y0 + r, r, -kPi / 2, 0);
  cairo_arc(cr, x1 - r, y1 - r, r, 0, kPi / 2);
  cairo_arc(cr, x0 + r, y1 - r, r, kPi / 2, kPi);
  cairo_arc(cr, x0 + r, y0 + r, r, kPi, 1.5 * kPi);
  cairo_close_path(cr);
}

void SetSource(cairo_t* cr, const Rgb& c, double alpha = 1) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

// A vertical gradient from top to bottom of a span, for rims lit from above.
void SetVerticalGradient(cairo_t* cr, double y0, double y1, const Rgb& top, const Rgb& bottom,
                         double alphaTop = 1, double alphaBottom = 1) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  cairo_pattern_add_color_stop_rgba(p, 0, top.r, top.g, top.b, alphaTop);
  cairo_pattern_add_color_stop_rgba(p, 1, bottom.r, bottom.g, bottom.b, alphaBottom);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

// ---------------------------------------------------------------------------------------------
// Text

class Fonts {
 public:
  explicit Fonts(const std::string& folder) {
    if (FT_Init_FreeType(&library_) != 0) Fail("FreeType does not start");
    regular = Load(folder + "/Roboto-Regular.ttf");
    medium = Load(folder + "/Roboto-Medium.ttf");
    bold = Load(folder + "/Roboto-Bold.ttf");
    light = Load(folder + "/Roboto-Light.ttf");
  }
  Fonts(const Fonts&) = delete;
  Fonts& operator=(const Fonts&) = delete;
  ~Fonts() {
    for (cairo_font_face_t* face : faces_) cairo_font_face_destroy(face);
    for (FT_Face face : ftFaces_) FT_Done_Face(face);
    FT_Done_FreeType(library_);
  }

  cairo_font_face_t* regular = nullptr;
  cairo_font_face_t* medium = nullptr;
  cairo_font_face_t* bold = nullptr;
  cairo_font_face_t* light = nullptr;

 private:
  [[noreturn]] static void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(1);
  }
  cairo_font_face_t* Load(const std::string& path) {
    FT_Face face = nullptr;
    if (FT_New_Face(library_, path.c_str(), 0, &face) != 0) Fail("cannot read " + path);
    ftFaces_.push_back(face);
    cairo_font_face_t* cairoFace = cairo_ft_font_face_create_for_ft_face(face, 0);
    faces_.push_back(cairoFace);
    return cairoFace;
  }

  FT_Library library_ = nullptr;
  std::vector<FT_Face> ftFaces_;
  std::vector<cairo_font_face_t*> faces_;
};

struct TextStyle {
  cairo_font_face_t* face;
  double size;
  double tracking;  // extra space after every letter, in pixels
};

// Unhinted outlines and fractional metrics: the same shapes at any position, and no dependence
// on the hinting settings of the machine.
void UseFont(cairo_t* cr, const TextStyle& style) {
  cairo_set_font_face(cr, style.face);
  cairo_set_font_size(cr, style.size);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_set_font_options(cr, options);
  cairo_font_options_destroy(options);
}

std::vector<cairo_glyph_t> Glyphs(cairo_t* cr, const TextStyle& style, const std::string& text,
                                  double& width) {
  UseFont(cr, style);
  cairo_glyph_t* glyphs = nullptr;
  int count = 0;
  cairo_scaled_font_text_to_glyphs(cairo_get_scaled_font(cr), 0, 0, text.data(),
                                   static_cast<int>(text.size()), &glyphs, &count, nullptr, nullptr,
                                   nullptr);
  std::vector<cairo_glyph_t> out(glyphs, glyphs + count);
  cairo_glyph_free(glyphs);
  for (int i = 0; i < count; ++i) out[i].x += i * style.tracking;
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  width = extents.x_advance + (count - 1) * style.tracking;
  return out;
}

struct TextBox {
  double x0, y0, x1, y1;
};

// Centred on x, standing on the baseline; returns the ink box, so that the layout can be checked.
TextBox Text(cairo_t* cr, const TextStyle& style, const std::string& text, double x,
             double baseline, const Rgb& colour, double alpha = 1) {
  double width = 0;
  std::vector<cairo_glyph_t> glyphs = Glyphs(cr, style, text, width);
  for (cairo_glyph_t& g : glyphs) g.x += x - width / 2, g.y += baseline;
  cairo_text_extents_t ink;
  cairo_glyph_extents(cr, glyphs.data(), static_cast<int>(glyphs.size()), &ink);
  SetSource(cr, colour, alpha);
  // As outlines: Cairo places shown glyphs on whole pixels, which spaces small letters unevenly.
  cairo_new_path(cr);
  cairo_glyph_path(cr, glyphs.data(), static_cast<int>(glyphs.size()));
  cairo_fill(cr);
  // The extents count from the first glyph's origin.
  const double ox = glyphs.empty() ? 0 : glyphs[0].x, oy = glyphs.empty() ? 0 : glyphs[0].y;
  return {ox + ink.x_bearing, oy + ink.y_bearing, ox + ink.x_bearing + ink.width,
          oy + ink.y_bearing + ink.height};
}

// Silk-screened lettering on metal: light ink with a faint dark edge below it.
TextBox PrintedLabel(cairo_t* cr, const TextStyle& style, const std::string& text, double x,
                     double baseline, const Rgb& ink = Bytes(196, 199, 204)) {
  Text(cr, style, text, x, baseline + 1, Grey(0), 0.55);
  return Text(cr, style, text, x, baseline, ink);
}

// ---------------------------------------------------------------------------------------------
// PNG

void WritePng(const Surface& surface, const std::string& path, bool alpha) {
  cairo_surface_flush(surface.s);
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    std::fprintf(stderr, "libpng failed on %s\n", path.c_str());
    std::exit(1);
  }
  png_init_io(png, file);
  const int w = surface.PixelWidth(), h = surface.PixelHeight();
  png_set_IHDR(png, info, w, h, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, 9);
  png_write_info(png, info);
  const int channels = alpha ? 4 : 3;
  std::vector<png_byte> line(static_cast<size_t>(w) * channels);
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = Row(surface.s, y);
    for (int x = 0; x < w; ++x) {
      const uint32_t p = row[x];
      const uint32_t a = p >> 24;
      uint32_t rgb[3] = {(p >> 16) & 255, (p >> 8) & 255, p & 255};
      for (int c = 0; c < 3; ++c) {
        // Cairo keeps colours multiplied by alpha; the file keeps them apart.
        if (alpha) rgb[c] = a == 0 ? 0 : std::min(255u, (rgb[c] * 255 + a / 2) / a);
        line[size_t(x) * channels + c] = static_cast<png_byte>(rgb[c]);
      }
      if (alpha) line[size_t(x) * 4 + 3] = static_cast<png_byte>(a);
    }
    png_write_row(png, line.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

// ---------------------------------------------------------------------------------------------
// Lighting: one light, high and to the upper left, for the panel and every knob frame alike.

struct Vec3 {
  double x, y, z;
};

Vec3 Normalized(Vec3 v) {
  const double l = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / l, v.y / l, v.z / l};
}

double Dot(const Vec3& a, const Vec3& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

const Vec3 kLight = Normalized({-0.35, -0.72, 0.62});  // y grows downwards, z towards the eye
const Vec3 kHalf = Normalized({kLight.x, kLight.y, kLight.z + 1});
const double kLightAngle = std::atan2(kLight.y, kLight.x);

// ---------------------------------------------------------------------------------------------
// Knob

struct KnobShape {
  int cell;           // frame width and height
  double skirt;       // outer radius of the knob
  double grip;        // inner radius of the fluted grip ring
  double cap;         // radius of the flat top
  int flutes;         // grooves around the grip ring
  double pointerIn;   // pointer, from this radius …
  double pointerOut;  // … to this one
  double pointerWidth;
};

const KnobShape kLargeKnob{64, 25.0, 21.6, 17.6, 36, 5.0, 16.0, 2.6};
const KnobShape kSmallKnob{47, 18.2, 15.6, 12.7, 28, 3.4, 11.4, 2.1};

// Per-radius grain of the cap's turned finish, the same in every frame: a turned finish looks
// the same whichever way the knob is turned.
std::vector<double> TurnedGrain(int samples, uint64_t seed) {
  Random random(seed);
  std::vector<double> grain(samples);
  for (double& g : grain) g = random.Signed();
  std::vector<double> smooth(samples);
  for (int i = 0; i < samples; ++i) {
    const double a = grain[std::max(i - 1, 0)], b = grain[i],
                 c = grain[std::min(i + 1, samples - 1)];
    smooth[i] = 0.25 * a + 0.5 * b + 0.25 * c;
  }
  return smooth;
}

Rgb Lit(const Vec3& n, const Rgb& albedo, double ambient, double specular, double shininess) {
  const double diffuse = std::max(0.0, Dot(n, kLight));
  const double spec = specular * std::pow(std::max(0.0, Dot(n, kHalf)), shininess);
  const double light = ambient + (1 - ambient) * diffuse;
  return {albedo.r * light + spec, albedo.g * light + spec, albedo.b * light + spec * 1.04};
}

// One frame; `turn` is the pointer's angle in degrees clockwise from twelve o'clock.
void DrawKnobFrame(cairo_surface_t* strip, int left, int top, const KnobShape& k, double turn,
                   const std::vector<double>& grain) {
  const double c = k.cell / 2.0;
  const double cx = left + c, cy = top + c;
  const double limit = c - 2.0;  // the frame keeps two clear pixels on every side
  const double turnRad = turn * kPi / 180.0;
  const double scale = k.skirt / 25.0;
  const Rgb body = Bytes(46, 48, 52);
  const Rgb capBase = Bytes(46, 48, 52);

  Shade(strip, left, top, left + k.cell, top + k.cell, 4, [&](double px, double py) -> Rgba {
    const double dx = px - cx, dy = py - cy;
    const double r = std::sqrt(dx * dx + dy * dy);
    if (r >= limit) return {};
    if (r > k.skirt + 0.5) {
      // Contact shadow on the panel, a little below the knob.
      const double sx = dx - 0.5 * scale, sy = dy - 1.6 * scale;
      const double sr = std::sqrt(sx * sx + sy * sy);
      const double a = 0.62 * (1 - SmoothStep(k.skirt - 1.5 * scale, k.skirt + 3.4 * scale, sr));
      return {0, 0, 0, a * SmoothStep(limit, limit - 1.0, r)};
    }
    const double phi = std::atan2(dy, dx);
    const Vec3 radial{dx / std::max(r, 1e-9), dy / std::max(r, 1e-9), 0};
    const Vec3 tangent{-radial.y, radial.x, 0};
    Rgb colour;
    if (r > k.grip) {
      // Fluted grip ring: steep and turning with the knob, each flute lit where it faces the
      // light.
      const double u = (phi - turnRad) * k.flutes / (2 * kPi);
      const double wave = std::sin(2 * kPi * u);
      const double slope = Mix(0.55, 1.15, (r - k.grip) / (k.skirt - k.grip));
      const double tilt = 0.55 * wave;
      Vec3 n = Normalized({radial.x * std::sin(slope) + tangent.x * tilt,
                           radial.y * std::sin(slope) + tangent.y * tilt, std::cos(slope)});
      colour = Lit(n, body, 0.30, 0.50, 14);
      const double groove = 0.5 + 0.5 * wave;
      colour = Mix(colour, Grey(0.02), 0.35 * (1 - groove));
    } else if (r > k.cap + 0.9 * scale) {
      // The skirt's shoulder, a shallow cone.
      const double t = (r - k.cap) / (k.grip - k.cap);
      const double slope = Mix(0.20, 0.42, t);
      Vec3 n =
          Normalized({radial.x * std::sin(slope), radial.y * std::sin(slope), std::cos(slope)});
      colour = Lit(n, Bytes(50, 52, 57), 0.35, 0.28, 26);
    } else if (r > k.cap) {
      // A bright chamfer where the cap meets the shoulder.
      Vec3 n = Normalized({radial.x * 0.7, radial.y * 0.7, 0.7});
      colour = Lit(n, Bytes(70, 72, 78), 0.25, 0.65, 12);
    } else {
      // The cap: a turned finish throws two bright wedges, towards and away from the light.
      const double towards = std::cos(phi - kLightAngle);
      const double wedge = 0.30 * std::pow(std::max(0.0, towards), 6) +
                           0.16 * std::pow(std::max(0.0, -towards), 6) +
                           0.05 * std::pow(std::abs(towards), 1.5);
      const int g = std::min(static_cast<int>(r / k.cap * (grain.size() - 1)),
                             static_cast<int>(grain.size()) - 1);
      const double turned = 1 + 0.35 * grain[g];
      const double dome = 0.9 + 0.1 * (1 - (r / k.cap) * (r / k.cap));
      const double glint = wedge * turned * SmoothStep(0.0, k.cap * 0.35, r);
      colour = {capBase.r * dome + glint, capBase.g * dome + glint,
                capBase.b * dome + glint * 1.06};
    }
    // The knob's rim softens into its shadow instead of ending in a hard step.
    const double edge = SmoothStep(k.skirt + 0.5, k.skirt - 0.5, r);
    if (edge >= 1) return Opaque(colour);
    const double sx = dx - 0.5 * scale, sy = dy - 1.6 * scale;
    const double sr = std::sqrt(sx * sx + sy * sy);
    const double shadow = 0.62 * (1 - SmoothStep(k.skirt - 1.5 * scale, k.skirt + 3.4 * scale, sr));
    const double a = edge + (1 - edge) * shadow;
    return {colour.r * edge / a, colour.g * edge / a, colour.b * edge / a, a};
  });
}

// The pointer: a white line inlaid in the cap, with the groove it sits in.
void DrawPointer(cairo_surface_t* strip, int left, int top, const KnobShape& k, double turn) {
  cairo_t* cr = cairo_create(strip);
  const double c = k.cell / 2.0;
  cairo_translate(cr, left + c, top + c);
  const double a = turn * kPi / 180.0;
  const double sx = std::sin(a), sy = -std::cos(a);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  // Groove: dark, wider and offset away from the light.
  cairo_move_to(cr, sx * k.pointerIn + 0.25, sy * k.pointerIn + 0.45);
  cairo_line_to(cr, sx * k.pointerOut + 0.25, sy * k.pointerOut + 0.45);
  cairo_set_line_width(cr, k.pointerWidth + 1.4);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
  cairo_stroke(cr);
  cairo_move_to(cr, sx * k.pointerIn, sy * k.pointerIn);
  cairo_line_to(cr, sx * k.pointerOut, sy * k.pointerOut);
  cairo_set_line_width(cr, k.pointerWidth);
  cairo_set_source_rgb(cr, 0.96, 0.96, 0.95);
  cairo_stroke(cr);
  cairo_destroy(cr);
}

void DrawKnobStrip(const KnobShape& k, const std::string& path, uint64_t seed) {
  constexpr int kFrames = 271, kColumns = 16, kRows = 17;
  Surface strip(k.cell * kColumns, k.cell * kRows);
  const std::vector<double> grain = TurnedGrain(96, seed);
  for (int frame = 0; frame < kFrames; ++frame) {
    const int left = (frame % kColumns) * k.cell, top = (frame / kColumns) * k.cell;
    const double turn = frame - 135.0;
    DrawKnobFrame(strip.s, left, top, k, turn, grain);
    DrawPointer(strip.s, left, top, k, turn);
  }
  WritePng(strip, path, true);
}

// ---------------------------------------------------------------------------------------------
// LED glows: added onto the editor, so black is "no light" and the border must add nothing.

void DrawGlow(const std::string& path, const Rgb& core, const Rgb& halo) {
  Surface glow(16, 16);
  Context ctx(glow);
  cairo_set_source_rgb(ctx.cr, 0, 0, 0);
  cairo_paint(ctx.cr);
  Shade(glow.s, 0, 0, 16, 16, 4, [&](double x, double y) -> Rgba {
    const double r = std::hypot(x - 8, y - 8);
    const double fade = 1 - SmoothStep(4.5, 7.0, r);
    const double hot = std::exp(-(r * r) / (2.0 * 2.0));
    const double spread = std::pow(Clamp01(1 - (r / 7.0) * (r / 7.0)), 2);
    const double h = 0.55 * spread * fade, c = hot * fade;
    return Opaque({Clamp01(core.r * c + halo.r * h), Clamp01(core.g * c + halo.g * h),
                   Clamp01(core.b * c + halo.b * h)});
  });
  WritePng(glow, path, false);
}

// ---------------------------------------------------------------------------------------------
// The oversampling button: two frames, raised (off) above pressed (on).

void DrawButtonFrame(cairo_t* cr, cairo_surface_t* s, const Fonts& fonts, double cy, bool on) {
  const double cx = 14.5;
  const double r = on ? 10.9 : 11.2;
  const int top = static_cast<int>(cy - 14.5);
  // Shadow on the seat: long when raised, almost none when pressed in.
  Shade(s, 0, top, 29, top + 29, 4, [&](double x, double y) -> Rgba {
    const double d = std::hypot(x - cx - (on ? 0.2 : 0.5), y - cy - (on ? 0.5 : 1.6));
    const double a = (on ? 0.45 : 0.7) * (1 - SmoothStep(r - 1.0, r + (on ? 1.6 : 3.0), d));
    return {0, 0, 0, a * SmoothStep(14.4, 13.6, std::hypot(x - cx, y - cy))};
  });
  Shade(s, 0, top, 29, top + 29, 4, [&](double x, double y) -> Rgba {
    const double dx = x - cx, dy = y - cy;
    const double d = std::hypot(dx, dy);
    if (d > r + 0.5) return {};
    const double edge = SmoothStep(r + 0.5, r - 0.5, d);
    const double t = d / r;
    Rgb colour;
    if (t > 0.80) {
      // Rounded edge of the button.
      const double slope = Mix(0.3, 1.2, (t - 0.80) / 0.20);
      const Vec3 n =
          Normalized({dx / d * std::sin(slope), dy / d * std::sin(slope), std::cos(slope)});
      colour = Lit(n, Bytes(24, 25, 27), 0.25, on ? 0.18 : 0.32, 14);
    } else {
      // Slightly domed face; pressed, it sits lower and catches less light.
      const double bulge = on ? 0.10 : 0.28;
      const Vec3 n = Normalized({dx / r * bulge, dy / r * bulge, 1});
      colour = Lit(n, on ? Bytes(17, 18, 19) : Bytes(24, 25, 27), 0.45, on ? 0.05 : 0.12, 8);
    }
    return {colour.r, colour.g, colour.b, edge};
  });
  const TextStyle style{fonts.bold, 8.6, 0.3};
  if (on) {
    // Lit letters in the colour of the curve, with a little light spilling round them.
    Surface halo(29, 58);
    {
      Context h(halo);
      Text(h.cr, style, "OS", cx, cy + 3.1, Bytes(149, 219, 94));
    }
    Blur(halo.s, 1);
    cairo_save(cr);
    cairo_set_source_surface(cr, halo.s, 0, 0);
    cairo_paint_with_alpha(cr, 0.8);
    cairo_restore(cr);
    Text(cr, style, "OS", cx, cy + 3.1, Bytes(170, 236, 120));
  } else {
    Text(cr, style, "OS", cx, cy + 3.9, Grey(0), 0.6);
    Text(cr, style, "OS", cx, cy + 3.1, Bytes(150, 153, 158));
  }
}

void DrawSwitch(const std::string& path, const Fonts& fonts) {
  Surface strip(29, 58);
  Context ctx(strip);
  DrawButtonFrame(ctx.cr, strip.s, fonts, 14.5, false);
  DrawButtonFrame(ctx.cr, strip.s, fonts, 43.5, true);
  WritePng(strip, path, true);
}

// ---------------------------------------------------------------------------------------------
// The background

constexpr int kWidth = 650, kHeight = 400;

using corvane::LEDArc;
using corvane::LEDSpot;
const LEDArc& kLedsA = corvane::kLEDArcs[0];
const LEDArc& kLedsB = corvane::kLEDArcs[1];
const LEDArc& kLedsC = corvane::kLEDArcs[2];
const LEDArc& kLedsD = corvane::kLEDArcs[3];

struct Knob {
  const char* label;
  double left, top;
  bool large;
  int labelSide;  // +1 below the knob, −1 above it
};

constexpr std::array<Knob, 11> kKnobs{{{"THRESHOLD", 24, 152, true, -1},
                                       {"T ASYM", 112, 145, false, -1},
                                       {"KNEE", 26, 309, true, +1},
                                       {"K ASYM", 63, 249, false, -1},
                                       {"NONLINEARITY", 563, 152, true, -1},
                                       {"N ASYM", 494, 146, false, -1},
                                       {"MOD A", 539, 250, false, -1},
                                       {"MOD B", 571, 318, false, -1},
                                       {"GAIN", 154, 268, true, -1},
                                       {"MIX", 370, 294, false, -1},
                                       {"OUTPUT", 443, 267, false, -1}}};

struct WellShape {
  double well;      // radius of the recess
  double tickIn;    // scale ticks, from …
  double tickOut;   // … to
  double labelGap;  // from the outermost ring to the label's nearest edge
};
constexpr WellShape kLargeWell{28.8, 31.8, 35.0, 4.0};
constexpr WellShape kSmallWell{21.2, 23.8, 26.4, 3.5};

const Rgb kInk = Bytes(196, 199, 204);

// Brushed aluminium, anodised dark: fine horizontal streaks, a broad light from above, darker
// towards the edges.
void DrawPanel(cairo_surface_t* s) {
  // The grain is the surface's own, one value per pixel at either density; the streaks keep
  // their length in points and, averaged over twice the pixels, their strength.
  const int w = Pixels(kWidth), h = Pixels(kHeight);
  const int reach = Pixels(18);
  const double strength = 5.0 * std::sqrt(gDensity);
  Random random(0xC0A7A11Eull);
  std::vector<double> streak(size_t(w) * h), rowTone(h);
  std::vector<double> line(w), tmp(w);
  for (int y = 0; y < h; ++y) {
    rowTone[y] = random.Signed();
    for (int x = 0; x < w; ++x) line[x] = random.Signed();
    for (int pass = 0; pass < 3; ++pass) {
      double sum = 0;
      for (int i = -reach; i <= reach; ++i) sum += line[std::clamp(i, 0, w - 1)];
      for (int x = 0; x < w; ++x) {
        tmp[x] = sum / (2 * reach + 1);
        sum += line[std::clamp(x + reach + 1, 0, w - 1)] - line[std::clamp(x - reach, 0, w - 1)];
      }
      line.swap(tmp);
    }
    for (int x = 0; x < w; ++x) streak[size_t(y) * w + x] = line[x] * strength;
  }
  std::vector<double> grain(size_t(w) * h);
  for (double& g : grain) g = random.Signed();
  Shade(s, 0, 0, kWidth, kHeight, 1, [&](double px, double py) -> Rgba {
    const int x = std::min(static_cast<int>(px * gDensity), w - 1);
    const int y = std::min(static_cast<int>(py * gDensity), h - 1);
    const double u = px / kWidth, v = py / kHeight;
    const double sheen = 0.030 * std::exp(-std::pow((u - 0.5) / 0.45, 2)) * (1 - v);
    const double edge = std::min({u, 1 - u, v, 1 - v});
    const double vignette = 0.78 + 0.22 * SmoothStep(0.0, 0.16, edge);
    const double tone = 0.165 + sheen + 0.006 * rowTone[y] + 0.010 * streak[size_t(y) * w + x] +
                        0.004 * grain[size_t(y) * w + x];
    const double t = tone * vignette;
    return Opaque({t * 0.985, t * 1.0, t * 1.04});
  });
}

// An oval a little fuller than an ellipse (|x/a|^2.5 + |y/b|^2.5 = 1): the LED arcs run close
// under the top edge for most of their length.
void Oval(cairo_t* cr, double cx, double cy, double a, double b) {
  constexpr int kSteps = 240;
  cairo_new_sub_path(cr);
  for (int i = 0; i < kSteps; ++i) {
    const double t = 2 * kPi * i / kSteps;
    const double c = std::cos(t), s = std::sin(t);
    const double x = a * std::copysign(std::pow(std::abs(c), 0.8), c);
    const double y = b * std::copysign(std::pow(std::abs(s), 0.8), s);
    if (i == 0)
      cairo_move_to(cr, cx + x, cy + y);
    else
      cairo_line_to(cr, cx + x, cy + y);
  }
  cairo_close_path(cr);
}

struct MeterWindow {
  double cx, cy;
  const LEDArc* outer;
  const LEDArc* inner;
  const char* label;
  double labelX, labelY;
};

// A dark glass window in a raised bezel, with its LEDs printed unlit and a dB scale under the
// inner arc.
void DrawMeterWindow(cairo_t* cr, const Fonts& fonts, const MeterWindow& m) {
  const double a = 83, b = 43, bezel = 5.5;
  const double cx = m.cx, cy = m.cy;
  auto outerShape = [&](cairo_t* c) { Oval(c, cx, cy, a + bezel, b + bezel); };
  auto window = [&](cairo_t* c) { Oval(c, cx, cy, a, b); };
  SoftShape(cr, kWidth, kHeight, outerShape, 3, 0, 2.5, Grey(0), 0.8);
  // Bezel: a rounded metal ring lit from above, its crown a little brighter than its flanks.
  outerShape(cr);
  SetVerticalGradient(cr, cy - b - bezel, cy + b + bezel, Bytes(112, 115, 121), Bytes(24, 25, 28));
  cairo_fill(cr);
  Oval(cr, cx, cy, a + bezel - 1.0, b + bezel - 1.0);
  SetVerticalGradient(cr, cy - b - bezel, cy + b + bezel, Bytes(66, 68, 73), Bytes(34, 35, 39));
  cairo_fill(cr);
  Oval(cr, cx, cy, a + bezel - 2.6, b + bezel - 2.6);
  SetVerticalGradient(cr, cy - b - bezel, cy + b + bezel, Bytes(54, 56, 61), Bytes(44, 45, 50));
  cairo_fill(cr);
  // The edge the glass is set in: dark above, catching light below.
  Oval(cr, cx, cy, a + 1.2, b + 1.2);
  SetVerticalGradient(cr, cy - b, cy + b, Bytes(6, 6, 7), Bytes(92, 95, 100));
  cairo_fill(cr);
  window(cr);
  cairo_pattern_t* glass = cairo_pattern_create_radial(cx, cy + b * 0.6, 0, cx, cy, a * 1.05);
  cairo_pattern_add_color_stop_rgb(glass, 0, 0.072, 0.076, 0.084);
  cairo_pattern_add_color_stop_rgb(glass, 1, 0.020, 0.021, 0.025);
  cairo_set_source(cr, glass);
  cairo_pattern_destroy(glass);
  cairo_fill(cr);
  InnerShadow(cr, kWidth, kHeight, window, 3, 0, 3, 0.85);

  // Unlit LEDs: small lenses in dark holes, the clip LED tinted red.
  auto led = [&](const LEDSpot& p, bool clip) {
    const double x = p[0] + 8, y = p[1] + 8;
    Circle(cr, x, y + 0.5, 3.4);
    SetSource(cr, Grey(0.34), 0.35);  // light caught by the lower edge of the hole
    cairo_fill(cr);
    Circle(cr, x, y, 3.2);
    SetSource(cr, Bytes(4, 4, 5));
    cairo_fill(cr);
    cairo_pattern_t* lens = cairo_pattern_create_radial(x - 0.8, y - 0.9, 0.2, x, y, 2.6);
    const Rgb hi = clip ? Bytes(120, 38, 32) : Bytes(78, 81, 86);
    const Rgb lo = clip ? Bytes(40, 10, 9) : Bytes(24, 25, 27);
    cairo_pattern_add_color_stop_rgb(lens, 0, hi.r, hi.g, hi.b);
    cairo_pattern_add_color_stop_rgb(lens, 1, lo.r, lo.g, lo.b);
    Circle(cr, x, y, 2.6);
    cairo_set_source(cr, lens);
    cairo_pattern_destroy(lens);
    cairo_fill(cr);
  };
  for (const LEDArc* column : {m.outer, m.inner})
    for (int i = 0; i < 16; ++i) led((*column)[i], i == 15);

  // Where LEDs 1, 4, 8 and 16 light, in dB: just below the inner arc, square to it.
  const TextStyle numerals{fonts.medium, 6.0, 0.2};
  const std::pair<int, const char*> marks[] = {{0, "-24"}, {3, "-12"}, {7, "-6"}, {15, "0"}};
  for (const auto& [i, text] : marks) {
    const LEDArc& arc = *m.inner;
    const LEDSpot& before = arc[std::max(i - 1, 0)];
    const LEDSpot& after = arc[std::min(i + 1, 15)];
    double nx = -(after[1] - before[1]), ny = after[0] - before[0];
    if (ny < 0) nx = -nx, ny = -ny;
    const double l = std::hypot(nx, ny);
    const double x = arc[i][0] + 8 + nx / l * 9.5, y = arc[i][1] + 8 + ny / l * 9.5;
    Text(cr, numerals, text, x, y + 2.2, Bytes(104, 108, 114));
  }
  Text(cr, TextStyle{fonts.bold, 8.0, 1.8}, m.label, m.labelX, m.labelY, Bytes(140, 144, 150));

  // Reflection on the glass, brightest along its upper edge.
  cairo_save(cr);
  window(cr);
  cairo_clip(cr);
  Ellipse(cr, cx - a * 0.10, cy - b * 1.0, a * 1.0, b * 0.78);
  SetVerticalGradient(cr, cy - b, cy + b * 0.1, Grey(1), Grey(1), 0.10, 0.0);
  cairo_fill(cr);
  cairo_restore(cr);
}

// A superellipse |x/h|^n + |y/h|^n = 1 of half-size h: a square with round corners that still
// reads as a tube's face. The glass fills the curve's square into its corners, so nothing the
// curve draws ever lands on the bezel.
void Squircle(cairo_t* cr, double cx, double cy, double h, double n) {
  constexpr int kSteps = 360;
  const double e = 2 / n;
  cairo_new_sub_path(cr);
  for (int i = 0; i < kSteps; ++i) {
    const double t = 2 * kPi * i / kSteps;
    const double c = std::cos(t), s = std::sin(t);
    const double x = h * std::copysign(std::pow(std::abs(c), e), c);
    const double y = h * std::copysign(std::pow(std::abs(s), e), s);
    if (i == 0)
      cairo_move_to(cr, cx + x, cy + y);
    else
      cairo_line_to(cr, cx + x, cy + y);
  }
  cairo_close_path(cr);
}

using corvane::kCurveLeft;
using corvane::kCurveSize;
using corvane::kCurveTop;
using corvane::kGlassHalf;
using corvane::kGlassPower;

// The curve screen, inside a black faceplate. Everything on the glass stays dark enough that the
// curve, added on top, never saturates.
void DrawScreen(cairo_t* cr) {
  const double cx = corvane::kGlassCentreX, cy = corvane::kGlassCentreY;
  const double h = kGlassHalf, n = kGlassPower;
  const double x0 = cx - 103, y0 = cy - 103, x1 = cx + 103, y1 = cy + 103, corner = 26;
  auto plate = [&](cairo_t* c) { RoundedRect(c, x0, y0, x1, y1, corner); };
  SoftShape(cr, kWidth, kHeight, plate, 4, 0, 3, Grey(0), 0.8);
  // Machined rim around the faceplate.
  RoundedRect(cr, x0 - 1, y0 - 1, x1 + 1, y1 + 1, corner + 1);
  SetVerticalGradient(cr, y0, y1, Bytes(104, 107, 114), Bytes(22, 23, 25));
  cairo_fill(cr);
  RoundedRect(cr, x0 + 1.5, y0 + 1.5, x1 - 1.5, y1 - 1.5, corner - 1.5);
  SetVerticalGradient(cr, y0, y1, Bytes(20, 21, 23), Bytes(13, 13, 15));
  cairo_fill(cr);
  // Bezel round the tube's face: a dark rubber gasket with a faint lit lower edge.
  Squircle(cr, cx, cy, h + 6, n);
  SetVerticalGradient(cr, cy - h, cy + h, Bytes(6, 6, 7), Bytes(30, 31, 33));
  cairo_fill(cr);
  Squircle(cr, cx, cy, h + 4.8, n);
  SetSource(cr, Bytes(9, 9, 10));
  cairo_fill(cr);

  auto tube = [&](cairo_t* c) { Squircle(c, cx, cy, h, n); };
  tube(cr);
  cairo_pattern_t* phosphor = cairo_pattern_create_radial(cx, cy - 10, 0, cx, cy, h * 1.3);
  cairo_pattern_add_color_stop_rgb(phosphor, 0, 6 / 255.0, 26 / 255.0, 13 / 255.0);
  cairo_pattern_add_color_stop_rgb(phosphor, 0.6, 4 / 255.0, 17 / 255.0, 9 / 255.0);
  cairo_pattern_add_color_stop_rgb(phosphor, 1, 1 / 255.0, 7 / 255.0, 4 / 255.0);
  cairo_set_source(cr, phosphor);
  cairo_pattern_destroy(phosphor);
  cairo_fill(cr);

  // A soft reflection high on the left, under the graticule so the lines keep their colour.
  cairo_save(cr);
  tube(cr);
  cairo_clip(cr);
  Ellipse(cr, cx - 18, cy - 46, 58, 30);
  cairo_pattern_t* sheen = cairo_pattern_create_radial(cx - 18, cy - 52, 0, cx - 18, cy - 46, 58);
  cairo_pattern_add_color_stop_rgba(sheen, 0, 0.5, 0.8, 0.6, 0.030);
  cairo_pattern_add_color_stop_rgba(sheen, 1, 0.5, 0.8, 0.6, 0.0);
  cairo_set_source(cr, sheen);
  cairo_pattern_destroy(sheen);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_save(cr);
  tube(cr);
  cairo_clip(cr);
  // Graticule: eight squares across the curve's square, its edges and centre lines a little
  // stronger, running on to the glass's rim.
  const double left = kCurveLeft, top = kCurveTop, size = kCurveSize;
  cairo_set_line_width(cr, 1);
  for (int i = 0; i <= 8; ++i) {
    const double at = i == 8 ? size - 0.5 : std::floor(size / 8 * i) + 0.5;
    const Rgb colour =
        i == 4 ? Bytes(14, 36, 20) : (i % 8 == 0 ? Bytes(12, 33, 18) : Bytes(10, 30, 16));
    cairo_move_to(cr, left + at, cy - h);
    cairo_line_to(cr, left + at, cy + h);
    cairo_move_to(cr, cx - h, top + at);
    cairo_line_to(cr, cx + h, top + at);
    SetSource(cr, colour);
    cairo_stroke(cr);
  }
  // Fine divisions along the centre lines.
  const double mid = std::floor(size / 2) + 0.5;
  for (int i = 1; i < 40; ++i) {
    if (i % 5 == 0) continue;
    const double at = size / 40 * i;
    cairo_move_to(cr, left + at, top + mid - 2);
    cairo_line_to(cr, left + at, top + mid + 2);
    cairo_move_to(cr, left + mid - 2, top + at);
    cairo_line_to(cr, left + mid + 2, top + at);
  }
  SetSource(cr, Bytes(13, 34, 19));
  cairo_stroke(cr);
  // The straight line the curve follows when nothing shapes it.
  const double dashes[] = {3.0, 2.5};
  cairo_set_dash(cr, dashes, 2, 0);
  cairo_move_to(cr, left, top + size);
  cairo_line_to(cr, left + size, top);
  SetSource(cr, Bytes(12, 32, 18));
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
  cairo_restore(cr);

  // The glass: darker towards its rim and into its corners.
  tube(cr);
  cairo_pattern_t* rim = cairo_pattern_create_radial(cx, cy, h * 0.72, cx, cy, h * 1.42);
  cairo_pattern_add_color_stop_rgba(rim, 0, 0, 0, 0, 0);
  cairo_pattern_add_color_stop_rgba(rim, 1, 0, 0, 0, 0.5);
  cairo_set_source(cr, rim);
  cairo_pattern_destroy(rim);
  cairo_fill(cr);
  InnerShadow(cr, kWidth, kHeight, tube, 3, 0, 2, 0.9);
}

// A recess the knob sits in, and the scale printed round it.
void DrawWell(cairo_t* cr, double cx, double cy, const WellShape& w) {
  auto hole = [&](cairo_t* c) { Circle(c, cx, cy, w.well); };
  // Lip: catches light below the hole, in shade above it.
  Circle(cr, cx, cy, w.well + 1.3);
  SetVerticalGradient(cr, cy - w.well, cy + w.well, Grey(0.02), Grey(0.48), 0.9, 0.8);
  cairo_fill(cr);
  hole(cr);
  cairo_pattern_t* floor = cairo_pattern_create_radial(cx, cy + 4, 0, cx, cy, w.well);
  cairo_pattern_add_color_stop_rgb(floor, 0, 0.115, 0.118, 0.128);
  cairo_pattern_add_color_stop_rgb(floor, 1, 0.070, 0.072, 0.078);
  cairo_set_source(cr, floor);
  cairo_pattern_destroy(floor);
  cairo_fill(cr);
  InnerShadow(cr, kWidth, kHeight, hole, 2, 0, 2.2, 0.9);

  // Eleven ticks over the knob's travel, the ends and the middle a little longer.
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (int i = 0; i <= 10; ++i) {
    const double a = (-135.0 + 27.0 * i) * kPi / 180.0;
    const bool major = i == 0 || i == 5 || i == 10;
    const double in = major ? w.tickIn : w.tickIn + 0.8;
    const double sx = std::sin(a), sy = -std::cos(a);
    cairo_move_to(cr, cx + sx * in, cy + sy * in);
    cairo_line_to(cr, cx + sx * w.tickOut, cy + sy * w.tickOut);
    cairo_set_line_width(cr, major ? 1.3 : 1.0);
    SetSource(cr, kInk, major ? 0.85 : 0.55);
    cairo_stroke(cr);
  }
}

// The seat the oversampling button sits in.
void DrawSeat(cairo_t* cr, double cx, double cy) {
  auto hole = [&](cairo_t* c) { Circle(c, cx, cy, 13.6); };
  Circle(cr, cx, cy, 14.8);
  SetVerticalGradient(cr, cy - 14, cy + 14, Grey(0.03), Grey(0.33), 0.9, 0.6);
  cairo_fill(cr);
  hole(cr);
  SetSource(cr, Bytes(11, 11, 13));
  cairo_fill(cr);
  InnerShadow(cr, kWidth, kHeight, hole, 2, 0, 1.5, 0.8);
}

// Pellumar's mark: a ring round one period of a sine driven into soft clipping.
void DrawMark(cairo_t* cr, double cx, double cy, double size, const Rgb& colour) {
  const double r = size / 2;
  cairo_save(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  Circle(cr, cx, cy, r - 0.8);
  cairo_set_line_width(cr, 1.4);
  SetSource(cr, colour, 0.9);
  cairo_stroke(cr);
  constexpr int kSteps = 64;
  for (int i = 0; i <= kSteps; ++i) {
    const double t = static_cast<double>(i) / kSteps;
    const double x = cx + r * (-0.56 + 1.12 * t);
    const double y = cy - r * 0.40 * std::tanh(4.0 * std::sin(2 * kPi * t)) / std::tanh(4.0);
    if (i == 0)
      cairo_move_to(cr, x, y);
    else
      cairo_line_to(cr, x, y);
  }
  cairo_set_line_width(cr, 1.8);
  cairo_stroke(cr);
  cairo_restore(cr);
}

void DrawBackground(const std::string& path, const Fonts& fonts, bool overlay) {
  Surface bg(kWidth, kHeight);
  DrawPanel(bg.s);
  Context ctx(bg);
  cairo_t* cr = ctx.cr;

  DrawMeterWindow(cr, fonts, {100, 62, &kLedsA, &kLedsB, "INPUT", 122, 95});
  DrawMeterWindow(cr, fonts, {549, 62, &kLedsC, &kLedsD, "OUTPUT", 527, 95});
  DrawScreen(cr);

  std::vector<TextBox> boxes;
  const TextStyle labelStyle{fonts.bold, 8.6, 1.1};
  for (const Knob& knob : kKnobs) {
    const double size = knob.large ? 64 : 47;
    const double cx = knob.left + size / 2, cy = knob.top + size / 2;
    const WellShape& w = knob.large ? kLargeWell : kSmallWell;
    DrawWell(cr, cx, cy, w);
    const double capHeight = 6.2;
    const double baseline = knob.labelSide < 0 ? cy - w.tickOut - w.labelGap
                                               : cy + w.well + 1.3 + w.labelGap + capHeight;
    boxes.push_back(PrintedLabel(cr, labelStyle, knob.label, cx, baseline));
  }
  DrawSeat(cr, 494.5, 344.5);
  boxes.push_back(PrintedLabel(cr, TextStyle{fonts.bold, 6.4, 0.9}, "OVERSAMPLING", 494.5, 372));

  // Maker and product at the bottom centre.
  const TextStyle name{fonts.light, 21, 0.6};
  double nameWidth = 0;
  Glyphs(cr, name, "Corvane", nameWidth);
  const double markSize = 20, gap = 7;
  const double groupLeft = 325 - (markSize + gap + nameWidth) / 2;
  DrawMark(cr, groupLeft + markSize / 2 + 0.5, 372, markSize, Grey(0));
  DrawMark(cr, groupLeft + markSize / 2, 371, markSize, Bytes(170, 174, 180));
  PrintedLabel(cr, name, "Corvane", groupLeft + markSize + gap + nameWidth / 2, 379,
               Bytes(206, 209, 214));
  PrintedLabel(cr, TextStyle{fonts.medium, 6.0, 2.2}, "PELLUMAR", 325, 391, Bytes(120, 124, 130));

  if (overlay) {
    cairo_set_line_width(cr, 1);
    auto rect = [&](double l, double t, double r, double b, double red, double green, double blue) {
      cairo_rectangle(cr, l + 0.5, t + 0.5, r - l - 1, b - t - 1);
      cairo_set_source_rgba(cr, red, green, blue, 0.9);
      cairo_stroke(cr);
    };
    for (const Knob& knob : kKnobs) {
      const double size = knob.large ? 64 : 47;
      rect(knob.left, knob.top, knob.left + size, knob.top + size, 1, 0, 1);
    }
    rect(kCurveLeft, kCurveTop, kCurveLeft + kCurveSize, kCurveTop + kCurveSize, 1, 1, 0);
    rect(480, 330, 509, 359, 0, 1, 1);
    rect(562, 0, 650, 13, 1, 0.5, 0);
    rect(610, 360, 650, 400, 1, 0.5, 0);
    for (const LEDArc* column : {&kLedsA, &kLedsB, &kLedsC, &kLedsD})
      for (const LEDSpot& p : *column) {
        cairo_arc(cr, p[0] + 8, p[1] + 8, 1.0, 0, 2 * kPi);
        cairo_set_source_rgb(cr, 1, 0, 0);
        cairo_fill(cr);
      }
    for (const TextBox& b : boxes) rect(b.x0, b.y0, b.x1, b.y1, 0, 1, 0);
  }
  WritePng(bg, path, false);
}

}  // namespace

int main(int argc, char** argv) {
  const bool overlay = argc == 4 && std::string(argv[1]) == "--overlay";
  if (argc != 3 && !overlay) {
    std::fprintf(stderr,
                 "usage: %s <output folder> <Roboto font folder>\n"
                 "       %s --overlay <picture.png> <Roboto font folder>\n"
                 "The second form draws the background with the controls' rectangles, the LED\n"
                 "centres and the labels' boxes on it, for checking the layout by eye.\n",
                 argv[0], argv[0]);
    return 2;
  }
  const Fonts fonts(argv[argc - 1]);
  if (overlay) {
    DrawBackground(argv[2], fonts, true);
    return 0;
  }
  const std::string out = argv[1];
  // The plain set, then the same pictures drawn at twice the pixels, named "@2x".
  for (const double density : {1.0, 2.0}) {
    gDensity = density;
    const std::string at = density == 1.0 ? "" : "@2x";
    DrawBackground(out + "/corvane_bg_1_6b" + at + ".png", fonts, false);
    DrawKnobStrip(kLargeKnob, out + "/x271_frame_stack_fixed_again" + at + ".png", 0x6B6E6F62ull);
    DrawKnobStrip(kSmallKnob, out + "/smallknob" + at + ".png", 0x736D616Cull);
    DrawGlow(out + "/corvane_glow" + at + ".png", Bytes(255, 253, 246), Bytes(214, 220, 228));
    // A clear red, nothing like the white of the other LEDs even where it is hottest.
    DrawGlow(out + "/corvane_glow_red" + at + ".png", Bytes(255, 34, 18), Bytes(214, 10, 6));
    DrawSwitch(out + "/OS_alpha" + at + ".png", fonts);
  }
  return 0;
}
