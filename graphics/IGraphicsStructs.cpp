#include "graphics/IGraphicsStructs.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace iplug::igraphics {

bool IBox::Contains(float x, float y) const {
  if (Empty()) return false;
  return x >= L && x < R && y >= T && y < B;
}

bool IBox::Contains(const IBox& r) const {
  if (Empty() || r.Empty()) return false;
  return r.L >= L && r.R <= R && r.T >= T && r.B <= B;
}

bool IBox::Intersects(const IBox& r) const {
  if (Empty() || r.Empty()) return false;
  return R >= r.L && L < r.R && B >= r.T && T < r.B;
}

IBox IBox::Intersect(const IBox& r) const {
  if (!Intersects(r)) return IBox();
  return IBox(std::max(L, r.L), std::max(T, r.T), std::min(R, r.R), std::min(B, r.B));
}

IBox IBox::Union(const IBox& r) const {
  if (Empty()) return r;
  if (r.Empty()) return *this;
  return IBox(std::min(L, r.L), std::min(T, r.T), std::max(R, r.R), std::max(B, r.B));
}

void IBox::PixelAlign(float scale) {
  L = std::floor(L * scale) / scale;
  T = std::floor(T * scale) / scale;
  R = std::ceil(R * scale) / scale;
  B = std::ceil(B * scale) / scale;
}

IBox IBox::GetPixelAligned(float scale) const {
  IBox r = *this;
  r.PixelAlign(scale);
  return r;
}

IBox IBox::GetCentredInside(float w, float h) const {
  const float l = MW() - w / 2.f;
  const float t = MH() - h / 2.f;
  return IBox(l, t, l + w, t + h);
}

void IBox::ClampInto(const IBox& r) {
  if (L < r.L) {
    R = std::min(r.L + (R - L), r.R - 1.f);
    L = r.L;
  }
  if (T < r.T) {
    B = std::min(r.T + (B - T), r.B - 1.f);
    T = r.T;
  }
  if (R >= r.R) {
    L = std::max(L - (R - r.R + 1.f), r.L);
    R = r.R - 1.f;
  }
  if (B >= r.B) {
    T = std::max(T - (B - r.B + 1.f), r.T);
    B = r.B - 1.f;
  }
}

const IArgb& HostHighlightColor(int colorIdx) {
  switch (colorIdx) {
    case 1:
      return COLOR_BLUE;
    case 2:
      return COLOR_GREEN;
    case 3:
      return COLOR_YELLOW;
    default:
      return COLOR_RED;
  }
}

ITextStyle::ITextStyle(float size_, const IArgb& color, const char* fontID_, EHAlign align_,
                       EVAlign valign_, float angle_, const IArgb& textEntryBG,
                       const IArgb& textEntryFG)
    : size(size_),
      fgColor(color),
      textEntryBGColor(textEntryBG),
      textEntryFGColor(textEntryFG),
      angle(angle_),
      align(align_),
      valign(valign_) {
  SetFontID(fontID_);
}

void ITextStyle::SetFontID(const char* id) {
  std::memset(fontID, 0, sizeof(fontID));
  if (id) std::strncpy(fontID, id, kMaxFontIdLen - 1);
}

IBitmapHandle::IBitmapHandle(APIBitmap* bitmap, int nFrames, bool framesHorizontal,
                             const char* name)
    : mBitmap(bitmap),
      mN(std::max(1, nFrames)),
      mFramesHorizontal(framesHorizontal),
      mResourceName(name ? name : "") {
  if (bitmap) {
    bitmap->Hold();
    mW = static_cast<int>(static_cast<float>(bitmap->Width()) / bitmap->Scale());
    mH = static_cast<int>(static_cast<float>(bitmap->Height()) / bitmap->Scale());
  }
}

IBitmapHandle::IBitmapHandle(const IBitmapHandle& other)
    : mBitmap(other.mBitmap),
      mW(other.mW),
      mH(other.mH),
      mN(other.mN),
      mFramesHorizontal(other.mFramesHorizontal),
      mResourceName(other.mResourceName) {
  if (mBitmap) mBitmap->Hold();
}

IBitmapHandle::IBitmapHandle(IBitmapHandle&& other) noexcept
    : mBitmap(std::exchange(other.mBitmap, nullptr)),
      mW(other.mW),
      mH(other.mH),
      mN(other.mN),
      mFramesHorizontal(other.mFramesHorizontal),
      mResourceName(std::move(other.mResourceName)) {}

