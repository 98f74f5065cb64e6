#pragma once

#include <cstdint>

// Our extension of the host interface (beside the sized chunk calls): a view container that
// offers memory instead of a window. A host without a window system (the command-line host,
// the validator, tests) shows the editor this way; the editor draws and takes pointer events
// exactly as it does in a window, on the host's main thread, paced by the host's run loop.

/**
 * GetType of such a container answers this value; GetPtr then returns an AAX_OffscreenView.
 * ('OffV', far from the system's own types.)
 */
inline constexpr int32_t AAX_eViewContainer_Type_Offscreen = 0x4F666656;

/** AAX_OffscreenEvent kinds. */
enum AAX_EOffscreenEventKind : int32_t {
  AAX_eOffscreenEvent_Down = 1,         ///< a button goes down at (x, y)
  AAX_eOffscreenEvent_Up = 2,           ///< a button comes up at (x, y)
  AAX_eOffscreenEvent_Drag = 3,         ///< the pointer moves to (x, y) with a button held
  AAX_eOffscreenEvent_Move = 4,         ///< the pointer moves to (x, y) with no button held
  AAX_eOffscreenEvent_DoubleClick = 5,  ///< the second press of a double click, at (x, y)
  AAX_eOffscreenEvent_Wheel = 6,        ///< the wheel turns by delta steps (positive: up) at (x, y)
  AAX_eOffscreenEvent_Leave = 7,        ///< the pointer leaves the view
};

/** AAX_OffscreenEvent modifier bits: buttons and keys held during the event. */
enum AAX_EOffscreenModifiers : uint32_t {
  AAX_eOffscreenModifier_Left = 1u << 0,
  AAX_eOffscreenModifier_Right = 1u << 1,
  AAX_eOffscreenModifier_Middle = 1u << 2,
  AAX_eOffscreenModifier_Shift = 1u << 3,
  AAX_eOffscreenModifier_Control = 1u << 4,
  AAX_eOffscreenModifier_Alt = 1u << 5,
};

/** One pointer event, in the editor's own points (draw scale 1, before any zoom). */
struct AAX_OffscreenEvent {
  int32_t kind;  ///< AAX_EOffscreenEventKind
  float x;
  float y;
  float delta;         ///< wheel steps; 0 for the other kinds
  uint32_t modifiers;  ///< AAX_EOffscreenModifiers
};

/**
 * The memory view, owned by the host and valid while it is the container's view. The host fills
 * the host part before it sets the container; the editor fills the editor part when it opens in
 * the view and clears it when it closes. Every call either way is [main].
 */
struct AAX_OffscreenView {
  /** sizeof(AAX_OffscreenView) as the host was built; an editor refuses a smaller view. */
  uint32_t structSize;

  // ---- Host part ----
  void* hostContext;
  /** Device pixels per point of the host's display (1 for a plain screen, 2 for a dense one). */
  float screenScale;
  /**
   * The zoom the editor opens at. 0: the editor's own, the user's stored preference (stored
   * again when it closes). Otherwise the editor opens at this zoom (limited to 0.5 ... 4) and
   * leaves the stored preference alone: a picture taken by a host is not the user's choice.
   */
  float drawScale;
  /**
   * A finished frame: width x height premultiplied 32-bit pixels, alpha in the high byte of a
   * native-endian word, rows top down, stride bytes apart. The pixels stay the editor's: the
   * host copies what it keeps before it returns. Sizes follow the editor's zoom and the screen
   * scale; the view size the editor reports (GetViewSize, the container's SetViewSize) is the
   * frame's, in pixels, as a window system counts a window's size.
   */
  void (*PresentFrame)(void* hostContext, const uint8_t* pixels, int32_t width, int32_t height,
                       int32_t stride);

  // ---- Editor part ----
  void* editorContext;
  /** Delivers a pointer event; returns 1 when a control of the editor took it, 0 otherwise. */
  int32_t (*SendEvent)(void* editorContext, const AAX_OffscreenEvent* event);
  /** Draws whatever is due now and presents it, as a display tick of the editor would. */
  void (*Tick)(void* editorContext);
};
