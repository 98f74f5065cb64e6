#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/IPlugStructs.h"

namespace iplug::igraphics {

class IControl;
class IMenuModel;

/**
 * An axis-aligned rectangle in graphics units (y down). A rectangle whose four values are all
 * exactly 0 counts as "no rectangle": it contains and intersects nothing, and a union ignores it.
 */
struct IBox {
  float L = 0.f;
  float T = 0.f;
  float R = 0.f;
  float B = 0.f;

  constexpr IBox() = default;
  constexpr IBox(float l, float t, float r, float b) : L(l), T(t), R(r), B(b) {}

  bool Empty() const { return L == 0.f && T == 0.f && R == 0.f && B == 0.f; }
  float W() const { return R - L; }
  float H() const { return B - T; }
  float MW() const { return 0.5f * (L + R); }
  float MH() const { return 0.5f * (T + B); }
  float Area() const { return W() * H(); }

  /** Left and top edges are inside, right and bottom edges outside. */
  bool Contains(float x, float y) const;
  bool Contains(const IBox& r) const;
  /** A shared right/left or bottom/top edge counts as intersecting. */
  bool Intersects(const IBox& r) const;
  /** The common part, or the empty rectangle when they do not intersect. */
  IBox Intersect(const IBox& r) const;
  IBox Union(const IBox& r) const;
  IBox GetPadded(float p) const { return IBox(L - p, T - p, R + p, B + p); }
  /** Grows the rectangle outward to whole device pixels at a scale. */
  void PixelAlign(float scale);
  IBox GetPixelAligned(float scale) const;
  /** A rectangle of the given size sharing this one's centre. */
  IBox GetCentredInside(float w, float h) const;
  /**
   * Shifts a rectangle that intersects r so that it lies inside r, shrinking it only where it is
   * larger than r. The right and bottom limits are one unit inside r.
   */
  void ClampInto(const IBox& r);

  friend bool operator==(const IBox&, const IBox&) = default;
};

/** A colour as four channels 0..255. */
struct IArgb {
  int32_t A = 255;
  int32_t R = 0;
  int32_t G = 0;
  int32_t B = 0;

  constexpr IArgb() = default;
  constexpr IArgb(int32_t a, int32_t r, int32_t g, int32_t b) : A(a), R(r), G(g), B(b) {}

  friend bool operator==(const IArgb&, const IArgb&) = default;
};

inline constexpr IArgb COLOR_TRANSPARENT{0, 0, 0, 0};
inline constexpr IArgb COLOR_TRANSLUCENT{10, 0, 0, 0};
inline constexpr IArgb COLOR_BLACK{255, 0, 0, 0};
inline constexpr IArgb COLOR_BLACK_DROP_SHADOW{128, 0, 0, 0};
inline constexpr IArgb COLOR_GRAY{255, 127, 127, 127};
inline constexpr IArgb COLOR_LIGHT_GRAY{255, 240, 240, 240};
inline constexpr IArgb COLOR_MID_GRAY{255, 200, 200, 200};
inline constexpr IArgb COLOR_DARK_GRAY{255, 70, 70, 70};
inline constexpr IArgb COLOR_WHITE{255, 255, 255, 255};
inline constexpr IArgb COLOR_RED{255, 255, 0, 0};
inline constexpr IArgb COLOR_GREEN{255, 0, 255, 0};
inline constexpr IArgb COLOR_BLUE{255, 0, 0, 255};
inline constexpr IArgb COLOR_YELLOW{255, 255, 255, 0};
inline constexpr IArgb COLOR_ORANGE{255, 255, 127, 0};
inline constexpr IArgb COLOR_INDIGO{255, 75, 0, 130};
inline constexpr IArgb COLOR_VIOLET{255, 148, 0, 211};
inline constexpr IArgb COLOR_SOFT_SHADOW{60, 0, 0, 0};

/** The colour a host asks for when it highlights a parameter's controls; red when unknown. */
const IArgb& HostHighlightColor(int colorIdx);

/** Porter-Duff compositing operators, plus Add (source and destination summed). */
enum class ECompositeOp : int32_t {
  SrcOver = 0,
  SrcIn = 1,
  SrcOut = 2,
  SrcAtop = 3,
  DstOver = 4,
  DstIn = 5,
  DstOut = 6,
  DstAtop = 7,
  Add = 8,
  Xor = 9,
};

/** How a drawing operation is composited; the weight multiplies the alpha drawn. */
struct IBlendSpec {
  ECompositeOp op = ECompositeOp::SrcOver;
  float weight = 1.f;

