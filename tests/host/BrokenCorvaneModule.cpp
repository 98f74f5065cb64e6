// Corvane with one fault, chosen by CORVANE_FIXTURE_FAULT when an instance is created, so that
// each of the validator's tests can be shown to catch the fault it is there for. Without the
// variable the module is Corvane itself.

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

#include "aax/interfaces/AAX_Context.h"
#include "framework/IPlugTimer.h"
#include "framework/aax/IPlugAAX.h"
#include "framework/aax/IPlugAAX_Describe.h"
#include "plugin/Corvane.h"
#include "plugin/CorvaneAAX.h"

namespace {

enum class Fault {
  kNone,
  kAllocates,        // heap traffic in the render callback
  kLocks,            // a mutex in the render callback
  kUnreadableText,   // the first parameter's texts do not read back
  kWritesPastBlock,  // one sample past the host's block
  kForgetsState,     // a restore leaves the first parameter at its default
  kNaNAtEdge,        // the first parameter's minimum yields NaN
  kNoiseFloor,       // silence in, a faint hiss out
  kPassesNaN,        // non-finite input reaches the output
  kSlowDenormals,    // denormal input takes a slow path
  kBlockEdge,        // every block's first sample is attenuated
  kNoTouch,          // its own value changes skip the host's touch and release
  kLateLatency,      // never tells the host of a latency change after the first
  kLeaksTimer,       // a timer outlives the instance
  kRace,             // an unsynchronized field shared by the main and audio threads
  kSameIDs,          // both components described with one plug-in ID
  kAcceptsNaN,       // a non-finite value from the host is answered with success
  kSilentStart,      // the first blocks after initialization are silent
  kEarlyStateLost,   // a chunk set before initialization is dropped
  kLatencyOnAudio,   // a longer block makes the render callback report the latency
  kGapOnGrowth,      // a block longer than announced comes out silent
};

Fault Chosen() {
  static const struct {
    const char* name;
    Fault fault;
  } kFaults[] = {{"allocates", Fault::kAllocates},
                 {"locks", Fault::kLocks},
                 {"unreadable-text", Fault::kUnreadableText},
                 {"writes-past-block", Fault::kWritesPastBlock},
                 {"forgets-state", Fault::kForgetsState},
                 {"nan-at-edge", Fault::kNaNAtEdge},
                 {"noise-floor", Fault::kNoiseFloor},
                 {"passes-nan", Fault::kPassesNaN},
                 {"slow-denormals", Fault::kSlowDenormals},
                 {"block-edge", Fault::kBlockEdge},
                 {"no-touch", Fault::kNoTouch},
                 {"late-latency", Fault::kLateLatency},
                 {"leaks-timer", Fault::kLeaksTimer},
                 {"race", Fault::kRace},
                 {"same-ids", Fault::kSameIDs},
                 {"accepts-nan", Fault::kAcceptsNaN},
                 {"silent-start", Fault::kSilentStart},
                 {"early-state-lost", Fault::kEarlyStateLost},
                 {"latency-on-audio", Fault::kLatencyOnAudio},
                 {"gap-on-growth", Fault::kGapOnGrowth}};
  const char* name = std::getenv("CORVANE_FIXTURE_FAULT");
  if (!name) return Fault::kNone;
  for (const auto& entry : kFaults)
    if (std::strcmp(name, entry.name) == 0) return entry.fault;
  std::abort();  // a misspelt fault would otherwise pass as the healthy module
}

void* volatile gSink = nullptr;
volatile float gSlowPath = 0.0f;

class BrokenCorvane final : public corvane::Corvane {
 public:
  BrokenCorvane() : mFault(Chosen()) {
    if (mFault == Fault::kLeaksTimer)
      mLeaked = iplug::Timer::Create([](iplug::Timer&) {}, 20).release();
  }

