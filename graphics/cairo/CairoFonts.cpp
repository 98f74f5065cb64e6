#include "graphics/cairo/CairoFonts.h"

#include <cairo-ft.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <mutex>
#include <unordered_map>
#include <vector>

namespace iplug::igraphics::cairo_backend {

namespace {

// One FreeType library for the process. Creating and destroying faces on it is not
// thread-safe, so both happen under its lock; using a face (Cairo does, under its own locks)
// needs none. Never destroyed: faces Cairo still caches at exit are released after statics.
struct FreeType {
  FT_Library library = nullptr;
  std::mutex mutex;
};

FreeType& Library() {
  static FreeType* freeType = [] {
    auto* ft = new FreeType;
    if (FT_Init_FreeType(&ft->library) != 0) ft->library = nullptr;
    return ft;
  }();
  return *freeType;
}

// What a Cairo font face keeps alive: the face and the bytes it reads. Cairo drops its last
// reference whenever it likes (its own font caches hold some), so the face is closed from
// Cairo's destroy notification.
struct FaceData {
  FT_Face face = nullptr;
  std::vector<uint8_t> bytes;
};

void DestroyFaceData(void* p) {
  auto* data = static_cast<FaceData*>(p);
  {
    std::lock_guard lock(Library().mutex);
    if (data->face) FT_Done_Face(data->face);
  }
  delete data;
}

const cairo_user_data_key_t kFaceDataKey{};

struct TypefaceCache {
  std::mutex mutex;
  std::unordered_map<std::string, std::shared_ptr<const CairoTypeface>> faces;
};

TypefaceCache& Cache() {
  static TypefaceCache cache;
  return cache;
}

// The length of the well-formed sequence starting at p (at most n bytes), or 0.
size_t SequenceLength(const unsigned char* p, size_t n) {
  const unsigned char c = p[0];
  if (c < 0x80) return 1;
  size_t length = 0;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c >= 0xC2 && c <= 0xDF) {
    length = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    length = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (n < length) return 0;
  if (p[1] < lo || p[1] > hi) return 0;
  for (size_t i = 2; i < length; ++i)
    if (p[i] < 0x80 || p[i] > 0xBF) return 0;
  return length;
}

}  // namespace

std::shared_ptr<const CairoTypeface> CairoTypeface::Create(const IFontBlob& blob) {
  const IFontTableInfo& info = blob.Info();
  if (blob.Bytes().empty() || !info.IsValid()) return nullptr;
  const int upem = info.UnitsPerEM();
  const int ascender = info.Ascender(), descender = info.Descender();
  // Text is sized from these; a font without them cannot be laid out.
  if (upem <= 0 || ascender - descender <= 0) return nullptr;

  FreeType& ft = Library();
  if (!ft.library) return nullptr;
  auto* data = new FaceData;
  data->bytes = blob.Bytes();
  {
    std::lock_guard lock(ft.mutex);
    if (FT_New_Memory_Face(ft.library, data->bytes.data(), static_cast<FT_Long>(data->bytes.size()),
                           blob.FaceIdx() > 0 ? blob.FaceIdx() : 0, &data->face) != 0)
      data->face = nullptr;
  }
  if (!data->face || !FT_IS_SCALABLE(data->face)) {
    DestroyFaceData(data);
    return nullptr;
  }

  cairo_font_face_t* face = cairo_ft_font_face_create_for_ft_face(data->face, 0);
  if (cairo_font_face_status(face) != CAIRO_STATUS_SUCCESS ||
      cairo_font_face_set_user_data(face, &kFaceDataKey, data, DestroyFaceData) !=
          CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(face);
    DestroyFaceData(data);
    return nullptr;
  }

  // A face whose fonts cannot be scaled would fail at the first text.
  cairo_matrix_t size, identity;
  cairo_matrix_init_scale(&size, 16.0, 16.0);
  cairo_matrix_init_identity(&identity);
  cairo_font_options_t* options = TextFontOptions();
  cairo_scaled_font_t* probe = cairo_scaled_font_create(face, &size, &identity, options);
  const bool usable = cairo_scaled_font_status(probe) == CAIRO_STATUS_SUCCESS;
  cairo_scaled_font_destroy(probe);
  cairo_font_options_destroy(options);
  if (!usable) {
    cairo_font_face_destroy(face);
    return nullptr;
  }
  return std::shared_ptr<const CairoTypeface>(
      new CairoTypeface(face, blob.Bytes(), blob.FaceIdx(), upem, ascender, descender));
}

std::shared_ptr<const CairoTypeface> CairoTypeface::Remake() const {
  return Create(IFontBlob(mBytes, mFaceIdx));
}

CairoTypeface::~CairoTypeface() {
  cairo_font_face_destroy(mFace);
}

std::shared_ptr<const CairoTypeface> FindTypeface(const std::string& fontID) {
  TypefaceCache& cache = Cache();
  std::lock_guard lock(cache.mutex);
  const auto it = cache.faces.find(fontID);
  if (it == cache.faces.end()) return nullptr;
  if (cairo_font_face_status(it->second->Face()) != CAIRO_STATUS_SUCCESS) {
    // Disabled for good by an error: text with this id would stay blank for the process.
    if (std::shared_ptr<const CairoTypeface> fresh = it->second->Remake()) it->second = fresh;
  }
  return it->second;
}

std::shared_ptr<const CairoTypeface> StoreTypeface(const std::string& fontID,
                                                   std::shared_ptr<const CairoTypeface> face) {
  TypefaceCache& cache = Cache();
  std::lock_guard lock(cache.mutex);
  return cache.faces.emplace(fontID, std::move(face)).first->second;
}

std::string ValidUtf8(const char* text) {
  std::string out;
  if (!text) return out;
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  size_t n = std::char_traits<char>::length(text);
  out.reserve(n);
  while (n > 0) {
    const size_t length = SequenceLength(p, n);
    if (length == 0) {
      out += "\xEF\xBF\xBD";
      ++p;
      --n;
      continue;
    }
    out.append(reinterpret_cast<const char*>(p), length);
    p += length;
    n -= length;
  }
  return out;
}

cairo_font_options_t* TextFontOptions() {
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  return options;
}

}  // namespace iplug::igraphics::cairo_backend