  constexpr IBlendSpec() = default;
  constexpr IBlendSpec(ECompositeOp op_, float weight_ = 1.f) : op(op_), weight(weight_) {}
};

/** Drawing operations take an optional blend; null means plain source-over at full weight. */
inline float BlendWeight(const IBlendSpec* blend) {
  return blend ? blend->weight : 1.f;
}
inline ECompositeOp BlendOp(const IBlendSpec* blend) {
  return blend ? blend->op : ECompositeOp::SrcOver;
}

enum class EHAlign : int32_t { Left = 0, Center = 1, Right = 2 };
enum class EVAlign : int32_t { Top = 0, Middle = 1, Bottom = 2 };

/** How text is drawn; the font id names a font loaded into the graphics context. */
struct ITextStyle {
  static constexpr int kMaxFontIdLen = 64;

  char fontID[kMaxFontIdLen] = {};
  float size = 14.f;
  IArgb fgColor = COLOR_BLACK;
  IArgb textEntryBGColor = COLOR_WHITE;
  IArgb textEntryFGColor = COLOR_BLACK;
  float angle = 0.f;
  EHAlign align = EHAlign::Center;
  EVAlign valign = EVAlign::Middle;

  ITextStyle() : ITextStyle(14.f) {}
  explicit ITextStyle(float size, const IArgb& color = COLOR_BLACK,
                      const char* fontID = "Roboto-Regular", EHAlign align = EHAlign::Center,
                      EVAlign valign = EVAlign::Middle, float angle = 0.f,
                      const IArgb& textEntryBG = COLOR_WHITE,
                      const IArgb& textEntryFG = COLOR_BLACK);

  /** Copies at most kMaxFontIdLen - 1 characters. */
  void SetFontID(const char* id);
};

/** The style every control starts with. */
inline const ITextStyle DEFAULT_TEXT{};

/**
 * A decoded image owned by the shared bitmap cache. The handle belongs to the drawing backend;
 * a backend that needs to own more than a pointer derives from this class.
 */
class APIBitmap {
 public:
  APIBitmap() = default;
  APIBitmap(void* handle, int width, int height, float scale, float drawScale)
      : mHandle(handle), mWidth(width), mHeight(height), mScale(scale), mDrawScale(drawScale) {}
  virtual ~APIBitmap() = default;
  APIBitmap(const APIBitmap&) = delete;
  APIBitmap& operator=(const APIBitmap&) = delete;

  void* Handle() const { return mHandle; }
  /** Size in device pixels. */
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  /** The pixel density the pixels were made for (1 for a plain resource, 2 for "@2x"). */
  float Scale() const { return mScale; }
  /** Not 1 only for a layer surface made at another draw scale. */
  float DrawScale() const { return mDrawScale; }

  // Handles count themselves on the bitmap they refer to, so that the cache can let go of an
  // image no control shows any more (one of an earlier scale) without leaving a handle behind
  // that points at nothing. [editor threads; the cache's lock for a count rising from 0]
  /** Handles to this bitmap alive now. */
  int Holders() const { return mHolders.load(std::memory_order_acquire) & ~kOrphaned; }
  void Hold() const { mHolders.fetch_add(1, std::memory_order_acq_rel); }
  /** The last handle to a bitmap its cache has given up deletes it. */
  void Release() const {
    if (mHolders.fetch_sub(1, std::memory_order_acq_rel) - 1 == kOrphaned) delete this;
  }
  /** The cache gives up a bitmap (it is emptied): deleted now when no handle holds it, else by
   * its last handle. */
  static void Abandon(APIBitmap* bitmap) {
    if (bitmap &&
        (bitmap->mHolders.fetch_or(kOrphaned, std::memory_order_acq_rel) & ~kOrphaned) == 0)
      delete bitmap;
  }

 protected:
  void SetBitmap(void* handle, int width, int height, float scale, float drawScale) {
    mHandle = handle;
    mWidth = width;
    mHeight = height;
    mScale = scale;
    mDrawScale = drawScale;
  }

 private:
  static constexpr int kOrphaned = 1 << 30;

  void* mHandle = nullptr;
  int mWidth = 0;
  int mHeight = 0;
  float mScale = 1.f;
  float mDrawScale = 1.f;
  mutable std::atomic<int> mHolders{0};
};

/**
 * A non-owning, copyable handle to a cached image that may hold several frames (a film strip),
 * laid out left to right or top to bottom.
 */
class IBitmapHandle {
 public:
  IBitmapHandle() = default;
  IBitmapHandle(APIBitmap* bitmap, int nFrames, bool framesHorizontal, const char* name);
  IBitmapHandle(const IBitmapHandle& other);
  IBitmapHandle(IBitmapHandle&& other) noexcept;
  IBitmapHandle& operator=(const IBitmapHandle& other);
  IBitmapHandle& operator=(IBitmapHandle&& other) noexcept;
  ~IBitmapHandle();

