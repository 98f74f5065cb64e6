#pragma once

#include <xcb/xcb.h>

#include <cstdint>
#include <string>
#include <vector>

namespace corvane::host {

/**
 * The host's own top-level window on X11, the frame a plug-in's editor opens in as a child: it
 * follows the sizes the editor asks for, closes when the window manager asks, and names the keys
 * that reach it (the editor forwards those it does not want, and a host's transport listens for
 * the space bar). It has its own connection to the display, as a host and a plug-in in one
 * process each would.
 */
class HostWindow {
 public:
  /** Throws HostError (usage status) when no display can be opened: the message says why. */
  HostWindow(const std::string& title, int width, int height);
  ~HostWindow();
  HostWindow(const HostWindow&) = delete;
  HostWindow& operator=(const HostWindow&) = delete;

  uint32_t Window() const noexcept { return mWindow; }
  /** To watch for readability on the host's run loop. */
  int Fd() const noexcept;
  void Resize(int width, int height);

  /** Handles every event queued; returns the names of keys pressed in this window, in order
   * ("space", "a", or "0x.." for a key symbol without a plain name). */
  std::vector<std::string> Dispatch();
  /** A window (the editor's) is open inside this one; a round trip to the server. */
  bool HasChild();
  /** The user (through the window manager) asked to close the window. */
  bool CloseRequested() const noexcept { return mCloseRequested; }
  /** The connection to the display broke: the server went away. */
  bool Broken() const noexcept;

 private:
  uint32_t KeySym(uint8_t keycode);
  xcb_atom_t Atom(const char* name);

  xcb_connection_t* mConnection = nullptr;
  uint32_t mWindow = 0;
  xcb_atom_t mDeleteWindow = 0;
  bool mCloseRequested = false;
  // The keyboard map, read once: the host only names keys.
  uint8_t mMinKeycode = 0;
  int mSymsPerCode = 0;
  std::vector<uint32_t> mKeySyms;
};

}  // namespace corvane::host
