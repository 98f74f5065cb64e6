// The editor's text field, its tooltips and the clipboard.
#include <algorithm>
#include <cstring>
#include <string>

#include "graphics/IControl.h"
#include "graphics/IGEditorDelegate.h"
#include "graphics/x11/IGraphicsX11.h"
#include "graphics/x11/X11Clipboard.h"
#include "graphics/x11/X11Support.h"
#include "graphics/x11/X11TextEntry.h"
#include "graphics/x11/X11Tooltip.h"

namespace iplug::igraphics {

using x11::X11Display;

// ---- Text field, tooltips and clipboard ----

namespace {

// How long the pointer rests on a control before its tooltip shows, and where the tooltip sits
// from the pointer (window pixels), clear of the cursor's own shape.
constexpr int kTooltipHoverMs = 400;
constexpr int kTooltipOffsetX = 12;
constexpr int kTooltipOffsetY = 18;
// The most characters a committed field hands over.
constexpr size_t kTextEntryReadLimit = 256;
// Control with these copies the field's text and pastes into it.
constexpr int kVkC = 0x43;
constexpr int kVkV = 0x56;

}  // namespace

void IGraphicsX11::AbortTextEntry() {
  if (mTextEntry) {
    mTextEntry->SetState(x11::X11TextEntry::kCancel);
    return;
  }
  mInTextEntry = nullptr;
  mTextEntryValIdx = -1;
}

void IGraphicsX11::ShowNativeTextField(int paramIdx, const ITextStyle& style, const IBox& bounds,
                                       int maxLength, const char* text) {
  xcb_connection_t* c = Live();
  if (!c) {
    // Left waiting, the entry would hold the drag back from every control.
    mInTextEntry = nullptr;
    mTextEntryValIdx = -1;
    return;
  }
  if (mTextEntry) return;
  HideTooltip();
  x11::X11TextEntry::Setup setup;
  setup.connection = c;
  setup.parent = mWindow;
  setup.depth = mDepth;
  setup.scale = BackingScale();
  setup.bounds = bounds;
  setup.style = style;
  setup.maxLength = maxLength;
  setup.text = text ? text : "";
  setup.maxRequestBytes = mDisplay->MaxRequestBytes();
  if (const IParam* param = GetDelegate().GetParam(paramIdx)) {
    switch (param->Kind()) {
      case kKindBool:
      case kKindInt:
      case kKindEnum:
        setup.filter = x11::TextFilter::Integer;
        break;
      case kKindDouble:
        setup.filter = x11::TextFilter::Decimal;
        break;
      default:
        break;
    }
  }
  mTextEntry = std::make_unique<x11::X11TextEntry>(setup);
  mTextEntry->TakeFocus(XCB_CURRENT_TIME);
  mDisplay->Flush();
}

void IGraphicsX11::CloseTextEntry() {
  // The focus goes back to the editor by itself: the field was made to revert it to its parent.
  mTextEntry.reset();
  if (mDisplay) mDisplay->Flush();
}

bool IGraphicsX11::TickTextEntry() {
  if (!mTextEntry) return false;
  switch (mTextEntry->State()) {
    case x11::X11TextEntry::kEditing:
      // Nothing is drawn under the user's typing.
      return true;
    case x11::X11TextEntry::kCancel:
      CloseTextEntry();
      mInTextEntry = nullptr;
      mTextEntryValIdx = -1;
      return true;
    case x11::X11TextEntry::kCommit: {
      const std::string typed = x11::FirstCharacters(mTextEntry->Text(), kTextEntryReadLimit);
      CloseTextEntry();
      ApplyTextEntryResult(typed.c_str());
      return true;
    }
    default:
      mTextEntry->SetState(x11::X11TextEntry::kUpdated);
      return false;
  }
}

bool IGraphicsX11::TextEntryTakesEvent(const xcb_generic_event_t& event) {
  const uint8_t type = event.response_type & 0x7f;
  if (mTextEntry) {
    x11::X11TextEntry& field = *mTextEntry;
    const xcb_window_t fieldWindow = field.Window();
    switch (type) {
      case XCB_EXPOSE:
        if (reinterpret_cast<const xcb_expose_event_t&>(event).window != fieldWindow) return false;
        if (reinterpret_cast<const xcb_expose_event_t&>(event).count == 0) field.OnExpose();
        return true;
      case XCB_FOCUS_IN:
      case XCB_FOCUS_OUT: {
        const auto& e = reinterpret_cast<const xcb_focus_in_event_t&>(event);
        if (e.event != fieldWindow) return false;
        if (type == XCB_FOCUS_IN)
          field.OnFocusIn();
        else
          field.OnFocusOut(e.mode, e.detail);
        return true;
      }
      case XCB_KEY_PRESS:
      case XCB_KEY_RELEASE: {
        const auto& e = reinterpret_cast<const xcb_key_press_event_t&>(event);
        if (e.event == fieldWindow) {
          IKeyEvent key;
          if (type == XCB_KEY_PRESS && mDisplay->TranslateKey(e, key)) {
            std::string pasted;
            if (key.C && key.VK == kVkC) {
              WriteClipboardText(field.Text().c_str());
            } else if (key.C && key.VK == kVkV) {
              if (ReadClipboardText(pasted)) field.Insert(pasted);
            } else
              field.OnKey(key.VK, key.utf8, key.C);
            mDisplay->Flush();
          }
          return true;
        }
        return e.event == mWindow && field.State() == x11::X11TextEntry::kEditing;
      }
      case XCB_BUTTON_PRESS: {
        const auto& e = reinterpret_cast<const xcb_button_press_event_t&>(event);
        // A press in the field places nothing yet, but keeps the field editing.
        if (e.event == fieldWindow) return true;
        if (e.event != mWindow) return false;
        HideTooltip();
        const bool wheel = e.detail >= 4 && e.detail <= 7;
        if (field.State() == x11::X11TextEntry::kEditing) {
          if (e.detail == 1 || e.detail == 3) field.SetState(x11::X11TextEntry::kCancel);
        } else {
          field.SetState(wheel ? x11::X11TextEntry::kCancel : x11::X11TextEntry::kCommit);
        }
        return true;
      }
      case XCB_BUTTON_RELEASE:
      case XCB_MOTION_NOTIFY: {
        const auto& e = reinterpret_cast<const xcb_button_press_event_t&>(event);
        if (e.event == fieldWindow) return true;
        return e.event == mWindow && field.State() == x11::X11TextEntry::kEditing;
      }
      default:
        break;
    }
  }
  // Tooltips follow the pointer over the editor.
  switch (type) {
    case XCB_BUTTON_PRESS:
      if (reinterpret_cast<const xcb_button_press_event_t&>(event).event == mWindow) HideTooltip();
      return false;
    case XCB_LEAVE_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_leave_notify_event_t&>(event);
      if (e.event == mWindow && e.mode == XCB_NOTIFY_MODE_NORMAL &&
          e.detail != XCB_NOTIFY_DETAIL_INFERIOR) {
        HideTooltip();
        mTooltipIdx = -1;
      }
      return false;
    }
    case XCB_MOTION_NOTIFY: {
      const auto& e = reinterpret_cast<const xcb_motion_notify_event_t&>(event);
      if (e.event != mWindow || (e.state & kButtonsHeld) || !TooltipsEnabled()) return false;
      const std::weak_ptr<IGraphicsX11*> alive = mAlive;
      OnMotion(e);
      if (!alive.expired()) UpdateTooltip(e.root_x, e.root_y);
      return true;
    }
    default:
      return false;
  }
}