  bool IsValid() const { return mBitmap != nullptr; }
  APIBitmap* GetAPIBitmap() const { return mBitmap; }
  /** Size in graphics units. */
  int W() const { return mW; }
  int H() const { return mH; }
  int N() const { return mN; }
  bool FramesAreHorizontal() const { return mFramesHorizontal; }
  const std::string& ResourceName() const { return mResourceName; }

  int FW() const { return mFramesHorizontal ? mW / mN : mW; }
  int FH() const { return mFramesHorizontal ? mH : mH / mN; }
  /** Where frame k (1-based) starts inside the strip, in graphics units. */
  int FrameX(int k) const { return mFramesHorizontal ? (k - 1) * mW / mN : 0; }
  int FrameY(int k) const { return mFramesHorizontal ? 0 : (k - 1) * mH / mN; }

 private:
  APIBitmap* mBitmap = nullptr;
  int mW = 0;
  int mH = 0;
  int mN = 1;
  bool mFramesHorizontal = false;
  std::string mResourceName;
};

/**
 * A 2-D affine transform: (x, y) maps to (xx x + xy y + tx, yx x + yy y + ty). Every operation
 * composes its matrix so that it is applied to points before the current one.
 */
struct ITransform2D {
  double xx = 1.0;
  double yx = 0.0;
  double xy = 0.0;
  double yy = 1.0;
  double tx = 0.0;
  double ty = 0.0;

  constexpr ITransform2D() = default;
  constexpr ITransform2D(double xx_, double yx_, double xy_, double yy_, double tx_, double ty_)
      : xx(xx_), yx(yx_), xy(xy_), yy(yy_), tx(tx_), ty(ty_) {}

  ITransform2D& Transform(const ITransform2D& m);
  ITransform2D& Translate(double x, double y) { return Transform({1, 0, 0, 1, x, y}); }
  ITransform2D& Scale(double sx, double sy) { return Transform({sx, 0, 0, sy, 0, 0}); }
  ITransform2D& Rotate(double degrees);
  void TransformPoint(double& x, double& y) const;

  friend bool operator==(const ITransform2D&, const ITransform2D&) = default;
};

struct IGradientStop {
  IArgb color = COLOR_BLACK;
  float offset = 0.f;
};

enum class EPaintKind : int32_t { Solid = 0, Linear = 1, Radial = 2 };
enum class EPaintExtend : int32_t { None = 0, Pad = 1, Reflect = 2, Repeat = 3 };

/** What a path is stroked or filled with: one colour or a gradient. */
struct IPaint {
  static constexpr int kMaxStops = 16;

  EPaintKind kind = EPaintKind::Solid;
  EPaintExtend extend = EPaintExtend::Pad;
  IGradientStop stops[kMaxStops];
  int nStops = 0;
  /** From graphics coordinates into pattern space. */
  ITransform2D transform;

  explicit IPaint(EPaintKind kind_ = EPaintKind::Solid, EPaintExtend extend_ = EPaintExtend::Pad)
      : kind(kind_), extend(extend_) {}
  /** A solid pattern of one colour. */
  explicit IPaint(const IArgb& color);

  /** False when all stops are in use. */
  bool AddStop(const IArgb& color, float offset);
};

enum class ECapStyle : int32_t { Butt = 0, Round = 1, Square = 2 };
enum class EJoinStyle : int32_t { Miter = 0, Round = 1, Bevel = 2 };
enum class EWindingRule : int32_t { Winding = 0, EvenOdd = 1 };

struct IStrokeStyle {
  static constexpr int kMaxDashes = 8;

  struct Dash {
    float array[kMaxDashes] = {};
    float offset = 0.f;
    /** 0 draws a solid line. */
    int count = 0;

    /** Keeps at most kMaxDashes lengths. */
    void Set(const float* lengths, int n, float dashOffset);
  };

  float miterLimit = 10.f;
  /** Keep the path after stroking instead of clearing it. */
  bool preserve = false;
  ECapStyle cap = ECapStyle::Butt;
  EJoinStyle join = EJoinStyle::Miter;
  Dash dash;
};

struct IFillStyle {
  EWindingRule rule = EWindingRule::Winding;
  bool preserve = false;
};

/** A drop shadow for a layer; drawForeground puts the layer's content back over its shadow. */
struct IDropShadowSpec {
  IPaint pattern;
  float blurSize = 0.f;
  float xOffset = 0.f;
  float yOffset = 0.f;
  float opacity = 1.f;
  bool drawForeground = true;

