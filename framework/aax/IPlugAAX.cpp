#include "framework/aax/IPlugAAX.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <span>

#include "aax/interfaces/AAX_Context.h"
#include "aax/interfaces/AAX_IMidiNode.h"
#include "aax/library/AAX_Assert.h"
#include "aax/library/AAX_Exception.h"
#include "aax/library/AAX_IDisplayDelegate.h"
#include "aax/library/AAX_VTransport.h"
#include "framework/IPlugStateChunk.h"
#include "framework/IPlugUtilities.h"
#include "framework/aax/IPlugAAX_GUI.h"
#include "framework/api/IPlugHostBridge.h"
#include "framework/dsp/DenormalGuard.h"

namespace iplug {

namespace {

// "MasterBypassID" and any other text without leading digits give -1.
int ParamIndexFromID(AAX_CParamID id) {
  if (!id) return -1;
  const long value = std::strtol(id, nullptr, 10);
  if (value <= 0 || value > INT_MAX) return -1;
  return static_cast<int>(value) - 1;
}

int ChannelsOf(int32_t stemFormat, int available) {
  return std::clamp(static_cast<int>(AAX_StemFormatChannelCount(stemFormat)), 0, available);
}

double Peak(float* const* channels, int count, int offset, int frames) {
  double peak = 0.0;
  if (!channels) return peak;
  for (int c = 0; c < count; ++c) {
    const float* samples = channels[c] ? channels[c] + offset : nullptr;
    if (!samples) continue;
    for (int i = 0; i < frames; ++i)
      peak = std::max(peak, std::fabs(static_cast<double>(samples[i])));
  }
  return peak;
}

// A negative size field or one larger than the record holds gives the bytes the record holds.
size_t ChunkDataSize(const AAX_SPlugInChunk& chunk, size_t recordSize) {
  const size_t available =
      recordSize > kAAX_ChunkHeaderSize ? recordSize - kAAX_ChunkHeaderSize : 0;
  if (chunk.fSize < 0) return available;
  return std::min(static_cast<size_t>(chunk.fSize), available);
}

// What a host that follows the interface allocated for the record.
size_t AllocatedRecordSize(const AAX_SPlugInChunk& chunk) {
  return AAX_ChunkAllocationSize(chunk.fSize > 0 ? static_cast<size_t>(chunk.fSize) : 0);
}

}  // namespace

IPlugAAX::IPlugAAX(const PluginConfig& config)
    : IPlugAPIBase(config, kAPIKind), IPlugProcessor(config) {
  TraceHook("iplug::IPlugAAX::IPlugAAX", __LINE__, "");
  SetChannelsConnected(kInput, 0, NChannels(kInput), true);
  SetChannelsConnected(kOutput, 0, NChannels(kOutput), true);
  ResizeChannelBuffers(kInitialBlockSize);
  CreateBypassDelay();
  mMidiOut.resize(kMidiOutCapacity);
  CreateIdleTimer();
}

IPlugAAX::~IPlugAAX() {
  StopIdleTimer();
}

// ---------------------------------------------------------------------------------------------
// Parameter bridge

AAX_Result IPlugAAX::EffectInit() noexcept {
  return AAX_CallGuarded("iplug::IPlugAAX::EffectInit", [&]() -> AAX_Result {
    if (GetHost() == -1) SetHost("ProTools", 0);
    if (!mMasterBypass) CreateParameters();  // a second Initialize keeps the parameters
    AAX_CSampleRate rate = 0.0f;
    if (AAX_VController* controller = Controller();
        controller && controller->GetSampleRate(&rate) == AAX_SUCCESS && rate > 0.0f)
      SetSampleRate(rate);
    // An instance's stems are fixed for its life: a mono one never connects a second channel.
    int32_t inputFormat = AAX_eStemFormat_None;
    int32_t outputFormat = AAX_eStemFormat_None;
    if (AAX_VController* controller = Controller()) {
      if (controller->GetInputStemFormat(&inputFormat) != AAX_SUCCESS)
        inputFormat = AAX_eStemFormat_None;
      if (controller->GetOutputStemFormat(&outputFormat) != AAX_SUCCESS)
        outputFormat = AAX_eStemFormat_None;
    }
    SetChannelsInUse(std::max(ChannelsOf(inputFormat, NChannels(kInput)),
                              ChannelsOf(outputFormat, NChannels(kOutput))));
    ResetProcessing();
    mSettleOnNextBlock.store(true, std::memory_order_release);
    mProcessingReady = true;
    return AAX_SUCCESS;
  });
}

void IPlugAAX::CreateParameters() {
  auto* bypass = new AAX_CParameter<bool>(kMasterBypassID, AAX_CString("Master Bypass"), false,
                                          AAX_CBinaryTaperDelegate<bool>(),
                                          AAX_CBinaryDisplayDelegate<bool>("bypass", "on"), true);
  bypass->SetNumberOfSteps(2);
  bypass->SetType(AAX_eParameterType_Discrete);
  mParameterManager.AddParameter(bypass);
  mMasterBypass = bypass;

  mParamIDs.reserve(static_cast<size_t>(NParams()));
  for (int i = 0; i < NParams(); ++i) {
    const IParam& param = *GetParam(i);
    const std::string id = std::to_string(i + 1);
    const size_t len = id.size() + 1;  // with the terminating zero
    AAX_ASSERT(len < eParameterDefaultMaxIdentifierSize);
    mParamIDs.push_back(id);

    AAX_IParameter* parameter = nullptr;
    switch (param.Kind()) {
      case kKindBool:
      case kKindEnum: {
        std::map<int32_t, AAX_CString> texts;
        for (int t = 0; t < param.ValueTextCount(); ++t) {
          double value = 0.0;
          const char* text = param.ValueTextAt(t, &value);
          texts[static_cast<int32_t>(value)] = AAX_CString(text);
        }
        auto* typed = new AAX_CParameter<int32_t>(
            id.c_str(), AAX_CString(param.Name()), static_cast<int32_t>(param.Default()),
            AAX_CLinearTaperDelegate<int32_t>(static_cast<int32_t>(param.Min()),
                                              static_cast<int32_t>(param.Max())),
            AAX_CStringDisplayDelegate<int32_t>(std::move(texts)), param.CanAutomate());
        typed->SetNumberOfSteps(static_cast<uint32_t>(param.ValueTextCount()));
        typed->SetType(AAX_eParameterType_Discrete);
        parameter = typed;
        break;
      }
      case kKindInt: {
        auto* typed = new AAX_CParameter<int32_t>(
            id.c_str(), AAX_CString(param.Name()), static_cast<int32_t>(param.Default()),
            AAX_CLinearTaperDelegate<int32_t>(static_cast<int32_t>(param.Min()),
                                              static_cast<int32_t>(param.Max())),
            AAX_CUnitDisplayDelegateDecorator<int32_t>(AAX_CNumberDisplayDelegate<int32_t, 0>(),
                                                       AAX_CString(param.UnitLabel())),
            param.CanAutomate());
        typed->SetNumberOfSteps(128);
        typed->SetType(AAX_eParameterType_Continuous);
        parameter = typed;
        break;
      }
      case kKindDouble: {
        auto* typed = new AAX_CParameter<double>(
            id.c_str(), AAX_CString(param.Name()), param.Default(),
            AAX_CIPlugTaperDelegate<double>(param),
            AAX_CUnitDisplayDelegateDecorator<double>(AAX_CNumberDisplayDelegate<double, 2>(),
                                                      AAX_CString(param.UnitLabel())),
            param.CanAutomate());
        typed->SetNumberOfSteps(128);
        typed->SetType(AAX_eParameterType_Continuous);
        parameter = typed;
        break;
      }
      case kKindNone:
        break;
    }
    // A chunk set before initialization has already moved the IParams: the host must read
    // their values, not the defaults, from the first moment it can read anything.
    if (parameter) parameter->UpdateNormalizedValue(param.NormalizedValue());
    mParameterManager.AddParameter(parameter);
  }
}

const char* IPlugAAX::ParamID(int paramIdx) const {
  if (paramIdx < 0 || static_cast<size_t>(paramIdx) >= mParamIDs.size()) return nullptr;
  return mParamIDs[static_cast<size_t>(paramIdx)].c_str();
}

AAX_Result IPlugAAX::UpdateParameterNormalizedValue(AAX_CParamID id, double value,
                                                    int32_t /*source*/) noexcept {
  AAX_IParameter* parameter = mParameterManager.GetParameterByID(id);
  if (!parameter) return AAX_ERROR_INVALID_PARAMETER_ID;
  if (!std::isfinite(value)) return AAX_ERROR_INVALID_ARGUMENT;
  return AAX_CallGuarded("iplug::IPlugAAX::UpdateParameterNormalizedValue", [&] {
    parameter->UpdateNormalizedValue(value);
    const int index = ParamIndexFromID(id);
    if (index >= 0 && index < NParams()) ApplyHostNormalized(*this, index, value);
    mPacketDispatcher.SetDirty(id);
    ++mNumPlugInChanges;
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
}

void IPlugAAX::BeginParamGesture(int paramIdx) {
  if (const char* id = ParamID(paramIdx)) TouchParameter(id);
}

void IPlugAAX::InformHostOfParam(int paramIdx, double normalized) {
  if (const char* id = ParamID(paramIdx)) SetParameterNormalizedValue(id, normalized);
}

void IPlugAAX::EndParamGesture(int paramIdx) {
  if (const char* id = ParamID(paramIdx)) ReleaseParameter(id);
}

// ---------------------------------------------------------------------------------------------
// Notifications, latency, MIDI out

AAX_Result IPlugAAX::NotificationReceived(AAX_CTypeID type, const void* data,
                                          uint32_t size) noexcept {
  switch (type) {
    case AAX_eNotificationEvent_EnteringOfflineMode:
    case AAX_eNotificationEvent_ExitingOfflineMode:
      if (const AAX_Result result =
              ChangeRenderingOffline(type == AAX_eNotificationEvent_EnteringOfflineMode);
          result != AAX_SUCCESS)
        return result;
      break;
    case AAX_eNotificationEvent_TrackNameChanged:
      if (data) {
        const AAX_Result result = AAX_CallGuarded("iplug::IPlugAAX::NotificationReceived", [&] {
          const char* text = static_cast<const AAX_IString*>(data)->Get();
          mTrackName = text ? text : "";
          mHasTrackName = true;
          return static_cast<AAX_Result>(AAX_SUCCESS);
        });
        if (result != AAX_SUCCESS) return result;
      }
      break;
    default:
      break;
  }
  return AAX_CIPlugParameters::NotificationReceived(type, data, size);
}

AAX_Result IPlugAAX::ChangeRenderingOffline(bool offline) noexcept {
  if (offline == GetRenderingOffline()) return AAX_SUCCESS;
  // Before initialization the reset takes the flag; a running instance is told now, since a
  // host starts a bounce without resetting anything.
  if (!mProcessingReady) {
    SetRenderingOffline(offline);
    return AAX_SUCCESS;
  }
  const AAX_Result result = AAX_CallGuarded("iplug::IPlugAAX::NotificationReceived", [&] {
    SetHostRenderingOffline(*this, offline);
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
  if (result != AAX_SUCCESS) SetRenderingOffline(!offline);  // nothing was rebuilt
  return result;
}

void IPlugAAX::GetTrackName(std::string& name) const {
  if (mHasTrackName) name = mTrackName;
}

void IPlugAAX::ChangeLatency(int samples) {
  // The plug-in's side first: when it throws, the host has not been told a latency that the
  // bypass delay does not have.
  IPlugProcessor::ChangeLatency(samples);
  if (AAX_VController* controller = Controller()) controller->SetSignalLatency(samples);
}

bool IPlugAAX::EmitMidiMessage(const MidiMessage& message) {
  // The list never grows: this runs on the audio thread.
  if (mMidiOutCount >= static_cast<int>(mMidiOut.size())) return false;
  int position = mMidiOutCount;
  while (position > 0 && mMidiOut[static_cast<size_t>(position - 1)].offset > message.offset)
    --position;
  std::copy_backward(mMidiOut.begin() + position, mMidiOut.begin() + mMidiOutCount,
                     mMidiOut.begin() + mMidiOutCount + 1);
  mMidiOut[static_cast<size_t>(position)] = message;
  ++mMidiOutCount;
  return true;
}

void IPlugAAX::PostMidiOut(const void* context) {
  if (!DoesMidiOut()) return;
  auto* node = AAX_ContextField<AAX_IMidiNode*>(context, AAX_eFieldIndex_OutputMIDINode);
  if (!node) return;
  for (int i = 0; i < mMidiOutCount; ++i) {
    const MidiMessage& message = mMidiOut[static_cast<size_t>(i)];
    AAX_CMidiPacket packet{static_cast<uint32_t>(message.offset),
                           3,
                           {message.status, message.data1, message.data2, 0},
                           1};
    node->PostMIDIPacket(&packet);
  }
  mMidiOutCount = 0;

  SysExRecord sysex;
  while (PopSysExFromEditor(sysex)) {
    for (int32_t position = 0; position < sysex.size; position += 4) {
      AAX_CMidiPacket packet{static_cast<uint32_t>(sysex.offset), 0, {0, 0, 0, 0}, 1};
      packet.mLength = static_cast<uint32_t>(std::min<int32_t>(4, sysex.size - position));
      std::memcpy(packet.mData, sysex.data + position, packet.mLength);
      node->PostMIDIPacket(&packet);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Render

void IPlugAAX::ReadTimeInfo(const AAX_VTransport& transport) {
  ITimeInfo info;
  if (transport.IsValid()) {
    double tempo = 0.0;
    if (transport.GetCurrentTempo(&tempo) == AAX_SUCCESS) info.tempo = tempo;
    bool playing = false;
    if (transport.IsTransportPlaying(&playing) == AAX_SUCCESS) info.transportIsRunning = playing;
    int32_t numerator = 0;
    int32_t denominator = 0;
    if (transport.GetCurrentMeter(&numerator, &denominator) == AAX_SUCCESS) {
      info.numerator = numerator;
      info.denominator = denominator;
    }
    int64_t ticks = 0;
    if (transport.GetCurrentTickPosition(&ticks) == AAX_SUCCESS)
      info.ppqPos = ticks < 0 ? 0.0 : static_cast<double>(ticks) / kAAX_TicksPerQuarterNote;
    int64_t location = 0;
    if (transport.GetCurrentNativeSampleLocation(&location) == AAX_SUCCESS)
      info.samplePos = static_cast<double>(location);
    bool looping = false;
    int64_t loopStart = 0;
    int64_t loopEnd = 0;
    if (transport.GetCurrentLoopPosition(&looping, &loopStart, &loopEnd) == AAX_SUCCESS) {
      info.transportLoopEnabled = looping;
      info.cycleStart = static_cast<double>(loopStart) / kAAX_TicksPerQuarterNote;
      info.cycleEnd = static_cast<double>(loopEnd) / kAAX_TicksPerQuarterNote;
    }
  }
  SetTimeInfo(info);
}

void IPlugAAX::DrainMidiFromEditor() {
  MidiMessage message;
  while (PopMidiFromEditor(message)) HandleMidiMessage(message);
}

void IPlugAAX::RenderAudioBlock(const void* context, const AAX_CIPlugParamValuePair* const[],
                                int32_t) noexcept {
  // For the whole callback, not just the processing: reading the host's denormal floats into
  // the processor's buffers (and their peaks) takes the processor's slow path too otherwise.
  ScopedDenormalGuard denormals;
  const bool bypass = mMasterBypass && mMasterBypass->GetValue();
  int32_t inputFormat = AAX_eStemFormat_None;
  int32_t outputFormat = AAX_eStemFormat_None;
  if (AAX_VController* controller = Controller()) {
    controller->GetInputStemFormat(&inputFormat);
    controller->GetOutputStemFormat(&outputFormat);
  }
  HostBlock block;
  // Never more than the processor has slots for, whatever the host claims.
  block.inChannels = ChannelsOf(inputFormat, NChannels(kInput));
  block.outChannels = ChannelsOf(outputFormat, NChannels(kOutput));
  block.inputs = AAX_ContextField<float* const*>(context, AAX_eFieldIndex_AudioIn);
  block.outputs = AAX_ContextField<float* const*>(context, AAX_eFieldIndex_AudioOut);
  const auto* sampleCount = AAX_ContextField<const int32_t*>(context, AAX_eFieldIndex_BufferLength);
  const int n = sampleCount ? std::max(*sampleCount, 0) : 0;
  if (MostBuses(kInput) > 1)
    block.sideChain = AAX_ContextField<const int32_t*>(context, AAX_eFieldIndex_SideChainIn);

  // The whole block's MIDI reaches the processor before its first piece.
  if (DoesMidiIn()) {
    auto* node = AAX_ContextField<AAX_IMidiNode*>(context, AAX_eFieldIndex_InputMIDINode);
    if (const AAX_CMidiStream* stream = node ? node->GetNodeBuffer() : nullptr) {
      for (uint32_t i = 0; stream->mBuffer && i < stream->mBufferSize; ++i) {
        const AAX_CMidiPacket& packet = stream->mBuffer[i];
        MidiMessage message;
        message.offset = static_cast<int32_t>(packet.mTimestamp);
        message.status = packet.mData[0];
        message.data1 = packet.mData[1];
        message.data2 = packet.mData[2];
        HandleMidiMessage(message);
        PushMidiToEditor(message);
      }
    }
  }

  ReadTimeInfo(
      AAX_VTransport(AAX_ContextField<IACFUnknown*>(context, AAX_eFieldIndex_TransportNode)));
  if (mSettleOnNextBlock.exchange(false, std::memory_order_acq_rel)) SettleAfterReset();

  // A block longer than the buffers goes through in pieces, each handled as a block of its
  // own: growing the buffers here would allocate and reset on the host's real-time thread.
  mInputPeak = mOutputPeak = 0.0;
  const int capacity = std::max(GetBlockCapacity(), 1);
  const ITimeInfo blockTime = GetTimeInfo();
  for (int offset = 0; offset == 0 || offset < n; offset += capacity) {
    if (offset > 0) SetTimeInfo(AdvancedTime(blockTime, offset));
    RenderPiece(block, bypass, offset, std::min(capacity, n - offset));
  }

  if (float* const* taps = AAX_ContextField<float* const*>(context, AAX_eFieldIndex_Meters)) {
    if (taps[0]) *taps[0] = static_cast<float>(std::max(mInputPeak, static_cast<double>(*taps[0])));
    if (taps[1])
      *taps[1] = static_cast<float>(std::max(mOutputPeak, static_cast<double>(*taps[1])));
  }

  PostMidiOut(context);
}

ITimeInfo IPlugAAX::AdvancedTime(const ITimeInfo& info, int frames) const {
  ITimeInfo advanced = info;
  if (advanced.samplePos >= 0.0) advanced.samplePos += frames;
  if (advanced.ppqPos >= 0.0 && GetSampleRate() > 0.0)
    advanced.ppqPos += frames / GetSampleRate() * advanced.tempo / 60.0;
  return advanced;
}

void IPlugAAX::RenderPiece(const HostBlock& block, bool bypass, int offset, int n) noexcept {
  float* const* hostOutputs = block.outputs;
  if (GetPlugType() != 1) {
    SetChannelsConnected(kInput, 0, block.inChannels, true);
    SetChannelsConnected(kInput, block.inChannels, NChannels(kInput) - block.inChannels, false);
    BindHostBuffers(kInput, 0, block.inChannels, block.inputs, n, offset);
    if (block.sideChain && *block.sideChain != 0 && block.inChannels < NChannels(kInput)) {
      SetChannelsConnected(kInput, block.inChannels, 1, true);
      float* sideChainInput = block.inputs ? block.inputs[*block.sideChain] : nullptr;
      BindHostBuffers(kInput, block.inChannels, 1, &sideChainInput, n, offset);
    }
  }

  SetChannelsConnected(kOutput, 0, NChannels(kOutput), true);
  if (MostBuses(kOutput) == 1)
    SetChannelsConnected(kOutput, block.outChannels, NChannels(kOutput) - block.outChannels, false);
  BindHostBuffers(kOutput, 0, NChannels(kOutput), hostOutputs, n, offset);

  const int peakInputs = std::min(ConnectedChannelCount(kInput), block.inChannels);
  mInputPeak = std::max(mInputPeak, Peak(block.inputs, peakInputs, offset, n));
  if (bypass != GetBypassed()) OnHostBypassChanged(bypass);
  RenderWithHostBypass(bypass, PluginHandlesBypass(), n, hostOutputs, offset,
                       std::min(ConnectedChannelCount(kOutput), block.outChannels),
                       [this] { DrainMidiFromEditor(); });

  mOutputPeak = std::max(
      mOutputPeak,
      Peak(hostOutputs, std::min(ConnectedChannelCount(kOutput), block.outChannels), offset, n));
}

// ---------------------------------------------------------------------------------------------
// State chunks

AAX_Result IPlugAAX::GetChunkIDFromIndex(int32_t index, AAX_CTypeID* outID) const noexcept {
  if (!outID) return AAX_ERROR_NULL_ARGUMENT;
  if (index != 0) {
    *outID = 0;
    return AAX_ERROR_INVALID_CHUNK_INDEX;
  }
  *outID = static_cast<AAX_CTypeID>(GetUniqueID());
  return AAX_SUCCESS;
}

AAX_Result IPlugAAX::GetChunkSize(AAX_CTypeID chunkID, uint32_t* outSize) const noexcept {
  if (!outSize) return AAX_ERROR_NULL_ARGUMENT;
  if (chunkID != static_cast<AAX_CTypeID>(GetUniqueID())) {
    *outSize = 0;
    return AAX_ERROR_INVALID_CHUNK_ID;
  }
  return AAX_CallGuarded("iplug::IPlugAAX::GetChunkSize", [&] {
    IStateChunk state;
    if (WriteState(state)) *outSize = static_cast<uint32_t>(state.Size());
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
}

AAX_Result IPlugAAX::GetChunk(AAX_CTypeID chunkID, AAX_SPlugInChunk* outChunk) const noexcept {
  if (chunkID != static_cast<AAX_CTypeID>(GetUniqueID())) return AAX_ERROR_INVALID_CHUNK_ID;
  if (!outChunk) return AAX_ERROR_NULL_ARGUMENT;
  return AAX_CallGuarded("iplug::IPlugAAX::GetChunk", [&] {
    IStateChunk state;
    if (!WriteState(state)) return static_cast<AAX_Result>(AAX_ERROR_INVALID_CHUNK_ID);
    outChunk->fSize = state.Size();
    if (state.Size() > 0)
      std::memcpy(outChunk->fData, state.Data(), static_cast<size_t>(state.Size()));
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
}

AAX_Result IPlugAAX::SetChunk(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk) noexcept {
  if (chunkID != static_cast<AAX_CTypeID>(GetUniqueID())) return AAX_ERROR_INVALID_CHUNK_ID;
  if (!chunk) return AAX_ERROR_NULL_ARGUMENT;
  return SetChunkFromRecord(chunkID, chunk, AllocatedRecordSize(*chunk));
}

AAX_Result IPlugAAX::SetChunkFromRecord(AAX_CTypeID chunkID, const AAX_SPlugInChunk* chunk,
                                        size_t recordSize) noexcept {
  if (chunkID != static_cast<AAX_CTypeID>(GetUniqueID())) return AAX_ERROR_INVALID_CHUNK_ID;
  if (!chunk) return AAX_ERROR_NULL_ARGUMENT;
  // A record too short for its size field holds no data.
  const size_t size = recordSize >= sizeof(chunk->fSize) ? ChunkDataSize(*chunk, recordSize) : 0;
  const auto* data = reinterpret_cast<const uint8_t*>(chunk) + kAAX_ChunkHeaderSize;
  return SetChunkData(chunkID, data, size);
}

AAX_Result IPlugAAX::SetChunkData(AAX_CTypeID, const uint8_t* data, size_t size) noexcept {
  return AAX_CallGuarded("iplug::IPlugAAX::SetChunk", [&] {
    // The image's accept rules are every binding's: a malformed one changes nothing.
    if (RestoreStateImage(*this, std::span<const uint8_t>(data, size)) != EStateImage::kRestored)
      return static_cast<AAX_Result>(AAX_ERROR_MALFORMED_CHUNK);
    for (int i = 0; i < NParams(); ++i) {
      if (const char* id = ParamID(i))
        SetParameterNormalizedValue(id, GetParam(i)->NormalizedValue());
    }
    ++mNumPlugInChanges;
    return static_cast<AAX_Result>(AAX_SUCCESS);
  });
}

AAX_Result IPlugAAX::CompareActiveChunk(const AAX_SPlugInChunk* chunk,
                                        AAX_CBoolean* outIsEqual) const noexcept {
  if (!chunk || !outIsEqual) return AAX_ERROR_NULL_ARGUMENT;
  return CompareChunkRecord(chunk, AllocatedRecordSize(*chunk), outIsEqual);
}

AAX_Result IPlugAAX::CompareChunkRecord(const AAX_SPlugInChunk* chunk, size_t recordSize,
                                        AAX_CBoolean* outIsEqual) const noexcept {
  if (!chunk || !outIsEqual) return AAX_ERROR_NULL_ARGUMENT;
  if (recordSize < kAAX_ChunkHeaderSize) {
    *outIsEqual = 0;  // not even a header: nothing this plug-in could have written
    return AAX_SUCCESS;
  }
  if (chunk->fChunkID != static_cast<AAX_CTypeID>(GetUniqueID())) {
    *outIsEqual = 1;
    return AAX_SUCCESS;
  }
  const auto* data = reinterpret_cast<const uint8_t*>(chunk) + kAAX_ChunkHeaderSize;
  *outIsEqual = StateMatches(std::span<const uint8_t>(data, ChunkDataSize(*chunk, recordSize)), 0);
  return AAX_SUCCESS;
}

// ---------------------------------------------------------------------------------------------
// Editor

bool IPlugAAX::ResizeEditor(int width, int height) {
  if (!HasUI()) return true;
  IPlugAAXView_Interface* view = GetAAXViewInterface();
  if (view && (width != GetEditorWidth() || height != GetEditorHeight())) {
    if (AAX_VViewContainer* container = ViewContainerOf(*view))
      container->SetViewSize(AAX_Point{static_cast<float>(height), static_cast<float>(width)});
  }
  SetEditorSize(width, height);
  return true;
}

}  // namespace iplug