IBitmapHandle& IBitmapHandle::operator=(const IBitmapHandle& other) {
  if (this != &other) *this = IBitmapHandle(other);
  return *this;
}

IBitmapHandle& IBitmapHandle::operator=(IBitmapHandle&& other) noexcept {
  if (this == &other) return *this;
  if (mBitmap) mBitmap->Release();
  mBitmap = std::exchange(other.mBitmap, nullptr);
  mW = other.mW;
  mH = other.mH;
  mN = other.mN;
  mFramesHorizontal = other.mFramesHorizontal;
  mResourceName = std::move(other.mResourceName);
  return *this;
}

IBitmapHandle::~IBitmapHandle() {
  if (mBitmap) mBitmap->Release();
}

ITransform2D& ITransform2D::Transform(const ITransform2D& m) {
  const ITransform2D p = *this;
  xx = p.xx * m.xx + p.xy * m.yx;
  yx = p.yx * m.xx + p.yy * m.yx;
  xy = p.xx * m.xy + p.xy * m.yy;
  yy = p.yx * m.xy + p.yy * m.yy;
  tx = p.xx * m.tx + p.xy * m.ty + p.tx;
  ty = p.yx * m.tx + p.yy * m.ty + p.ty;
  return *this;
}

ITransform2D& ITransform2D::Rotate(double degrees) {
  // The single-precision pi keeps rotations identical to the rest of the drawing code.
  const double r = degrees / 180.0 * static_cast<double>(3.1415927f);
  const double c = std::cos(r);
  const double s = std::sin(r);
  return Transform({c, s, -s, c, 0.0, 0.0});
}

void ITransform2D::TransformPoint(double& x, double& y) const {
  const double px = x;
  x = xx * px + xy * y + tx;
  y = yx * px + yy * y + ty;
}

IPaint::IPaint(const IArgb& color) : kind(EPaintKind::Solid), extend(EPaintExtend::Pad) {
  AddStop(color, 0.f);
}

bool IPaint::AddStop(const IArgb& color, float offset) {
  if (nStops >= kMaxStops) return false;
  stops[nStops++] = IGradientStop{color, offset};
  return true;
}

void IStrokeStyle::Dash::Set(const float* lengths, int n, float dashOffset) {
  count = std::clamp(n, 0, kMaxDashes);
  for (int i = 0; i < count; ++i) array[i] = lengths[i];
  offset = dashOffset;
}

IKeyEvent::IKeyEvent(const char* text, int32_t vk, bool shift, bool ctrl, bool alt)
    : VK(vk), S(shift), C(ctrl), A(alt) {
  if (text) std::strncpy(utf8, text, sizeof(utf8) - 1);
}

IKeyEvent::IKeyEvent(const IKeyPress& key)
    : VK(key.virtualKey), S(key.shift), C(key.ctrl), A(key.alt) {
  std::memcpy(utf8, key.utf8, sizeof(utf8));
  utf8[sizeof(utf8) - 1] = '\0';
}

void IDirtyList::PixelAlign(float scale) {
  for (IBox& r : mRects) r.PixelAlign(scale);
}

IBox IDirtyList::Bounds() const {
  IBox bounds;
  for (const IBox& r : mRects) bounds = bounds.Union(r);
  return bounds;
}

namespace {

// Two rectangles that share a pair of opposite edges and touch or overlap along the other
// axis form a rectangle together.
bool Mergeable(const IBox& a, const IBox& b) {
  if (a.Empty() || b.Empty()) return true;
  if (a.L == b.L && a.R == b.R && ((b.T <= a.T && a.T <= b.B) || (a.T <= b.T && b.T <= a.B)))
    return true;
  if (a.T == b.T && a.B == b.B && ((b.L <= a.L && a.L <= b.R) || (a.L <= b.L && b.L <= a.R)))
    return true;
  return false;
}

}  // namespace

int IDirtyList::Subtract(const IBox& r, const IBox& x, IBox (&pieces)[4]) {
  int n = 0;
  if (x.T > r.T) pieces[n++] = IBox(r.L, r.T, r.R, x.T);
  if (x.B < r.B) pieces[n++] = IBox(r.L, x.B, r.R, r.B);
  if (x.L > r.L) pieces[n++] = IBox(r.L, x.T, x.L, x.B);
  if (x.R < r.R) pieces[n++] = IBox(x.R, x.T, r.R, x.B);
  return n;
}