  IDropShadowSpec(const IPaint& pattern_, float blurSize_, float xOffset_, float yOffset_,
                  float opacity_, bool drawForeground_)
      : pattern(pattern_),
        blurSize(blurSize_),
        xOffset(xOffset_),
        yOffset(yOffset_),
        opacity(opacity_),
        drawForeground(drawForeground_) {}
};

/**
 * A parsed SVG document as the drawing backend keeps it. Its size is in the units it was loaded
 * with; drawing it is the backend's (graphics units at the current transform, origin at the
 * document's top left).
 */
class SvgImage {
 public:
  SvgImage(float width, float height) : mWidth(width), mHeight(height) {}
  virtual ~SvgImage() = default;
  SvgImage(const SvgImage&) = delete;
  SvgImage& operator=(const SvgImage&) = delete;

  float Width() const { return mWidth; }
  float Height() const { return mHeight; }

 private:
  float mWidth;
  float mHeight;
};

/** A parsed SVG document; not owned, the shared SVG cache keeps it. */
struct ISvgDocument {
  SvgImage* image = nullptr;

  bool IsValid() const { return image != nullptr; }
  float W() const { return image ? image->Width() : 0.f; }
  float H() const { return image ? image->Height() : 0.f; }
};

/** Modifier state of one pointer event; touchID is 0 for the mouse. */
struct IPointerMods {
  bool L = false;
  bool R = false;
  bool S = false;
  bool C = false;
  bool A = false;
  int64_t touchID = 0;
  float touchRadius = 0.f;

  bool IsTouch() const { return touchID != 0; }
};

/** One pointer (or touch) in graphics units, with its movement since the previous event. */
struct IPointerEvent {
  float x = 0.f;
  float y = 0.f;
  float dX = 0.f;
  float dY = 0.f;
  IPointerMods ms;
};

using IPointerEventList = std::vector<IPointerEvent>;

/** One key event; utf8 holds the character the key produced, empty when none. */
struct IKeyEvent {
  int32_t VK = 0;
  char utf8[5] = {};
  bool S = false;
  bool C = false;
  bool A = false;

  IKeyEvent() = default;
  IKeyEvent(const char* text, int32_t vk, bool shift = false, bool ctrl = false, bool alt = false);
  explicit IKeyEvent(const IKeyPress& key);
};

/** The list of regions to repaint in one frame. */
class IDirtyList {
 public:
  void Add(const IBox& r) { mRects.push_back(r); }
  const IBox& Get(int i) const { return mRects[static_cast<size_t>(i)]; }
  int Size() const { return static_cast<int>(mRects.size()); }
  void Clear() { mRects.clear(); }
  void PixelAlign(float scale);
  /** The union of all entries. */
  IBox Bounds() const;
  /**
   * Removes overlaps between entries (without changing the area covered), then merges
   * neighbours that form a rectangle together, so no pixel is drawn twice.
   */
  void Optimize();

 private:
  /** r less x (x inside r) in its pieces: the band above x, the band below, then the parts
   * left and right of x; none holds a pixel of x. */
  static int Subtract(const IBox& r, const IBox& x, IBox (&pieces)[4]);
  /** Replaces entry `index` by what is left of it once x (inside it) is taken out. */
  void SplitEntry(size_t index, const IBox& x);

  std::vector<IBox> mRects;
};

/** One item of a popup menu. */
class IMenuEntry {
 public:
  enum Flags : int32_t {
    kNoFlags = 0,
    kDisabled = 1,
    kTitle = 2,
    kChecked = 4,
    kSeparator = 8,
  };

  explicit IMenuEntry(const char* text = "", int32_t flags = kNoFlags, int32_t tag = -1);
  /** Takes ownership of the submenu. */
  IMenuEntry(const char* text, IMenuModel* submenu);
  ~IMenuEntry();
  IMenuEntry(const IMenuEntry&) = delete;
  IMenuEntry& operator=(const IMenuEntry&) = delete;

  const std::string& Text() const { return mText; }
  void SetText(const char* text) { mText = text ? text : ""; }
  IMenuModel* Submenu() const { return mSubmenu.get(); }
  int32_t GetFlags() const { return mFlags; }
  void SetFlags(int32_t flags) { mFlags = flags; }
  bool IsChecked() const { return mFlags & kChecked; }
  bool IsSeparator() const { return mFlags & kSeparator; }
  int32_t Tag() const { return mTag; }

