#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "aax/interfaces/AAX_Context.h"
#include "aax/interfaces/AAX_IEffectParameters.h"
#include "host/aaxhost/Description.h"
#include "host/aaxhost/MidiNode.h"

namespace aaxhost {

class Controller;

/**
 * The algorithm context of one instance, laid out from a recorded component as AAX_Context.h
 * describes: an array of pointer-sized fields at the declared indices and the memory behind
 * them. Channel counts come from the component's stem-format properties.
 *
 * Per instance: construct, ResetPrivateData once (the plug-in writes e.g. its own address into
 * its private data), then for every block SetAudio, DeliverPackets, Process, and read the meters.
 * Nothing here allocates after construction, so the process call may run on a real-time thread.
 */
class AlgorithmContext {
 public:
  /** transport: put into transport MIDI nodes (may be null). */
  explicit AlgorithmContext(const Component& component, IACFUnknown* transport = nullptr);
  AlgorithmContext(const AlgorithmContext&) = delete;
  AlgorithmContext& operator=(const AlgorithmContext&) = delete;

  /** What the process procedure receives for this instance. */
  void* Instance() noexcept { return mFields.data(); }
  void* Field(AAX_CFieldIndex index) const noexcept;
  size_t FieldCount() const noexcept { return mFields.size(); }

  /**
   * Zeroes every private-data field and hands it to the plug-in's ResetFieldData, in declaration
   * order; returns the first failure.
   */
  AAX_Result ResetPrivateData(AAX_IEffectParametersV1& parameters);
  /** Copies the controller's waiting packets into their data-in ports; returns the count. */
  int DeliverPackets(Controller& controller);
  /** Writes bytes into a data-in port directly; false for a field that is none or a bad size. */
  bool WritePort(AAX_CFieldIndex field, const void* data, size_t size);
  /** The bytes behind a private-data, data-in port or temporary field; null for others. */
  void* FieldData(AAX_CFieldIndex field) const noexcept;

  int32_t InputChannels() const noexcept { return static_cast<int32_t>(mInputs.size()); }
  int32_t OutputChannels() const noexcept { return static_cast<int32_t>(mOutputs.size()); }
  /** Channel pointers for the next call (at least Input/OutputChannels entries each). */
  void SetAudio(float* const* inputs, float* const* outputs, int32_t sampleCount) noexcept;
  void SetSampleRate(float rate) noexcept { mSampleRate = rate; }
  void SetClock(int64_t sampleLocation) noexcept { mClock = sampleLocation; }
  void SetSideChainChannel(int32_t index) noexcept { mSideChainIndex = index; }
  /** Channel pointers of auxiliary output stem field (null for other fields). */
  void SetAuxOutput(AAX_CFieldIndex field, float* const* channels) noexcept;

  /** Meter taps in the declared order. */
  size_t MeterCount() const noexcept { return mMeterIDs.size(); }
  AAX_CTypeID MeterID(size_t i) const noexcept { return mMeterIDs[i]; }
  float Meter(size_t i) const noexcept { return mMeterTaps[i]; }
  void ResetMeters() noexcept;

  /** The node of a MIDI node field of type input, output or global; null otherwise. */
  MidiNode* Node(AAX_CFieldIndex field) const noexcept;

  /** Calls proc with this instance alone. */
  void Process(AAX_CProcessProc proc) noexcept;
  /** Calls proc once with a batch of instances. */
  static void ProcessBatch(AAX_CProcessProc proc, const std::vector<AlgorithmContext*>& contexts);

 private:
  struct Block {
    AAX_CFieldIndex field;
    FieldKind kind;
    std::vector<std::max_align_t> storage;
    size_t size;
    void* Data() noexcept { return storage.data(); }
  };

  Block* FindBlock(AAX_CFieldIndex field) const noexcept;

  std::vector<void*> mFields;
  std::vector<std::unique_ptr<Block>> mBlocks;  // private data, ports, temporary data
  std::vector<float*> mInputs;
  std::vector<float*> mOutputs;
  std::map<AAX_CFieldIndex, std::vector<float*>> mAuxOutputs;
  int32_t mSampleCount = 0;
  float mSampleRate = 48000.0f;
  int64_t mClock = 0;
  int32_t mSideChainIndex = 0;
  std::vector<AAX_CTypeID> mMeterIDs;
  std::vector<float> mMeterTaps;
  std::vector<float*> mMeterPointers;
  std::map<AAX_CFieldIndex, std::unique_ptr<MidiNode>> mNodes;
};

}  // namespace aaxhost