const x11::X11Tooltip* IGraphicsX11::ShowingTooltip() const {
  return mTooltip && mTooltip->Showing() ? mTooltip.get() : nullptr;
}

void IGraphicsX11::HideTooltip() {
  if (mTooltipTimer != IRunLoop::kInvalidId && mLoop) mLoop->RemoveTimer(mTooltipTimer);
  mTooltipTimer = IRunLoop::kInvalidId;
  if (mTooltip && mTooltip->Showing()) {
    mTooltip->Hide();
    if (mDisplay) mDisplay->Flush();
  }
}

void IGraphicsX11::UpdateTooltip(int16_t rootX, int16_t rootY) {
  const int idx = GetMouseOverIdx();
  const bool sameControl = idx == mTooltipIdx;
  if (sameControl && ShowingTooltip()) return;
  // Resting is what counts: every move starts the wait again.
  HideTooltip();
  mTooltipIdx = idx;
  IControl* control = idx >= 0 ? GetControl(idx) : nullptr;
  if (!control || control->GetTooltip().empty() || !mLoop || mTextEntry) return;
  mTooltipX = rootX + kTooltipOffsetX;
  mTooltipY = rootY + kTooltipOffsetY;
  const std::weak_ptr<IGraphicsX11*> alive = mAlive;
  mTooltipTimer = mLoop->AddTimer(kTooltipHoverMs, [alive](IRunLoop::Id id) {
    const auto editor = alive.lock();
    if (!editor || (*editor)->mTooltipTimer != id) return;
    (*editor)->ShowPendingTooltip();
  });
}

void IGraphicsX11::ShowPendingTooltip() {
  if (mTooltipTimer != IRunLoop::kInvalidId && mLoop) mLoop->RemoveTimer(mTooltipTimer);
  mTooltipTimer = IRunLoop::kInvalidId;
  xcb_connection_t* c = Live();
  IControl* control = mTooltipIdx >= 0 ? GetControl(mTooltipIdx) : nullptr;
  if (!c || !control || control->GetTooltip().empty() || mTextEntry) return;
  xcb_get_geometry_reply_t* geometry =
      xcb_get_geometry_reply(c, xcb_get_geometry(c, mWindow), nullptr);
  const xcb_screen_t* screen = geometry ? mDisplay->ScreenOfRoot(geometry->root) : nullptr;
  std::free(geometry);
  if (!screen) return;
  if (!mTooltip)
    mTooltip = std::make_unique<x11::X11Tooltip>(c, screen->root, screen->root_depth,
                                                 mDisplay->MaxRequestBytes());
  mTooltip->Show(control->GetTooltip(), DEFAULT_TEXT.fontID, GetScreenScale(), mTooltipX, mTooltipY,
                 screen->width_in_pixels, screen->height_in_pixels);
  mDisplay->Flush();
}

x11::X11Clipboard* IGraphicsX11::Clipboard() {
  if (!mClipboard && mDisplay && mDisplay->Connection())
    mClipboard = x11::X11Clipboard::Acquire(*mDisplay);
  return mClipboard;
}

bool IGraphicsX11::ReadClipboardText(std::string& text) {
  text.clear();
  x11::X11Clipboard* clipboard = Clipboard();
  return clipboard && clipboard->ReadText(text);
}

bool IGraphicsX11::WriteClipboardText(const char* text) {
  x11::X11Clipboard* clipboard = Clipboard();
  return clipboard && clipboard->WriteText(text ? text : "");
}

bool IGraphicsX11::WriteClipboardFilePath(const char* path) {
  x11::X11Clipboard* clipboard = Clipboard();
  return clipboard && path && clipboard->WriteFilePath(path);
}

}  // namespace iplug::igraphics