 private:
  std::string mText;
  std::unique_ptr<IMenuModel> mSubmenu;
  int32_t mFlags = kNoFlags;
  int32_t mTag = -1;
};

/** A popup menu: an ordered, owned item list, the chosen item and a root title. */
class IMenuModel {
 public:
  using CompletionFunction = std::function<void(IMenuModel* menu)>;

  explicit IMenuModel(const char* rootTitle = "") : mRootTitle(rootTitle ? rootTitle : "") {}
  IMenuModel(const IMenuModel&) = delete;
  IMenuModel& operator=(const IMenuModel&) = delete;

  /** Takes ownership; returns the item. */
  IMenuEntry* AddItem(IMenuEntry* item);
  IMenuEntry* AddItem(const char* text, int32_t flags = IMenuEntry::kNoFlags, int32_t tag = -1);
  IMenuEntry* AddSeparator();
  int NItems() const { return static_cast<int>(mItems.size()); }
  /** Null outside the list. */
  IMenuEntry* GetItem(int i) const;
  /** Deletes every item and forgets the choice. */
  void Clear();

  int ChosenItemIdx() const { return mChosenIdx; }
  void SetChosenItemIdx(int idx) { mChosenIdx = idx; }
  IMenuEntry* ChosenItem() const { return GetItem(mChosenIdx); }

  const std::string& RootTitle() const { return mRootTitle; }
  void SetRootTitle(const char* title) { mRootTitle = title ? title : ""; }
  /** 0: no column breaks. */
  int32_t ItemsPerColumn() const { return mItemsPerColumn; }
  void SetItemsPerColumn(int32_t n) { mItemsPerColumn = n; }
  /** 0 none, 1 "%1d: %s", 2 "%02d: %s", 3 "%03d: %s". */
  int32_t NumberingPrefix() const { return mPrefix; }
  void SetNumberingPrefix(int32_t prefix) { mPrefix = prefix; }

  /** Called by the platform once the user picked an item of this (sub)menu. */
  void SetCompletionFunction(CompletionFunction func) { mCompletion = std::move(func); }
  void Complete() {
    if (mCompletion) mCompletion(this);
  }

 private:
  int32_t mItemsPerColumn = 0;
  int32_t mPrefix = 0;
  std::vector<std::unique_ptr<IMenuEntry>> mItems;
  int32_t mChosenIdx = -1;
  std::string mRootTitle;
  CompletionFunction mCompletion;
};

/** An offscreen drawing target on the graphics context's layer stack. */
struct IOffscreenLayer {
  std::unique_ptr<APIBitmap> bitmap;
  IControl* control = nullptr;
  /** The control's rectangle when the layer was made. */
  IBox controlRect;
  /** Pixel-aligned, in graphics units. */
  IBox bounds;
  bool invalid = false;
};

/** Where a resource was found: nowhere, as a file, or embedded in the module. */
enum class EResourceLocation : int32_t { NotFound = 0, FilePath = 1, Module = 2 };

/** Direction in which a pointer movement changes a value. */
enum class EDirection : int32_t { Vertical = 0, Horizontal = 1 };

/** What the corner handle does while it is dragged. */
enum class EResizerMode : int32_t { Scale = 0, Size = 1 };

enum class ECursor : int32_t {
  Arrow = 0,
  IBeam = 1,
  Wait = 2,
  Cross = 3,
  UpArrow = 4,
  SizeNWSE = 5,
  SizeNESW = 6,
  SizeWE = 7,
  SizeNS = 8,
  SizeAll = 9,
  No = 10,
  Hand = 11,
  AppStarting = 12,
  Help = 13,
};

enum class EFontStyle : int32_t { Normal = 0, Bold = 1, Italic = 2 };

/** Message-box buttons and answers use the system's own numbering. */
enum class EMsgBoxType : int32_t {
  OK = 0,
  OKCancel = 1,
  AbortRetryIgnore = 2,
  YesNoCancel = 3,
  YesNo = 4,
  RetryCancel = 5,
};

enum class EMsgBoxResult : int32_t {
  NoResult = 0,
  OK = 1,
  Cancel = 2,
  Abort = 3,
  Retry = 4,
  Ignore = 5,
  Yes = 6,
  No = 7,
};

enum class EFileAction : int32_t { Open = 0, Save = 1 };

using MsgBoxCompletionFunction = std::function<void(EMsgBoxResult result)>;
using FileDialogCompletionFunction =
    std::function<void(const std::string& fileName, const std::string& path)>;
using ColorPickerCompletionFunction = std::function<void(const IArgb& color)>;

}  // namespace iplug::igraphics
