#include "host/aaxhost/AlgorithmContext.h"

#include <algorithm>
#include <cstring>

#include "host/aaxhost/Controller.h"

namespace aaxhost {

namespace {

int32_t ChannelsOf(const Component& component, int32_t propertyID) {
  const auto format = component.ProcProperty(propertyID);
  if (!format || *format == AAX_eStemFormat_None) return 0;
  return AAX_StemFormatChannelCount(*format);
}

}  // namespace

AlgorithmContext::AlgorithmContext(const Component& component, IACFUnknown* transport)
    : mInputs(static_cast<size_t>(ChannelsOf(component, AAX_eProperty_InputStemFormat)), nullptr),
      mOutputs(static_cast<size_t>(ChannelsOf(component, AAX_eProperty_OutputStemFormat)),
               nullptr) {
  AAX_CFieldIndex highest = -1;
  for (const auto& field : component.fields) highest = std::max(highest, field.index);
  mFields.assign(static_cast<size_t>(highest + 1), nullptr);

  for (const auto& field : component.fields) {
    void*& slot = mFields[static_cast<size_t>(field.index)];
    switch (field.kind) {
      case FieldKind::kAudioIn:
        slot = mInputs.data();
        break;
      case FieldKind::kAudioOut:
        slot = mOutputs.data();
        break;
      case FieldKind::kAudioBufferLength:
        slot = &mSampleCount;
        break;
      case FieldKind::kSampleRate:
        slot = &mSampleRate;
        break;
      case FieldKind::kClock:
        slot = &mClock;
        break;
      case FieldKind::kSideChainIn:
        slot = &mSideChainIndex;
        break;
      case FieldKind::kAuxOutputStem: {
        auto& channels = mAuxOutputs[field.index];
        channels.assign(
            static_cast<size_t>(std::max(0, AAX_StemFormatChannelCount(field.stemFormat))),
            nullptr);
        slot = channels.data();
        break;
      }
      case FieldKind::kPrivateData:
      case FieldKind::kDataInPort:
      case FieldKind::kTemporaryData: {
        auto block = std::make_unique<Block>();
        block->field = field.index;
        block->kind = field.kind;
        block->size = field.dataSize;
        block->storage.assign(
            (field.dataSize + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t),
            std::max_align_t{});
        std::memset(block->Data(), 0, block->storage.size() * sizeof(std::max_align_t));
        slot = block->Data();
        mBlocks.push_back(std::move(block));
        break;
      }
      case FieldKind::kMeters:
        mMeterIDs = field.meterIDs;
        mMeterTaps.assign(mMeterIDs.size(), 0.0f);
        for (float& tap : mMeterTaps) mMeterPointers.push_back(&tap);
        slot = mMeterPointers.data();
        break;
      case FieldKind::kMidiNode:
        if (field.nodeType == AAX_eMIDINodeType_Transport) {
          slot = transport;
        } else {
          auto& node = mNodes[field.index];
          node = std::make_unique<MidiNode>();
          slot = static_cast<AAX_IMidiNode*>(node.get());
        }
        break;
      case FieldKind::kReserved:
        break;
    }
  }
}

void* AlgorithmContext::Field(AAX_CFieldIndex index) const noexcept {
  if (index < 0 || static_cast<size_t>(index) >= mFields.size()) return nullptr;
  return mFields[static_cast<size_t>(index)];
}

AlgorithmContext::Block* AlgorithmContext::FindBlock(AAX_CFieldIndex field) const noexcept {
  for (const auto& block : mBlocks) {
    if (block->field == field) return block.get();
  }
  return nullptr;
}

void* AlgorithmContext::FieldData(AAX_CFieldIndex field) const noexcept {
  Block* block = FindBlock(field);
  return block ? block->Data() : nullptr;
}

AAX_Result AlgorithmContext::ResetPrivateData(AAX_IEffectParametersV1& parameters) {
  AAX_Result first = AAX_SUCCESS;
  for (const auto& block : mBlocks) {
    if (block->kind != FieldKind::kPrivateData) continue;
    std::memset(block->Data(), 0, block->size);
    const AAX_Result result =
        parameters.ResetFieldData(block->field, block->Data(), static_cast<uint32_t>(block->size));
    if (result != AAX_SUCCESS && first == AAX_SUCCESS) first = result;
  }
  return first;
}

bool AlgorithmContext::WritePort(AAX_CFieldIndex field, const void* data, size_t size) {
  Block* block = FindBlock(field);
  if (!block || block->kind != FieldKind::kDataInPort || block->size != size) return false;
  std::memcpy(block->Data(), data, size);
  return true;
}

int AlgorithmContext::DeliverPackets(Controller& controller) {
  int delivered = 0;
  for (const PostedPacket& packet : controller.TakePendingPackets()) {
    if (WritePort(packet.field, packet.data.data(), packet.data.size())) ++delivered;
  }
  return delivered;
}

void AlgorithmContext::SetAudio(float* const* inputs, float* const* outputs,
                                int32_t sampleCount) noexcept {
  for (size_t i = 0; i < mInputs.size(); ++i) mInputs[i] = inputs ? inputs[i] : nullptr;
  for (size_t i = 0; i < mOutputs.size(); ++i) mOutputs[i] = outputs ? outputs[i] : nullptr;
  mSampleCount = sampleCount;
}

void AlgorithmContext::SetAuxOutput(AAX_CFieldIndex field, float* const* channels) noexcept {
  const auto found = mAuxOutputs.find(field);
  if (found == mAuxOutputs.end()) return;
  for (size_t i = 0; i < found->second.size(); ++i)
    found->second[i] = channels ? channels[i] : nullptr;
}

void AlgorithmContext::ResetMeters() noexcept {
  std::fill(mMeterTaps.begin(), mMeterTaps.end(), 0.0f);
}

MidiNode* AlgorithmContext::Node(AAX_CFieldIndex field) const noexcept {
  const auto found = mNodes.find(field);
  return found == mNodes.end() ? nullptr : found->second.get();
}

void AlgorithmContext::Process(AAX_CProcessProc proc) noexcept {
  void* const instances[1] = {Instance()};
  proc(instances, instances + 1);
}

void AlgorithmContext::ProcessBatch(AAX_CProcessProc proc,
                                    const std::vector<AlgorithmContext*>& contexts) {
  std::vector<void*> instances;
  for (AlgorithmContext* context : contexts) instances.push_back(context->Instance());
  proc(instances.data(), instances.data() + instances.size());
}

}  // namespace aaxhost
