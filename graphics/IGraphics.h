#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <stack>
#include <string>
#include <unordered_map>
#include <vector>

#include "graphics/IFontInfo.h"
#include "graphics/IGraphicsStructs.h"
#include "graphics/IPlugAAXViewInterface.h"

namespace iplug::igraphics {

class IControl;
class IGEditorDelegate;

/**
 * The editor's drawing surface and event hub, one per open editor. It owns the controls in draw
 * order (index 0 is the background), finds the regions that need repainting and redraws exactly
 * those, and keeps the editor's size, its draw scale (the user's zoom) and its screen scale (the
 * display's pixel density). Pixels and windows are not its business: a drawing backend and a
 * platform layer derive from it and implement the pure virtual operations.
 *
 * Editor thread only, except for the process-wide resource caches shared by all contexts.
 */
class IGraphics : public IPlugAAXView_Interface {
 public:
  using KeyHandlerFunction = std::function<bool(const IKeyEvent& key, bool isUp)>;
  using DisplayTickFunction = std::function<void()>;

  IGraphics(IGEditorDelegate& delegate, int width, int height, int fps = 60, float drawScale = 1.f);
  ~IGraphics() override;

  // ---- Virtual operations, in slot order ----

  /** Marks every control linked to the parameter with the host's highlight colour. */
  void SetHostParameterHighlight(int paramIdx, bool isHighlighted, int color) override;
  virtual void BeginFrame() {}
  virtual void OnSurfaceCreated(void* platformContext) = 0;
  virtual void OnSurfaceDestroyed() = 0;
  /** Presents the frame. */
  virtual void EndFrame() = 0;
  /** Fits the document into bounds, keeping its aspect; colours, when given, replace the
   * document's own fills and strokes. */
  virtual void DrawSvgDocument(const ISvgDocument& svg, const IBox& bounds,
                               const IBlendSpec* blend = nullptr,
                               const IArgb* strokeColor = nullptr,
                               const IArgb* fillColor = nullptr);
  virtual void DrawSvgDocumentRotated(const ISvgDocument& svg, float cx, float cy, float w, float h,
                                      float angle, const IBlendSpec* blend = nullptr);
  /** Draws the part of the bitmap that starts at (srcX, srcY), in graphics units, into dest. */
  virtual void DrawBitmap(const IBitmapHandle& bitmap, const IBox& dest, int srcX, int srcY,
                          const IBlendSpec* blend = nullptr) = 0;
  /** The whole bitmap stretched to bounds. */
  virtual void DrawBitmapFitted(const IBitmapHandle& bitmap, const IBox& bounds,
                                const IBlendSpec* blend = nullptr);
  virtual void DrawBitmapRotated(const IBitmapHandle& bitmap, float cx, float cy, float angle,
                                 const IBlendSpec* blend = nullptr);
  virtual void DrawPoint(const IArgb& color, float x, float y, const IBlendSpec* blend = nullptr);
  virtual void DrawLine(const IArgb& color, float x1, float y1, float x2, float y2,
                        const IBlendSpec* blend = nullptr, float thickness = 1.f);
  virtual void DrawDottedLine(const IArgb& color, float x1, float y1, float x2, float y2,
                              const IBlendSpec* blend = nullptr, float thickness = 1.f,
                              float dashLen = 2.f);
  virtual void DrawTriangle(const IArgb& color, float x1, float y1, float x2, float y2, float x3,
                            float y3, const IBlendSpec* blend = nullptr, float thickness = 1.f);
  virtual void DrawRect(const IArgb& color, const IBox& bounds, const IBlendSpec* blend = nullptr,
                        float thickness = 1.f);
  virtual void DrawRoundedRectEach(const IArgb& color, const IBox& bounds, float cRTL, float cRTR,
                                   float cRBL, float cRBR, const IBlendSpec* blend = nullptr,
                                   float thickness = 1.f);
  virtual void DrawRoundedRect(const IArgb& color, const IBox& bounds, float cornerRadius = 5.f,
                               const IBlendSpec* blend = nullptr, float thickness = 1.f);
  /** Angles in degrees, 0 at twelve o'clock, increasing clockwise. */
  virtual void DrawArc(const IArgb& color, float cx, float cy, float r, float a1, float a2,
                       const IBlendSpec* blend = nullptr, float thickness = 1.f);
  virtual void DrawCircle(const IArgb& color, float cx, float cy, float r,
                          const IBlendSpec* blend = nullptr, float thickness = 1.f);
  virtual void DrawEllipseRotated(const IArgb& color, float x, float y, float r1, float r2,
                                  float angle, const IBlendSpec* blend = nullptr,
                                  float thickness = 1.f);
  virtual void DrawEllipse(const IArgb& color, const IBox& bounds,
                           const IBlendSpec* blend = nullptr, float thickness = 1.f);
  virtual void DrawPolygon(const IArgb& color, const float* x, const float* y, int npoints,
                           const IBlendSpec* blend = nullptr, float thickness = 1.f);
  virtual void DrawDashedRect(const IArgb& color, const IBox& bounds,
                              const IBlendSpec* blend = nullptr, float thickness = 1.f,
                              float dashLen = 2.f);
  virtual void FillTriangle(const IArgb& color, float x1, float y1, float x2, float y2, float x3,
                            float y3, const IBlendSpec* blend = nullptr);
  virtual void FillRect(const IArgb& color, const IBox& bounds, const IBlendSpec* blend = nullptr);
  virtual void FillRoundedRectEach(const IArgb& color, const IBox& bounds, float cRTL, float cRTR,
                                   float cRBL, float cRBR, const IBlendSpec* blend = nullptr);
  virtual void FillRoundedRect(const IArgb& color, const IBox& bounds, float cornerRadius = 5.f,
                               const IBlendSpec* blend = nullptr);
  virtual void FillCircle(const IArgb& color, float cx, float cy, float r,
                          const IBlendSpec* blend = nullptr);
  virtual void FillEllipseRotated(const IArgb& color, float x, float y, float r1, float r2,
                                  float angle, const IBlendSpec* blend = nullptr);
  virtual void FillEllipse(const IArgb& color, const IBox& bounds,
                           const IBlendSpec* blend = nullptr);
  /** A pie slice. */
  virtual void FillArc(const IArgb& color, float cx, float cy, float r, float a1, float a2,
                       const IBlendSpec* blend = nullptr);
  virtual void FillPolygon(const IArgb& color, const float* x, const float* y, int npoints,
                           const IBlendSpec* blend = nullptr);
  /** The width of the string in the style; bounds receives the text's rectangle. */
  virtual float MeasureText(const ITextStyle& style, const char* str, IBox& bounds) const;
  /** Multi-line text is the backend's; without it the placeholder "Unsupported" is drawn. */
  virtual void DrawTextLines(const ITextStyle& style, const char* str, const IBox& bounds,
                             const IBlendSpec* blend = nullptr);
  virtual IArgb GetPoint(int x, int y) = 0;
  virtual void* GetNativeCanvas() const = 0;
  virtual const char* DrawingBackendName() const = 0;
  /** A copy of the bitmap at another scale, made through a layer and kept in the cache. */
  virtual IBitmapHandle RescaleBitmap(const IBitmapHandle& bitmap, const char* name,
                                      int targetScale);
  virtual void AddBitmapToCache(const IBitmapHandle& bitmap, const char* cacheName);
  virtual void RemoveBitmapFromCache(const IBitmapHandle& bitmap);
  /** name: a file or resource name, or just its extension. */
  virtual bool SupportsImageType(const char* name) const = 0;
  virtual void DrawQuickShadow(const IBox& inner, const IBox& outer, float offset, float roundness,
                               float blur, const IBlendSpec* blend = nullptr) {}
  /** Lines every gridW units across and every gridH units down, no outline. */
  virtual void DrawGrid(const IArgb& color, const IBox& bounds, float gridW, float gridH,
                        const IBlendSpec* blend = nullptr, float thickness = 1.f);
  /**
   * A polyline of n values in 0..1 from the bottom of bounds; xs (0..1 across) is optional, and
   * with a fill colour the area under the line is filled first.
   */
  virtual void DrawPlot(const IArgb& color, const IBox& bounds, const float* ys, int n,
                        const float* xs = nullptr, const IBlendSpec* blend = nullptr,
                        float thickness = 1.f, const IArgb* fillColor = nullptr);
  virtual bool LoadFont(const char* fontID, const void* data, int size);
  virtual bool LoadFont(const char* fontID, const char* fileOrResourceName);
  /** Replaces the layer's content by its blurred shadow (and the content over it). */
  virtual void ApplyShadowToLayer(IOffscreenLayer& layer, const IDropShadowSpec& shadow);
  /** Copies a layer's pixels, 4 bytes each. */
  virtual void ReadLayerPixels(IOffscreenLayer& layer, std::vector<uint8_t>& data) = 0;
  virtual void CompositeShadowMask(IOffscreenLayer& layer, const std::vector<uint8_t>& mask,
                                   const IDropShadowSpec& shadow) = 0;
  /** Drawing goes to the top layer, or to the main surface without layers. */
  virtual void RefreshLayerSurface() = 0;
  virtual void ClearPath() = 0;
  virtual void ClosePath() = 0;
  /** Angles in degrees, 0 at twelve o'clock, increasing clockwise. */
  virtual void AddArc(float cx, float cy, float r, float a1, float a2) = 0;
  virtual void MoveTo(float x, float y) = 0;
  virtual void LineTo(float x, float y) = 0;
  virtual void SetPathWinding(bool clockwise) {}
  virtual void CubicTo(float c1x, float c1y, float c2x, float c2y, float x2, float y2) = 0;
  virtual void QuadTo(float cx, float cy, float x2, float y2) = 0;
  virtual void StrokePath(const IPaint& pattern, float thickness,
                          const IStrokeStyle& options = IStrokeStyle(),
                          const IBlendSpec* blend = nullptr) = 0;
  virtual void FillPath(const IPaint& pattern, const IFillStyle& options = IFillStyle(),
                        const IBlendSpec* blend = nullptr) = 0;
  virtual void SetPathTransform(const ITransform2D& transform) = 0;
  /** Ends drawing into a region. */
  virtual void FinishRegion(const IBox& region) {}
  /** Starts drawing into a region: everything is clipped to it until FinishRegion. */
  virtual void BeginRegion(const IBox& region) = 0;