void IDirtyList::SplitEntry(size_t index, const IBox& x) {
  const IBox r = mRects[index];  // a copy: appending may reallocate the list
  // An overlap in a corner splits into the two pieces the list has always made of it, the
  // one along the top or bottom edge replacing the entry.
  if (r.L == x.L && r.T == x.T) {
    mRects.push_back(IBox(x.R, r.T, r.R, x.B));
    mRects[index] = IBox(r.L, x.B, r.R, r.B);
    return;
  }
  if (r.L == x.L && x.B == r.B) {
    mRects.push_back(IBox(r.L, r.T, r.R, x.T));
    mRects[index] = IBox(x.R, x.T, r.R, r.B);
    return;
  }
  if (r.T == x.T && x.R == r.R) {
    mRects.push_back(IBox(r.L, r.T, x.L, x.B));
    mRects[index] = IBox(r.L, x.B, r.R, r.B);
    return;
  }
  if (x.R == r.R && x.B == r.B) {
    mRects.push_back(IBox(r.L, r.T, r.R, x.T));
    mRects[index] = IBox(r.L, x.T, x.L, r.B);
    return;
  }
  // Anywhere else (along one side, across, or inside) two corner pieces would lose area: the
  // entry becomes every piece of what is left.
  IBox pieces[4];
  const int n = Subtract(r, x, pieces);
  mRects[index] = n > 0 ? pieces[0] : IBox();
  for (int k = 1; k < n; ++k) mRects.push_back(pieces[k]);
}

void IDirtyList::Optimize() {
  // Pass 1: no two entries share a pixel afterwards. Splitting appends entries, so the size is
  // re-read on every iteration and the vector is indexed, never iterated.
  for (size_t i = 0; i < mRects.size(); ++i) {
    for (size_t j = i + 1; j < mRects.size(); ++j) {
      if (mRects[i].Contains(mRects[j])) {
        mRects.erase(mRects.begin() + static_cast<std::ptrdiff_t>(j));
        --j;
      } else if (mRects[j].Contains(mRects[i])) {
        mRects.erase(mRects.begin() + static_cast<std::ptrdiff_t>(i));
        j = i;
      } else if (mRects[i].Intersects(mRects[j])) {
        const IBox x = mRects[i].Intersect(mRects[j]);
        // Rectangles that only touch share no pixel: pass 2 may still join them.
        if (!(x.W() > 0.f && x.H() > 0.f)) continue;
        IBox pieces[4];
        // An entry the overlap cuts into one rectangle is trimmed; otherwise the smaller entry
        // is split (the later one when both are as large).
        if (Mergeable(mRects[i], x) && Subtract(mRects[i], x, pieces) == 1)
          mRects[i] = pieces[0];
        else if (Mergeable(mRects[j], x) && Subtract(mRects[j], x, pieces) == 1)
          mRects[j] = pieces[0];
        else
          SplitEntry(mRects[j].Area() > mRects[i].Area() ? i : j, x);
      }
    }
  }

  // Pass 2: merge neighbours until no pair forms a rectangle.
  for (size_t i = 0; i < mRects.size();) {
    bool merged = false;
    for (size_t j = i + 1; j < mRects.size(); ++j) {
      if (Mergeable(mRects[i], mRects[j])) {
        mRects[j] = mRects[i].Union(mRects[j]);
        mRects.erase(mRects.begin() + static_cast<std::ptrdiff_t>(i));
        merged = true;
        break;
      }
    }
    i = merged ? 0 : i + 1;
  }
}

IMenuEntry::IMenuEntry(const char* text, int32_t flags, int32_t tag)
    : mText(text ? text : ""), mFlags(flags), mTag(tag) {}

IMenuEntry::IMenuEntry(const char* text, IMenuModel* submenu)
    : mText(text ? text : ""), mSubmenu(submenu) {}

IMenuEntry::~IMenuEntry() = default;

IMenuEntry* IMenuModel::AddItem(IMenuEntry* item) {
  mItems.emplace_back(item);
  return item;
}

IMenuEntry* IMenuModel::AddItem(const char* text, int32_t flags, int32_t tag) {
  return AddItem(new IMenuEntry(text, flags, tag));
}

IMenuEntry* IMenuModel::AddSeparator() {
  return AddItem("", IMenuEntry::kSeparator);
}

IMenuEntry* IMenuModel::GetItem(int i) const {
  return (i >= 0 && i < NItems()) ? mItems[static_cast<size_t>(i)].get() : nullptr;
}

void IMenuModel::Clear() {
  mItems.clear();
  mChosenIdx = -1;
}

}  // namespace iplug::igraphics
