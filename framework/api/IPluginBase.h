#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/IPlugStateChunk.h"
#include "graphics/IGEditorDelegate.h"

namespace iplug {

/** Preset names hold at most 255 characters plus a terminator. */
constexpr int kMaxPresetNameLen = 256;

/**
 * One preset: a name and the state it would restore, a parameter state image. An image shorter
 * than the parameter list holds the first parameters only, and restoring it leaves the others
 * as they are: a preset that says nothing about a parameter at the end of the list keeps it.
 */
struct PresetSlot {
  PresetSlot();
  bool initialized = false;
  std::array<char, kMaxPresetNameLen> name{};
  /** One line on what the preset is for, shown beside its name where a host has room. */
  std::string description;
  IStateChunk chunk;
};

/**
 * The layer of the plug-in object that knows who the plug-in is (names, four-character IDs,
 * version, the host it runs in), keeps the preset slots and turns all parameter values into a
 * flat byte image and back.
 *
 * The parameter state image is N little-endian float64 plain values in parameter order, with no
 * header, count or trailer; hosts store it inside their projects, so its layout never changes.
 */
class IPluginBase : public igraphics::IGEditorDelegate {
 public:
  IPluginBase(int nParams, int nPresets);
  ~IPluginBase() override;

  // State, on whatever thread the host uses for state calls.
  /** [host state thread] Writes the plug-in state; the default is the parameter image. */
  virtual bool WriteState(IStateChunk& chunk) const;
  /** [host state thread] Reads state from a byte position; returns the position after it or -1. */
  virtual int ReadState(const IStateChunk& chunk, int startPos);

  /** [host state thread] Appends N × 8 bytes; true when there is nothing to write. */
  bool SerializeParams(IStateChunk& chunk) const;
  /**
   * [host state thread] Applies values from startPos on, each conformed to its parameter's
   * range and step; returns startPos + 8 × N, or -1 when the image ends early (the values
   * present are applied). A stored NaN or infinity leaves that parameter unchanged. Every
   * parameter is then reported as changed with source kPresetRecall, also after a short image.
   */
  int UnserializeParams(const IStateChunk& chunk, int startPos);

  /**
   * [any] The values a parameter state image holds, checked before anything is applied: the
   * first values.size() values of a longer image (a later version's), every whole value of a
   * shorter one (none of an empty one). -1 when a value is not finite: a damaged image is
   * refused as a whole rather than half applied.
   */
  static int DecodeStateImage(std::span<const uint8_t> image, std::span<double> values);
  /** [any] The image of these values, appended to the chunk; false when it cannot grow. */
  static bool EncodeStateImage(std::span<const double> values, IStateChunk& chunk);
  /**
   * [host state thread] Parameters 0 … values.size() − 1 take the values (each conformed to its
   * range and step), the others keep theirs; then every parameter is reported as changed with
   * source kPresetRecall, as after UnserializeParams.
   */
  void ApplyStateValues(std::span<const double> values);

  // Identity. [any]
  const char* GetPluginName() const { return mPluginName.c_str(); }
  const char* GetProductName() const { return mProductName.c_str(); }
  const char* GetMfrName() const { return mMfrName.c_str(); }
  int32_t GetUniqueID() const { return mUniqueID; }
  int32_t GetMfrID() const { return mMfrID; }
  /** Major in bits 16-31, minor in bits 8-15, patch in bits 0-7. */
  int32_t GetPluginVersion() const { return mVersion; }
  /** Packed like the plug-in version. */
  int32_t GetHostVersion() const { return mHostVersion; }
  /** -1 before the host is identified, 0 for an unknown host. */
  int32_t GetHost() const { return mHostID; }
  const char* GetHostName() const { return mHostName.c_str(); }
  int32_t GetAPI() const { return mAPI; }
  const char* GetBundleID() const { return mBundleID.c_str(); }
  const char* GetAppGroupID() const { return mAppGroupID.c_str(); }
  bool DoesStateChunks() const { return mStateChunks; }
  bool HasUI() const { return mHasUI; }
  bool GetHostResizeEnabled() const { return mHostResize; }

  // Presets. [main]
  int NPresets() const { return static_cast<int>(mPresets.size()); }
  /** The slot at an index, or null outside the list. */
  PresetSlot* GetPreset(int index);
  const PresetSlot* GetPreset(int index) const;
  /**
   * Fills a slot with a factory preset: the values of parameters 0 … values.size() − 1, each
   * conformed to its parameter. False for an index outside the list, a name that does not fit,
   * more values than parameters or a value that is not finite (the slot is then unchanged).
   */
  bool MakeFactoryPreset(int index, const char* name, const char* description,
                         std::span<const double> values);
  /** The first initialized slot with this name, ignoring case, or -1. */
  int FindPreset(std::string_view name) const;
  /** [any] The values a slot holds, or an empty list for an unknown or empty slot. */
  std::vector<double> PresetValues(int index) const;
  /** Restores the slot's values as a state restore does (reported with kPresetRecall); false
   * for an unknown or empty slot. */
  bool RestorePreset(int index);

 protected:
  bool mStateChunks = false;
  std::string mPluginName;
  std::string mProductName;
  std::string mMfrName;
  int32_t mUniqueID = 0;
  int32_t mMfrID = 0;
  int32_t mVersion = 0;
  int32_t mHostVersion = 0;
  int32_t mHostID = -1;
  std::string mHostName;
  int32_t mAPI = 0;
  std::string mBundleID;
  std::string mAppGroupID;
  bool mHasUI = false;
  bool mHostResize = false;

 private:
  std::vector<std::unique_ptr<PresetSlot>> mPresets;
};

}  // namespace iplug