  // Platform: pointer, windows and services.
  virtual void QueryPointerPosition(float& x, float& y) const = 0;
  /** lock: keep the pointer in place while hidden. */
  virtual void HidePointer(bool hide, bool lock) = 0;
  virtual void WarpPointer(float x, float y) = 0;
  /** Returns the previous shape. */
  virtual ECursor SetPointerShape(ECursor shape) = 0;
  virtual void AbortTextEntry() = 0;
  /** Creates the editor window inside parent; returns the view handle or null. */
  virtual void* OpenWindow(void* parent) = 0;
  virtual void CloseWindow() = 0;
  virtual void* NativeWindow() const = 0;
  virtual bool IsWindowOpen() const { return NativeWindow() != nullptr; }
  virtual bool ReadClipboardText(std::string& text) = 0;
  virtual bool WriteClipboardText(const char* text) = 0;
  virtual bool WriteClipboardFilePath(const char* path) { return false; }
  virtual bool StartFileDragOut(const char* path, const IBox& iconBounds) { return false; }
  virtual EMsgBoxResult ShowMessageBox(const char* text, const char* caption, EMsgBoxType type,
                                       MsgBoxCompletionFunction completion = nullptr) = 0;
  virtual void ChooseFile(std::string& fileName, std::string& path, EFileAction action,
                          const char* extensions,
                          FileDialogCompletionFunction completion = nullptr) = 0;
  virtual void ChooseDirectory(std::string& path,
                               FileDialogCompletionFunction completion = nullptr) = 0;
  virtual bool PickColor(IArgb& color, const char* title,
                         ColorPickerCompletionFunction completion = nullptr) = 0;
  virtual bool OpenURL(const char* url, const char* windowTitle = nullptr,
                       const char* confirmText = nullptr, const char* errorText = nullptr) = 0;
  virtual const char* PlatformName() const { return ""; }
  virtual bool ShowInFileBrowser(const char* path, bool select) = 0;
  virtual void SetModuleInstance(void* instance) = 0;
  virtual void* ModuleInstance() const = 0;
  virtual std::unique_ptr<PlatformFont> LoadNativeFont(const char* fontID, const char* family,
                                                       EFontStyle style) = 0;
  virtual std::unique_ptr<PlatformFont> LoadNativeFont(const char* fontID, const void* data,
                                                       int size) = 0;
  virtual std::unique_ptr<PlatformFont> LoadNativeFont(const char* fontID,
                                                       const char* fileOrResourceName) = 0;
  /** The platform keeps the font for the rest of the process. */
  virtual void CacheNativeFont(const char* fontID, std::unique_ptr<PlatformFont> font) = 0;
  /**
   * Where a resource of a type ("png", "ttf", "svg") is: found receives the resolved name.
   * Module resources are named by their upper-cased file name between double quotes.
   */
  virtual EResourceLocation ResolveResource(const char* name, const char* type,
                                            std::string& found) const = 0;
  /** A module resource's bytes (resolved name and type), or null with size 0 when missing. */
  virtual const uint8_t* ModuleResourceBytes(const char* found, const char* type,
                                             int& size) const = 0;
  virtual const char* BundleIdentifier() const { return ""; }
  virtual const char* AppGroupIdentifier() const { return ""; }
  virtual void BeforePaint() {}
  virtual void AfterPaint() {}
  /** paramIdx is kNoParameter for a text entry that belongs to no parameter. */
  virtual void ShowNativeTextField(int paramIdx, const ITextStyle& style, const IBox& bounds,
                                   int maxLength, const char* text) = 0;
  /** Returns the (sub)menu the user chose from, or null; isAsync is set when the answer comes
   * later through ApplyMenuResult. */
  virtual IMenuModel* ShowNativeMenu(IMenuModel& menu, const IBox& bounds, bool& isAsync) = 0;
  virtual bool SupportsMultiTouch() const = 0;
  /** Window pixels per window unit. */
  virtual float WindowScale() const { return 1.f; }
  /** Brings the native window to the current size; parentHasResized: the host already did. */
  virtual void ResizeNativeWindow(bool parentHasResized) = 0;
  /** The drawing surface must follow the new size or scale. */
  virtual void OnSurfaceResize() = 0;
  virtual IBitmapHandle LoadBitmap(const char* name, const void* data, int size, int nStates = 1,
                                   bool framesAreHorizontal = false, int targetScale = 0);
  /** targetScale 0: the one for the current total scale. */
  virtual IBitmapHandle LoadBitmap(const char* name, int nStates = 1,
                                   bool framesAreHorizontal = false, int targetScale = 0);
  virtual ISvgDocument LoadSvgDocument(const char* name, const void* data, int size,
                                       const char* units = "px", float dpi = 72.f);
  virtual ISvgDocument LoadSvgDocument(const char* fileOrResourceName, const char* units = "px",
                                       float dpi = 72.f);
  /** Empty when the resource is missing or unreadable. */
  virtual std::vector<uint8_t> LoadRawResource(const char* name, const char* type);
  virtual void AddGestureKind(int kind);
  virtual std::unique_ptr<APIBitmap> DecodeBitmap(const char* name, const void* data, int size,
                                                  int scale) = 0;
  /** locationKind: 1 a file path, 2 a module resource. */
  virtual std::unique_ptr<APIBitmap> DecodeBitmap(const char* path, int scale, int locationKind,
                                                  const char* ext) = 0;
  virtual std::unique_ptr<APIBitmap> NewBackendBitmap(int width, int height, float scale,
                                                      float drawScale, bool cacheable) = 0;
  virtual bool LoadBackendFont(const char* fontID, PlatformFont& font) = 0;
  /** Byte index of alpha within a 4-byte pixel. */
  virtual int AlphaChannelIndex() const { return 3; }
  /** True when pixel rows are stored bottom-up. */
  virtual bool IsBitmapFlipped() const { return false; }
  virtual float MeasureTextImpl(const ITextStyle& style, const char* str, IBox& bounds) const = 0;
  virtual void DrawTextImpl(const ITextStyle& style, const char* str, const IBox& bounds,
                            const IBlendSpec* blend) = 0;
  /** Parses an SVG document (text of size bytes, not necessarily NUL-terminated); null when it
   * is not one. Sizes are reported in units ("px", "pt", "pc", "mm", "cm", "in") at dpi. */
  virtual std::unique_ptr<SvgImage> ParseSvgDocument(const char* text, int size, const char* units,
                                                     float dpi) = 0;
  /** Draws the document with its top left at the origin of the current transform. */
  virtual void DrawSvgImage(const SvgImage& svg, const IBlendSpec* blend, const IArgb* strokeColor,
                            const IArgb* fillColor) = 0;
  /** Device pixels per graphics unit. */
  virtual float BackingScale() const { return mDrawScale * mScreenScale; }

