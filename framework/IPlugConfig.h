#pragma once

#include <cstdint>

namespace iplug {

/**
 * The construction record of a plug-in object. The product fills one and passes it down the
 * base-class chain; each base copies what it keeps. Text fields are borrowed pointers to
 * constant text.
 */
struct PluginConfig {
  int32_t nParams = 0;
  int32_t nPresets = 0;
  const char* channelIOStr = "";
  const char* pluginName = "";
  const char* productName = "";
  const char* mfrName = "";
  /** Major in bits 16-31, minor in bits 8-15, patch in bits 0-7. */
  int32_t vendorVersion = 0;
  int32_t uniqueID = 0;
  int32_t mfrID = 0;
  int32_t latency = 0;
  bool plugDoesMidiIn = false;
  bool plugDoesMidiOut = false;
  bool plugDoesMPE = false;
  bool plugDoesChunks = false;
  int32_t plugType = 0;
  bool plugHasUI = false;
  int32_t plugWidth = 0;
  int32_t plugHeight = 0;
  int32_t plugMinWidth = 0;
  int32_t plugMaxWidth = 0;
  int32_t plugMinHeight = 0;
  int32_t plugMaxHeight = 0;
  bool plugHostResize = false;
  const char* bundleID = "";
  const char* appGroupID = "";

  /** Stores a pair of bounds so that the minimum is the smaller value. */
  void SetWidthBounds(int32_t a, int32_t b) {
    plugMinWidth = a < b ? a : b;
    plugMaxWidth = a < b ? b : a;
  }
  void SetHeightBounds(int32_t a, int32_t b) {
    plugMinHeight = a < b ? a : b;
    plugMaxHeight = a < b ? b : a;
  }

  static constexpr int VersionMajor(int32_t v) { return (v >> 16) & 0xFFFF; }
  static constexpr int VersionMinor(int32_t v) { return (v >> 8) & 0xFF; }
  static constexpr int VersionPatch(int32_t v) { return v & 0xFF; }
};

}  // namespace iplug
