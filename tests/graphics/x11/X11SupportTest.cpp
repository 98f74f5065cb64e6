#include <gtest/gtest.h>
#include <xkbcommon/xkbcommon-keysyms.h>

#include "graphics/x11/X11Support.h"

namespace {

using namespace iplug::igraphics::x11;

TEST(X11Support, TheScreenScaleIsTheDesktopsDpiOver96RoundedHalvesUp) {
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi:\t96\n"), 1.f);
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi:\t120\n"), 1.f);
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi:\t144\n"), 2.f);
  EXPECT_EQ(ScreenScaleFromResources("Xft.antialias:\t1\nXft.dpi: 192.0\nXft.hinting:\t1\n"), 2.f);
  // Later entries win, as in the resource manager; nonsense and absence mean 1; 4 at most.
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi: 192\nXft.dpi: 96\n"), 1.f);
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi: lots\n"), 1.f);
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi: -200\n"), 1.f);
  EXPECT_EQ(ScreenScaleFromResources("Xcursor.size: 48\n"), 1.f);
  EXPECT_EQ(ScreenScaleFromResources(""), 1.f);
  EXPECT_EQ(ScreenScaleFromResources("Xft.dpi: 960"), 4.f);
}

TEST(X11Support, KeysymsMapToTheVirtualKeysOfTheKeyEvents) {
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_a), 0x41);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_Z), 0x5A);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_7), 0x37);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_KP_7), 0x67);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_KP_Home), 0x24);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_F12), 0x7B);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_space), 0x20);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_Return), 0x0D);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_ISO_Left_Tab), 0x09);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_Down), 0x28);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_Shift_R), 0x10);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_minus), 0xBD);
  EXPECT_EQ(VirtualKeyFromKeysym(XKB_KEY_eacute), 0);
}

TEST(X11Support, TicksAndImageBandsFollowTheirLimits) {
  EXPECT_EQ(DisplayTickIntervalMs(60), 15);
  EXPECT_EQ(DisplayTickIntervalMs(30), 33);
  EXPECT_EQ(DisplayTickIntervalMs(50), 20);
  EXPECT_EQ(DisplayTickIntervalMs(51), 15);
  EXPECT_EQ(DisplayTickIntervalMs(0), 15);
  // 24 bytes of header, then whole rows of 4-byte pixels; never fewer than one row.
  EXPECT_EQ(RowsPerPutImage(24 + 400 * 3, 100), 3);
  EXPECT_EQ(RowsPerPutImage(24 + 400 * 3 - 1, 100), 2);
  EXPECT_EQ(RowsPerPutImage(100, 100), 1);
}

}  // namespace
