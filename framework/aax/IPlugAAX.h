#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "aax/library/AAX_CParameter.h"
#include "framework/IPlugConfig.h"
#include "framework/IPlugProcessor.h"
#include "framework/IPlugStructs.h"
#include "framework/aax/IPlugAAX_Parameters.h"
#include "framework/api/IPlugAPIBase.h"

class AAX_VTransport;

namespace iplug {

/**
 * The plug-in object as an AAX host sees it: the framework's plug-in base and processor, and the
 * host's effect-parameters object, in one. The host creates it through the module's creation
 * procedure, initializes it with its per-instance host objects and then drives it from two
 * threads: the main thread (parameters, chunks, notifications, the idle timer) and the audio
 * thread (RenderAudioBlock through the render callback).
 *
 * Framework parameter i is the AAX parameter with the ID text i + 1; the master bypass has the
 * ID "MasterBypassID" and exists on the AAX side only.
 *
 * Constructed without a host (no Initialize, no run loop) the object is an ordinary plug-in:
 * parameter and gesture calls towards the host do nothing and the idle timer does not run.
 */
class IPlugAAX : public IPlugAPIBase, public IPlugProcessor, public AAX_CIPlugParameters {
 public:
  static constexpr int32_t kAPIKind = 4;
  static constexpr int kInitialBlockSize = 512;
  /** Outgoing MIDI messages one block can hold; more are dropped. */
  static constexpr int kMidiOutCapacity = 512;

  /** [main] */
  explicit IPlugAAX(const PluginConfig& config);
  ~IPlugAAX() override;

  // Host-facing operations. [main]
  /** 'AXof' / 'AXox' set and clear the offline flag (an initialized instance switches its
   * processing at once); 'AXtn' carries the track name. */
  AAX_Result NotificationReceived(AAX_CTypeID type, const void* data,
                                  uint32_t size) noexcept override;
  /** The host applies a value: the AAX parameter, then the IParam, the editor and the product. */
  AAX_Result UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                            int32_t source) noexcept override;
  AAX_Result GetChunkIDFromIndex(int32_t index, AAX_CTypeID* outID) const noexcept override;
  AAX_Result GetChunkSize(AAX_CTypeID chunkID, uint32_t* outSize) const noexcept override;
  AAX_Result GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* outChunk) const noexcept override;
  /**
   * The host interface passes no record size: the record is taken to be as large as the host
   * allocates for its size field (AAX_ChunkAllocationSize), a negative size field as no data.
   */
  AAX_Result SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept override;
  /** As SetChunk: the record's size comes from its size field. */
  AAX_Result CompareActiveChunk(const AAX_SPlugInChunk* chunk,
                                AAX_CBoolean* outIsEqual) const noexcept override;

  /** [main] The host's sized chunk calls: nothing past the record is read. */
  AAX_Result SetChunkSized(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk,
                           uint32_t recordSize) noexcept override {
    return SetChunkFromRecord(chunkID, chunk, recordSize);
  }
  AAX_Result CompareActiveChunkSized(const AAX_SPlugInChunk* chunk, uint32_t recordSize,
                                     AAX_CBoolean* outIsEqual) const noexcept override {
    return CompareChunkRecord(chunk, recordSize, outIsEqual);
  }

  /**
   * [main] SetChunk for a record of recordSize bytes. Nothing past the record is read: a size
   * field that is negative or larger than the record holds gives the bytes the record holds.
   */
  AAX_Result SetChunkFromRecord(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk,
                                size_t recordSize) noexcept;
  /**
   * [main] CompareActiveChunk for a record of recordSize bytes. A record of this plug-in's chunk
   * ID whose data cannot hold every parameter compares as not equal.
   */
  AAX_Result CompareChunkRecord(const AAX_SPlugInChunk* chunk, size_t recordSize,
                                AAX_CBoolean* outIsEqual) const noexcept;

  /** [audio] */
  void RenderAudioBlock(const void* context, const AAX_CIPlugParamValuePair* const values[],
                        int32_t count) noexcept override;

  // IPlugAPIBase. [main]
  void GetTrackName(std::string& name) const override;
  bool ResizeEditor(int width, int height) override;
  void BeginParamGesture(int paramIdx) override;
  void EndParamGesture(int paramIdx) override;
  void InformHostOfParam(int paramIdx, double normalized) override;

  // IPlugProcessor
  /** [audio] Queued for the output MIDI node; false when the block's list is full. */
  bool EmitMidiMessage(const MidiMessage& message) override;
  /** [main or not during a block] Tells the host first, then re-sizes the bypass delay. */
  void ChangeLatency(int samples) override;

  /** The AAX ID of a framework parameter; null before effect initialization. */
  const char* ParamID(int paramIdx) const;
  /** The master bypass; null before effect initialization. */
  AAX_CParameter<bool>* MasterBypass() const { return mMasterBypass; }

  /** Peaks of the last block. */
  double InputPeak() const { return mInputPeak; }
  double OutputPeak() const { return mOutputPeak; }

 protected:
  /** [main] Creates the AAX parameters, reads the sample rate and resets the processor. */
  AAX_Result EffectInit() noexcept override;

 private:
  /** What a render call hands over, for each of the pieces it is processed in. */
  struct HostBlock {
    float* const* inputs = nullptr;
    float* const* outputs = nullptr;
    const int32_t* sideChain = nullptr;
    int inChannels = 0;
    int outChannels = 0;
  };

  void CreateParameters();
  /** [main] The host's offline notifications. */
  AAX_Result ChangeRenderingOffline(bool offline) noexcept;
  /** [audio] The transport of this block into the processor's time information. */
  void ReadTimeInfo(const AAX_VTransport& transport);
  /** The transport `frames` into the block. */
  ITimeInfo AdvancedTime(const ITimeInfo& info, int frames) const;
  /** [audio] Frames [offset, offset + n) of the host's block; n is at most the capacity. */
  void RenderPiece(const HostBlock& block, bool bypass, int offset, int n) noexcept;
  void DrainMidiFromEditor();
  void PostMidiOut(const void* context);
  AAX_Result SetChunkData(AAX_CTypeID chunkID, const uint8_t* data, size_t size) noexcept;

  AAX_CParameter<bool>* mMasterBypass = nullptr;  // owned by the parameter manager
  bool mProcessingReady = false;                  // effect initialization has reset it
  // Set by a reset, taken by the first block after it: values the host set in between are the
  // state that block starts in.
  std::atomic<bool> mSettleOnNextBlock{false};
  std::vector<std::string> mParamIDs;

  double mInputPeak = 0.0;
  double mOutputPeak = 0.0;

  // Outgoing MIDI of the current block, ordered by offset; sized once, never grown.
  std::vector<MidiMessage> mMidiOut;
  int mMidiOutCount = 0;

  std::string mTrackName;
  bool mHasTrackName = false;
};

/**
 * Provided by the product. [main, under the module's creation lock] A new plug-in object, or
 * null. The module's effect-parameters creation procedure calls it.
 */
IPlugAAX* MakePlug();

}  // namespace iplug
