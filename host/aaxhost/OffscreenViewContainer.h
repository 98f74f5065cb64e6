#pragma once

#include <cstdint>
#include <vector>

#include "aax/interfaces/AAX_OffscreenView.h"
#include "host/aaxhost/ViewContainer.h"

namespace aaxhost {

/** A presented frame as the host keeps it: premultiplied ARGB32 words (alpha in the high byte),
 * rows top down and packed. */
struct OffscreenFrame {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;

  bool Empty() const noexcept { return pixels.empty(); }
  uint32_t At(int32_t x, int32_t y) const {
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
};

/**
 * A frame for the editor made of memory, for a host without a window system: GetType answers
 * AAX_eViewContainer_Type_Offscreen and GetPtr the AAX_OffscreenView this object owns, its host
 * part filled in. The editor fills its part when it opens in the view and clears it when it
 * closes; meanwhile the host drives it through Send and Tick. Every frame presented is copied,
 * since the editor's pixels are only lent for the call; the last one stays. Sizes the editor asks
 * for are recorded as by any container.
 *
 * Main thread only, like the editor.
 */
class OffscreenViewContainer final : public ViewContainer {
 public:
  /** Frames wider or taller than this are refused rather than copied. */
  static constexpr int32_t kMaxFrameSide = 32768;

  explicit OffscreenViewContainer(float screenScale = 1.0f, float drawScale = 1.0f);
  OffscreenViewContainer(const OffscreenViewContainer&) = delete;
  OffscreenViewContainer& operator=(const OffscreenViewContainer&) = delete;

  /** The view as the editor sees it. */
  const AAX_OffscreenView& View() const noexcept { return mView; }
  /** Read by the editor when it opens: set them before handing the container over. A draw scale
   * of 0 lets the editor choose (the user's stored zoom). */
  void SetScales(float screenScale, float drawScale) noexcept;

  /** True while the editor's part of the view is filled in. */
  bool EditorAttached() const noexcept;
  /** Delivers a pointer event: 1 when a control took it, 0 when none did, -1 without an editor. */
  int32_t Send(const AAX_OffscreenEvent& event);
  /** Lets the editor draw what is due and present it; false without an editor. */
  bool Tick();

  const OffscreenFrame& LastFrame() const noexcept { return mFrame; }
  uint64_t FramesPresented() const noexcept { return mPresented; }
  /** Frames refused: no pixels, an empty or absurd size, or rows longer than the stride. */
  uint64_t MalformedFrames() const noexcept { return mMalformed; }

 private:
  static void Present(void* hostContext, const uint8_t* pixels, int32_t width, int32_t height,
                      int32_t stride);
  void Keep(const uint8_t* pixels, int32_t width, int32_t height, int32_t stride);

  AAX_OffscreenView mView{};
  OffscreenFrame mFrame;
  uint64_t mPresented = 0;
  uint64_t mMalformed = 0;
};

}  // namespace aaxhost