  // ---- Controls ----

  /**
   * Attaches a control and takes ownership of it, unless its tag (> kNoTag) is in use already:
   * then null is returned and the caller keeps the control.
   */
  IControl* AddControl(IControl* control, int tag = -1, const char* group = "");
  /** Null outside the list. */
  IControl* GetControl(int idx) const;
  IControl* GetControlWithTag(int tag) const;
  int NControls() const { return static_cast<int>(mControls.size()); }
  /** Releases the pointer and deletes every control, last first. */
  void ClearControls();
  void EachControl(const std::function<void(IControl& control)>& func);
  /** Every control with a value slot linked to the parameter. */
  void EachControlOfParam(int paramIdx, const std::function<void(IControl& control)>& func);
  void SetAllControlsDirty();
  void SetAllControlsClean();
  /** Pushes a reported value to the other controls on the same parameter. */
  void SyncSiblingControls(IControl* control, int valIdx);

  // ---- Drawing cycle ----

  /** Runs the display tick and animations, then collects the regions of dirty controls. */
  bool IsDirty(IDirtyList& rects);
  /** Repaints the regions (aligned, and merged unless drawing is strict) and ends the frame. */
  void Draw(IDirtyList& rects);
  /** Draws one control clipped to region and to its ancestors. */
  void DrawControl(IControl* control, const IBox& region, float scale);
  /**
   * Frames drawn so far, counting the one being drawn. A control drawn in several clipped
   * pieces of one frame (its region overlaps several dirty rectangles) sees the same number in
   * each piece.
   */
  uint64_t FrameCount() const { return mFrameCount; }