  void ProcessAudio(double** inputs, double** outputs, int frames) override {
    if (mFault == Fault::kRace)
      gSink = reinterpret_cast<void*>(static_cast<intptr_t>(mLastChanged));
    Corvane::ProcessAudio(inputs, outputs, frames);
    const int channels = ConnectedChannelCount(iplug::kOutput);
    const bool silenced = (mFault == Fault::kSilentStart && mBlocks++ < 4) ||
                          (mFault == Fault::kGapOnGrowth && frames > GetBlockSize());
    for (int c = 0; silenced && c < channels; ++c) std::fill_n(outputs[c], frames, 0.0);
    for (int c = 0; c < channels; ++c) {
      for (int i = 0; i < frames; ++i) {
        double& out = outputs[c][i];
        switch (mFault) {
          case Fault::kNaNAtEdge:
            if (GetParam(0)->NormalizedValue() <= 0.0)
              out = std::numeric_limits<double>::quiet_NaN();
            break;
          case Fault::kNoiseFloor:
            out += 1e-7;
            break;
          case Fault::kPassesNaN:
            if (c < ConnectedChannelCount(iplug::kInput)) out += 0.0 * inputs[c][i];
            break;
          case Fault::kSlowDenormals:
            // Some processors take a microcode path for denormal arithmetic, others (this
            // machine's) do not; the fault charges what such a slow path costs itself. The
            // binding flushes denormal input to zero on the way in, so tiny means either.
            if (c < ConnectedChannelCount(iplug::kInput) &&
                std::fabs(static_cast<float>(inputs[c][i])) < FLT_MIN)
              for (int k = 0; k < 200; ++k) gSlowPath = gSlowPath * 0.5f + 1.0f;
            break;
          case Fault::kBlockEdge:
            if (i == 0) out *= 0.5;
            break;
          default:
            break;
        }
      }
    }
  }

  void RenderAudioBlock(const void* context, const iplug::AAX_CIPlugParamValuePair* const values[],
                        int32_t count) noexcept override {
    if (mFault == Fault::kAllocates) {
      gSink = new char[64];
      delete[] static_cast<char*>(gSink);
    }
    const int32_t* length = AAX_ContextField<const int32_t*>(context, AAX_eFieldIndex_BufferLength);
    if (mFault == Fault::kLatencyOnAudio && length && *length > GetBlockSize())
      ChangeLatency(GetLatency());  // what a reset on the audio thread used to do
    if (mFault == Fault::kLocks) {
      std::lock_guard<std::mutex> lock(mRenderMutex);
      Corvane::RenderAudioBlock(context, values, count);
    } else {
      Corvane::RenderAudioBlock(context, values, count);
    }
    if (mFault == Fault::kWritesPastBlock) {
      float* const* outputs = AAX_ContextField<float* const*>(context, AAX_eFieldIndex_AudioOut);
      const int32_t* frames =
          AAX_ContextField<const int32_t*>(context, AAX_eFieldIndex_BufferLength);
      for (int c = 0; outputs && frames && c < ConnectedChannelCount(iplug::kOutput); ++c)
        outputs[c][*frames] = 0.0f;
    }
  }

  AAX_Result GetParameterStringFromValue(AAX_CParamID id, double value, AAX_IString* outText,
                                         int32_t maxLength) const noexcept override {
    const AAX_Result result = Corvane::GetParameterStringFromValue(id, value, outText, maxLength);
    if (mFault == Fault::kUnreadableText && result == AAX_SUCCESS && std::strcmp(id, "1") == 0)
      outText->Set((std::string("about ") + outText->Get()).c_str());
    return result;
  }

  int ReadState(const iplug::IStateChunk& chunk, int startPos) override {
    const int end = Corvane::ReadState(chunk, startPos);
    if (mFault == Fault::kForgetsState) GetParam(0)->SetValue(GetParam(0)->Default());
    return end;
  }

  AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                            int32_t source) noexcept override {
    if (mFault == Fault::kAcceptsNaN && !std::isfinite(value)) return AAX_SUCCESS;
    return Corvane::UpdateParameterNormalizedValue(id, value, source);
  }

  AAX_Result SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept override {
    if (mFault == Fault::kEarlyStateLost && !Controller()) return AAX_SUCCESS;
    return Corvane::SetChunk(chunkID, chunk);
  }

  AAX_Result SetParameterNormalizedValue(AAX_CParamID id, double value) noexcept override {
    if (mFault == Fault::kNoTouch)
      return UpdateParameterNormalizedValue(id, value, AAX_eUpdateSource_Unknown);
    return Corvane::SetParameterNormalizedValue(id, value);
  }

  void ChangeLatency(int samples) override {
    if (mFault == Fault::kLateLatency && mLatencyReported) return;
    mLatencyReported = true;
    Corvane::ChangeLatency(samples);
  }

  void OnParamChange(int paramIdx) override {
    if (mFault == Fault::kRace) mLastChanged = paramIdx;
    Corvane::OnParamChange(paramIdx);
  }

 private:
  const Fault mFault;
  iplug::Timer* mLeaked = nullptr;
  bool mLatencyReported = false;
  int mLastChanged = -1;
  int mBlocks = 0;
  std::mutex mRenderMutex;
};

}  // namespace

namespace iplug {

IPlugAAX* MakePlug() {
  return new BrokenCorvane;
}

AAXEffectConfig MakeEffectConfig() {
  AAXEffectConfig effect = corvane::MakeCorvaneEffectConfig();
  if (Chosen() == Fault::kSameIDs) effect.nativeIDs[1] = effect.nativeIDs[0];
  return effect;
}

}  // namespace iplug
