#include "host/aaxhost/OffscreenViewContainer.h"

#include <cstring>

namespace aaxhost {

OffscreenViewContainer::OffscreenViewContainer(float screenScale, float drawScale) {
  mView.structSize = sizeof(AAX_OffscreenView);
  mView.hostContext = this;
  mView.PresentFrame = &OffscreenViewContainer::Present;
  SetScales(screenScale, drawScale);
  SetNativeView(AAX_eViewContainer_Type_Offscreen, &mView);
}

void OffscreenViewContainer::SetScales(float screenScale, float drawScale) noexcept {
  mView.screenScale = screenScale;
  mView.drawScale = drawScale;
}

bool OffscreenViewContainer::EditorAttached() const noexcept {
  return mView.editorContext && mView.SendEvent && mView.Tick;
}

int32_t OffscreenViewContainer::Send(const AAX_OffscreenEvent& event) {
  if (!EditorAttached()) return -1;
  return mView.SendEvent(mView.editorContext, &event) != 0 ? 1 : 0;
}

bool OffscreenViewContainer::Tick() {
  if (!EditorAttached()) return false;
  mView.Tick(mView.editorContext);
  return true;
}

void OffscreenViewContainer::Present(void* hostContext, const uint8_t* pixels, int32_t width,
                                     int32_t height, int32_t stride) {
  if (auto* self = static_cast<OffscreenViewContainer*>(hostContext))
    self->Keep(pixels, width, height, stride);
}

void OffscreenViewContainer::Keep(const uint8_t* pixels, int32_t width, int32_t height,
                                  int32_t stride) {
  // The editor's mistakes must not become the host's crash: a frame that cannot be what it says
  // is counted and dropped, and the previous one stays.
  if (!pixels || width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide ||
      stride < 0 || static_cast<int64_t>(stride) < static_cast<int64_t>(width) * 4) {
    ++mMalformed;
    return;
  }
  try {
    const size_t row = static_cast<size_t>(width) * 4;
    mFrame.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int32_t y = 0; y < height; ++y)
      std::memcpy(mFrame.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(width),
                  pixels + static_cast<size_t>(y) * static_cast<size_t>(stride), row);
    mFrame.width = width;
    mFrame.height = height;
    ++mPresented;
  } catch (...) {
    // Out of memory for the copy: as good as a frame never presented.
    mFrame = OffscreenFrame{};
    ++mMalformed;
  }
}

}  // namespace aaxhost