  // ---- Drawing helpers ----

  void DrawText(const ITextStyle& style, const char* str, const IBox& bounds,
                const IBlendSpec* blend = nullptr);
  /** Frame k (1..N) of a film strip into bounds. */
  void DrawBitmapFrame(const IBitmapHandle& bitmap, const IBox& bounds, int frame,
                       const IBlendSpec* blend = nullptr);
  void PathRect(const IBox& bounds);
  /** Radii top-left, top-right, bottom-left, bottom-right; all <= 0 gives the rectangle. */
  void PathRoundRect(const IBox& bounds, float ctl, float ctr, float cbl, float cbr);
  void PathRoundRect(const IBox& bounds, float r) { PathRoundRect(bounds, r, r, r, r); }
  void PathCircle(float cx, float cy, float r);
  /** Nothing for a radius <= 0. */
  void PathEllipse(float x, float y, float r1, float r2, float angle = 0.f);
  void PathEllipse(const IBox& bounds);
  void PathConvexPolygon(const float* x, const float* y, int npoints);
  void PathTriangle(float x1, float y1, float x2, float y2, float x3, float y3);
  /** Clips to r within the control's region (or the top layer); an empty r clips to all of it. */
  void PathClipRegion(const IBox& r = IBox());
  /**
   * For rotated text: the offsets (tx, ty) that align the bounding box of the measured text
   * rectangle, rotated by the style's angle about the origin, in bounds. Nothing for angle 0.
   */
  void CalculateTextRotation(const ITextStyle& style, const IBox& bounds, IBox& rect, double& tx,
                             double& ty) const;
  void PathTransformSave();
  /** Pops the last saved transform; nothing when none is saved. */
  void PathTransformRestore();
  void PathTransformReset(bool clearSaved = false);
  void PathTransformTranslate(float x, float y);
  void PathTransformScale(float sx, float sy);
  void PathTransformRotate(float degrees);
  const ITransform2D& GetTransform() const { return mTransform; }
  int NSavedTransforms() const { return static_cast<int>(mTransformStates.size()); }
  /** The region of the control being drawn. */
  const IBox& GetClipRECT() const { return mClipRECT; }

