#pragma once

#include <cstdint>

namespace iplug {

/** Fixed text fields hold at most 31 characters plus a terminator. */
constexpr int kMaxParamNameLen = 32;
/** Formatted parameter values hold at most 32 characters. */
constexpr int kMaxParamDisplayLen = 32;
/** Configured names (plug-in, product, manufacturer) keep at most 128 characters. */
constexpr int kMaxConfigNameLen = 128;

/** Where a parameter change came from; passed with every change notification. */
enum EParamSource : int32_t {
  kReset = 0,
  kHost = 1,
  kPresetRecall = 2,
  kUI = 3,
  kDelegate = 4,
  kRecompile = 5,
  kUnknown = 6,
};

const char* ParamSourceName(EParamSource source);

/** Channel direction of a bus or channel. */
enum ERoute : int32_t { kInput = 0, kOutput = 1 };

}  // namespace iplug
