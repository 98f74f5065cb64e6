#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "aax/library/AAX_CAtomicQueue.h"
#include "aax/library/AAX_CEffectParameters.h"
#include "aax/library/AAX_ITaperDelegate.h"
#include "framework/IPlugParameter.h"

namespace iplug {

class AAX_CIPlugParameters;

/** What the private-data field of an algorithm context holds: the instance it belongs to. */
struct AAX_SIPlugPrivateData {
  AAX_CIPlugParameters* mPlug;
};
static_assert(sizeof(AAX_SIPlugPrivateData) == 8, "the component declares 8 bytes of private data");

/** A synchronized parameter's ID and normalized value at the time a state number was taken. */
struct AAX_CIPlugParamValuePair {
  std::string id;
  double value = 0.0;
};

/** The synchronized values that belong to one state number. */
struct AAX_CIPlugNumberedStateList {
  int64_t stateNumber = 0;
  std::vector<AAX_CIPlugParamValuePair*> pairs;
};

/**
 * Converts through an IParam's own shape, so that the host's normalized values mean exactly what
 * they mean to the framework and the editor.
 */
template <typename T>
class AAX_CIPlugTaperDelegate : public AAX_ITaperDelegate<T> {
 public:
  explicit AAX_CIPlugTaperDelegate(const IParam& param) : mParam(&param) {}

  AAX_CIPlugTaperDelegate* Clone() const override { return new AAX_CIPlugTaperDelegate(*this); }
  T GetMinimumValue() const override { return static_cast<T>(mParam->Min()); }
  T GetMaximumValue() const override { return static_cast<T>(mParam->Max()); }
  T ConstrainRealValue(T value) const override {
    return static_cast<T>(mParam->Conform(static_cast<double>(value)));
  }
  T NormalizedToReal(double normalized) const override {
    return static_cast<T>(mParam->Conform(mParam->GetShape().ToValue(normalized, *mParam)));
  }
  double RealToNormalized(T real) const override {
    return std::clamp(mParam->Normalize(static_cast<double>(real)), 0.0, 1.0);
  }

 private:
  const IParam* mParam;
};

/**
 * The effect-parameters layer of the binding: the handshake that tells the render callback
 * which parameter state the main thread had reached when it generated coefficients, and the
 * render callback itself, which finds the instance behind every algorithm context.
 *
 * The handshake: every GenerateCoefficients takes the next state number and posts it to the
 * context's state-number port. Values of synchronized parameters that changed since the last
 * number travel with it as a list through a lock-free queue; the render callback applies a list
 * once the port shows its number has arrived, and hands lists and values back through two more
 * queues, to be freed on the main thread (TimerWakeup). The audio thread never allocates or
 * frees any of them.
 */
class AAX_CIPlugParameters : public AAX_CEffectParameters {
 public:
  static constexpr size_t kStateListSlots = 256;
  static constexpr size_t kFinishedValueSlots = 512;
  /** Synchronized values one block can receive. */
  static constexpr int kMaxBlockValues = 128;

  AAX_CIPlugParameters();
  ~AAX_CIPlugParameters() override;

  /** [main] Also remembers a change of a synchronized parameter for the next state number. */
  AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                            int32_t source) noexcept override;
  /** [main] Posts the next state number, queueing the synchronized values that go with it. */
  AAX_Result GenerateCoefficients() noexcept override;
  /** [main] Field 23 (8 bytes) receives this object's address; other fields are zeroed. */
  AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data,
                            uint32_t iDataSize) const noexcept override;
  /** [main] Frees what the render callback handed back. */
  AAX_Result TimerWakeup() noexcept override;

  /**
   * [audio] One block of one instance. context: the algorithm context (AAX_Context.h); values:
   * the synchronized values whose state number has arrived, in order.
   */
  virtual void RenderAudioBlock(const void* context, const AAX_CIPlugParamValuePair* const values[],
                                int32_t count) noexcept {}

  /** [audio] The process procedure of every component. */
  static void RenderCallback(void* const instancesBegin[], const void* instancesEnd);

  /** [main] State number the next GenerateCoefficients posts. */
  int64_t NextStateNumber() const { return mNextStateNumber; }

 protected:
  /** [main, during EffectInit] Values of this parameter travel with the state numbers. */
  void AddSynchronizedParameter(const char* id);

 private:
  /** [audio] Steps 2 to 6 of the callback for one instance. */
  void RenderInstance(const void* context) noexcept;
  void FreeFinished() noexcept;

  std::set<std::string, std::less<>> mSynchronizedParameters;
  int64_t mNextStateNumber = 0;
  std::set<AAX_IParameter*> mDirtySynchronizedParameters;
  AAX_CAtomicQueue<AAX_CIPlugNumberedStateList, kStateListSlots> mQueuedStateLists;
  AAX_CAtomicQueue<AAX_CIPlugNumberedStateList, kStateListSlots> mFinishedStateLists;
  AAX_CAtomicQueue<AAX_CIPlugParamValuePair, kFinishedValueSlots> mFinishedValues;
};

}  // namespace iplug