  // ---- Resources and layers ----

  /** The bitmap reloaded for the current total scale. */
  IBitmapHandle BitmapAtScale(const IBitmapHandle& bitmap);
  /** Drawing goes into a new offscreen layer over r until PopLayer. */
  void PushLayer(IControl* control, const IBox& r, bool cacheable = false);
  /** The caller owns the layer; null when none is open. */
  std::unique_ptr<IOffscreenLayer> PopLayer();
  int NLayers() const { return static_cast<int>(mLayers.size()); }
  /** The bounds of the layer being drawn, or null. */
  const IOffscreenLayer* TopLayer() const {
    return mLayers.empty() ? nullptr : mLayers.top().get();
  }

  // ---- Size and scale ----

  /**
   * Sets the editor size (clamped by the delegate) and draw scale (clamped to the scale limits).
   * Nothing happens when neither changes.
   */
  void Resize(int width, int height, float scale, bool needsPlatformResize = true);
  void SetScreenScale(float scale);
  /** Ends an interactive resize; in scale mode the controls reload their bitmaps now. */
  void FinishCornerResize();
  /** Lets the shared cache delete the bitmaps no handle holds (those of an earlier scale). */
  static void ReleaseUnheldBitmaps();

  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  float GetDrawScale() const { return mDrawScale; }
  float GetScreenScale() const { return mScreenScale; }
  float GetMinScale() const { return mMinScale; }
  float GetMaxScale() const { return mMaxScale; }
  void SetScaleConstraints(float lo, float hi);
  EResizerMode GetResizerMode() const { return mResizerMode; }
  void SetResizerMode(EResizerMode mode) { mResizerMode = mode; }
  bool GetLayoutOnResize() const { return mLayoutOnResize; }
  void SetLayoutOnResize(bool layout) { mLayoutOnResize = layout; }
  bool GetResizingInProcess() const { return mResizingInProcess; }
  void SetResizingInProcess(bool resizing) { mResizingInProcess = resizing; }
  /** 0 when no scale is waiting for the end of a corner drag. */
  float GetPendingScale() const { return mPendingScale; }
  void SetPendingScale(float scale) { mPendingScale = scale; }
  bool GetShiftDuringResize() const { return mShiftDuringResize; }
  void SetShiftDuringResize(bool shift) { mShiftDuringResize = shift; }

