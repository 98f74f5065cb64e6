#include "graphics/x11/X11Support.h"

#include <xkbcommon/xkbcommon-keysyms.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace iplug::igraphics::x11 {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// The keys outside the ranges of letters, digits and function keys.
struct KeyCode {
  uint32_t sym;
  int32_t vk;
};
constexpr KeyCode kKeyCodes[] = {
    {XKB_KEY_BackSpace, 0x08},    {XKB_KEY_Tab, 0x09},         {XKB_KEY_ISO_Left_Tab, 0x09},
    {XKB_KEY_Clear, 0x0C},        {XKB_KEY_KP_Begin, 0x0C},    {XKB_KEY_Return, 0x0D},
    {XKB_KEY_KP_Enter, 0x0D},     {XKB_KEY_Shift_L, 0x10},     {XKB_KEY_Shift_R, 0x10},
    {XKB_KEY_Control_L, 0x11},    {XKB_KEY_Control_R, 0x11},   {XKB_KEY_Alt_L, 0x12},
    {XKB_KEY_Alt_R, 0x12},        {XKB_KEY_Meta_L, 0x12},      {XKB_KEY_Meta_R, 0x12},
    {XKB_KEY_Pause, 0x13},        {XKB_KEY_Caps_Lock, 0x14},   {XKB_KEY_Escape, 0x1B},
    {XKB_KEY_space, 0x20},        {XKB_KEY_KP_Space, 0x20},    {XKB_KEY_Prior, 0x21},
    {XKB_KEY_KP_Prior, 0x21},     {XKB_KEY_Next, 0x22},        {XKB_KEY_KP_Next, 0x22},
    {XKB_KEY_End, 0x23},          {XKB_KEY_KP_End, 0x23},      {XKB_KEY_Home, 0x24},
    {XKB_KEY_KP_Home, 0x24},      {XKB_KEY_Left, 0x25},        {XKB_KEY_KP_Left, 0x25},
    {XKB_KEY_Up, 0x26},           {XKB_KEY_KP_Up, 0x26},       {XKB_KEY_Right, 0x27},
    {XKB_KEY_KP_Right, 0x27},     {XKB_KEY_Down, 0x28},        {XKB_KEY_KP_Down, 0x28},
    {XKB_KEY_Select, 0x29},       {XKB_KEY_Print, 0x2C},       {XKB_KEY_Insert, 0x2D},
    {XKB_KEY_KP_Insert, 0x2D},    {XKB_KEY_Delete, 0x2E},      {XKB_KEY_KP_Delete, 0x2E},
    {XKB_KEY_Help, 0x2F},         {XKB_KEY_Super_L, 0x5B},     {XKB_KEY_Super_R, 0x5C},
    {XKB_KEY_Menu, 0x5D},         {XKB_KEY_KP_Multiply, 0x6A}, {XKB_KEY_KP_Add, 0x6B},
    {XKB_KEY_KP_Separator, 0x6C}, {XKB_KEY_KP_Subtract, 0x6D}, {XKB_KEY_KP_Decimal, 0x6E},
    {XKB_KEY_KP_Divide, 0x6F},    {XKB_KEY_Num_Lock, 0x90},    {XKB_KEY_Scroll_Lock, 0x91},
    {XKB_KEY_semicolon, 0xBA},    {XKB_KEY_colon, 0xBA},       {XKB_KEY_equal, 0xBB},
    {XKB_KEY_plus, 0xBB},         {XKB_KEY_comma, 0xBC},       {XKB_KEY_less, 0xBC},
    {XKB_KEY_minus, 0xBD},        {XKB_KEY_underscore, 0xBD},  {XKB_KEY_period, 0xBE},
    {XKB_KEY_greater, 0xBE},      {XKB_KEY_slash, 0xBF},       {XKB_KEY_question, 0xBF},
    {XKB_KEY_grave, 0xC0},        {XKB_KEY_asciitilde, 0xC0},  {XKB_KEY_bracketleft, 0xDB},
    {XKB_KEY_braceleft, 0xDB},    {XKB_KEY_backslash, 0xDC},   {XKB_KEY_bar, 0xDC},
    {XKB_KEY_bracketright, 0xDD}, {XKB_KEY_braceright, 0xDD},  {XKB_KEY_apostrophe, 0xDE},
    {XKB_KEY_quotedbl, 0xDE}};

}  // namespace

float ScreenScaleFromResources(std::string_view resources) {
  // Like the resource manager itself, a later entry overrides an earlier one.
  double dpi = 0.0;
  while (!resources.empty()) {
    const size_t end = resources.find('\n');
    const std::string_view line = Trim(resources.substr(0, end));
    resources = end == std::string_view::npos ? std::string_view() : resources.substr(end + 1);

    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || Trim(line.substr(0, colon)) != "Xft.dpi") continue;
    const std::string value(Trim(line.substr(colon + 1)));
    char* parsed = nullptr;
    const double v = std::strtod(value.c_str(), &parsed);
    dpi = parsed != value.c_str() && std::isfinite(v) ? v : 0.0;
  }
  if (dpi <= 0.0) return 1.f;
  return static_cast<float>(std::clamp(std::round(dpi / 96.0), 1.0, 4.0));
}

int32_t VirtualKeyFromKeysym(uint32_t sym) {
  if (sym >= XKB_KEY_a && sym <= XKB_KEY_z) return static_cast<int32_t>(sym - XKB_KEY_a + 0x41);
  if (sym >= XKB_KEY_A && sym <= XKB_KEY_Z) return static_cast<int32_t>(sym - XKB_KEY_A + 0x41);
  if (sym >= XKB_KEY_0 && sym <= XKB_KEY_9) return static_cast<int32_t>(sym - XKB_KEY_0 + 0x30);
  if (sym >= XKB_KEY_KP_0 && sym <= XKB_KEY_KP_9)
    return static_cast<int32_t>(sym - XKB_KEY_KP_0 + 0x60);
  if (sym >= XKB_KEY_F1 && sym <= XKB_KEY_F24) return static_cast<int32_t>(sym - XKB_KEY_F1 + 0x70);
  for (const KeyCode& key : kKeyCodes)
    if (key.sym == sym) return key.vk;
  return 0;
}

int DisplayTickIntervalMs(int fps) {
  if (fps <= 0) return 15;
  const int period = 1000 / fps;
  // Below 20 ms the host loop's own jitter is larger than the difference: tick at the rate a
  // 60 Hz screen shows, a little early rather than a frame late.
  return period < 20 ? 15 : period;
}

int RowsPerPutImage(size_t maxRequestBytes, int width) {
  // A PutImage request has 24 bytes of header before its rows.
  constexpr size_t kHeader = 24;
  const size_t row = static_cast<size_t>(std::max(width, 1)) * 4u;
  if (maxRequestBytes <= kHeader + row) return 1;
  return static_cast<int>(std::min<size_t>((maxRequestBytes - kHeader) / row, 32767));
}

}  // namespace iplug::igraphics::x11