  // ---- Flags ----

  bool MouseOverEnabled() const { return mEnableMouseOver; }
  void EnableMouseOver(bool enable) { mEnableMouseOver = enable; }
  bool TooltipsEnabled() const { return mEnableTooltips; }
  /** Tooltips need mouse-over tracking, so enabling them enables it. */
  void EnableTooltips(bool enable);
  bool GetStrictDrawing() const { return mStrictDrawing; }
  void SetStrictDrawing(bool strict) { mStrictDrawing = strict; }
  bool MultiTouchEnabled() const { return mEnableMultiTouch; }
  void EnableMultiTouch(bool enable) { mEnableMultiTouch = enable; }
  const std::vector<int>& GetGestureKinds() const { return mGestureKinds; }

  // ---- Input dispatch ----

  void OnMouseDown(const std::vector<IPointerEvent>& points);
  void OnMouseUp(const std::vector<IPointerEvent>& points);
  void OnMouseDrag(const std::vector<IPointerEvent>& points);
  bool OnMouseDoubleClick(float x, float y, const IPointerMods& mod);
  bool OnMouseOver(float x, float y, const IPointerMods& mod);
  void OnMouseOut();
  bool OnMouseWheel(float x, float y, const IPointerMods& mod, float delta);
  void OnFileDrop(const char* path, float x, float y);
  void OnFilesDrop(const std::vector<std::string>& paths, float x, float y);

  // ---- Value prompts ----

  /** A value menu for enumerations (and toggles with value texts), else a text field. */
  void PromptForValue(IControl* control, const IBox& bounds, int valIdx);
  void OpenTextEntry(IControl* control, const ITextStyle& style, const IBox& bounds,
                     const char* text, int valIdx);
  void OpenMenu(IControl* control, IMenuModel& menu, const IBox& bounds, int valIdx,
                bool isContext);
  /** The control's context menu at (x, y), when it builds one. */
  void OfferHostParameterMenu(IControl* control, int paramIdx, float x, float y);
  /** The platform's answer to ShowNativeTextField. */
  void ApplyTextEntryResult(const char* text);
  /** The platform's answer to ShowNativeMenu: the (sub)menu chosen from, or null. */
  void ApplyMenuResult(IMenuModel* menu);
  IControl* GetControlInTextEntry() const { return mInTextEntry; }
  IControl* GetControlInPopupMenu() const { return mInPopupMenu; }

  // ---- Input state ----

  /**
   * The control under a point. A control captured for the touch wins; otherwise the list is
   * searched from the top. capture records the result for the touch; mouseOver searches only
   * when mouse-over is enabled, skips the background and remembers the index found.
   */
  IControl* ControlAtPoint(float x, float y, bool capture = false, bool mouseOver = false,
                           int64_t touchID = 0);
  /**
   * Forgets all captured controls and shows a hidden pointer again. A gesture still open on a
   * captured control ends here: the control gets its release and the delegate the end of the
   * edit, so the host's touch never outlives the capture.
   */
  void ReleaseMouseCapture();
  bool IsControlCaptured(const IControl* control) const;
  /** The control under the point gets the key first (not the background), then the key
   * handler; false lets the platform pass the key to the host. */
  bool OnKeyDown(float x, float y, const IKeyEvent& key);
  bool OnKeyUp(float x, float y, const IKeyEvent& key);
  IControl* GetMouseOver() const { return mMouseOver; }
  int GetMouseOverIdx() const { return mMouseOverIdx; }
  IMenuModel& GetPromptMenu() { return mPromptMenu; }

  void SetKeyHandlerFunc(KeyHandlerFunction func) { mKeyHandlerFunc = std::move(func); }
  void SetDisplayTickFunc(DisplayTickFunction func) { mDisplayTickFunc = std::move(func); }

  IGEditorDelegate& GetDelegate() const { return mDelegate; }

  /** Graphics contexts alive in the process; the shared resource caches live while any does. */
  static int LiveContextCount();

 protected:
  // Platform state.
  ECursor mSavedCursor = ECursor::Arrow;
  bool mCursorHidden = false;
  bool mCursorLocked = false;
  float mHiddenCursorX = -1.f;
  float mHiddenCursorY = -1.f;
  double mPrevTimestamp = 0.0;

  // Input state.
  std::unordered_map<int64_t, IControl*> mCapturedMap;
  /** Touches whose press began a gesture that their release has not ended yet. */
  std::unordered_map<int64_t, IControl*> mGestures;
  /** Where each touch last was, for a release that capture loss has to make up. */
  std::unordered_map<int64_t, IPointerEvent> mLastPointer;
  IControl* mMouseOver = nullptr;
  int mMouseOverIdx = -1;
  IControl* mInTextEntry = nullptr;
  int mTextEntryValIdx = -1;
  IControl* mInPopupMenu = nullptr;
  bool mIsContextMenu = false;
  int mPopupMenuValIdx = -1;
  float mMouseDownX = -1.f;
  float mMouseDownY = -1.f;
  IMenuModel mPromptMenu;
  KeyHandlerFunction mKeyHandlerFunc;
  DisplayTickFunction mDisplayTickFunc;

  // Drawing state.
  std::stack<std::unique_ptr<IOffscreenLayer>> mLayers;
  IBox mClipRECT;
  ITransform2D mTransform;
  std::deque<ITransform2D> mTransformStates;

 private:
  void DrawControls(const IBox& region, float scale);
  /** Dispatches one press; false when it ended the processing of the event. */
  bool PressControl(const IPointerEvent& point);
  /**
   * The handle for a bitmap found at some scale: kept in the cache when it is newly decoded
   * for the target scale, otherwise rescaled (and only the copy kept). The cache lock is held.
   */
  IBitmapHandle BitmapFromSource(const char* name, APIBitmap* source,
                                 std::unique_ptr<APIBitmap> decoded, int nStates,
                                 bool framesAreHorizontal, int targetScale);
  /** The top control that accepts drops at the point, else the one under it. */
  IControl* DropTargetAt(float x, float y);
  /** Reports the window size to the delegate and brings the native window to it. */
  void RequestWindowResize(bool needsPlatformResize);

  std::vector<std::unique_ptr<IControl>> mControls;
  std::unordered_map<int, IControl*> mCtrlTags;
  uint64_t mFrameCount = 0;
  int mWidth;
  int mHeight;
  int mFPS;
  float mScreenScale = 1.f;
  float mDrawScale;
  std::vector<int> mGestureKinds;
  float mMinScale = 0.5f;
  float mMaxScale = 4.f;
  bool mEnableMouseOver = false;
  bool mStrictDrawing = false;
  bool mEnableTooltips = false;
  bool mResizingInProcess = false;
  bool mLayoutOnResize = false;
  bool mEnableMultiTouch = false;
  EResizerMode mResizerMode = EResizerMode::Scale;
  float mPendingScale = 0.f;
  bool mShiftDuringResize = false;
  IGEditorDelegate& mDelegate;
};

}  // namespace iplug::igraphics
