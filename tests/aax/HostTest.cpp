#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "aax/library/AAX_CEffectParameters.h"
#include "aax/library/AAX_VCollection.h"
#include "host/aaxhost/AlgorithmContext.h"
#include "host/aaxhost/Controller.h"
#include "host/aaxhost/DescriptionCollection.h"
#include "host/aaxhost/HostRunLoop.h"

using aaxhost::FieldKind;

namespace {

constexpr AAX_CTypeID kMeterIDs[2] = {AAX_FourCC("mtrI"), AAX_FourCC("mtrO")};

// Writes what it finds in the context into the meter taps, so a test can see the layout.
void ProcessProc(void* const instancesBegin[], const void* instancesEnd) {
  for (void* const* instance = instancesBegin; instance != instancesEnd; ++instance) {
    auto* const* meters = AAX_ContextField<float* const*>(*instance, AAX_eFieldIndex_Meters);
    const auto* count = AAX_ContextField<const int32_t*>(*instance, AAX_eFieldIndex_BufferLength);
    const auto* state = AAX_ContextField<const int64_t*>(*instance, AAX_eFieldIndex_StateNumber);
    auto* const* inputs = AAX_ContextField<float* const*>(*instance, AAX_eFieldIndex_AudioIn);
    *meters[0] = inputs[0][*count - 1];
    *meters[1] = static_cast<float>(*state);
  }
}

IACFUnknown* CreateNothing() {
  return nullptr;
}

// Describes a small effect through the library wrappers, as the module would.
AAX_Result Describe(IACFUnknown* host) {
  AAX_VCollection collection(host);
  AAX_VEffectDescriptor* effect = collection.NewDescriptor();
  if (!effect) return AAX_ERROR_NULL_OBJECT;
  effect->AddName("Corvane");
  collection.AddPackageName("Corvane");
  effect->AddCategory(AAX_ePlugInCategory_Harmonic);

  AAX_VComponentDescriptor* component = effect->NewComponentDescriptor();
  component->AddPrivateData(AAX_eFieldIndex_GlobalMIDINode, 4);
  component->AddMIDINode(AAX_eFieldIndex_TransportNode, AAX_eMIDINodeType_Transport, "Transport",
                         0xFFFF);
  component->AddAudioIn(AAX_eFieldIndex_AudioIn);
  component->AddAudioOut(AAX_eFieldIndex_AudioOut);
  component->AddAudioBufferLength(AAX_eFieldIndex_BufferLength);
  component->AddSampleRate(AAX_eFieldIndex_SampleRate);
  component->AddMeters(AAX_eFieldIndex_Meters, kMeterIDs, 2);
  component->AddPrivateData(AAX_eFieldIndex_PrivateData, 8);
  component->AddDataInPort(AAX_eFieldIndex_StateNumber, 8, AAX_eDataInPortType_Buffered);
  if (component->AddAudioIn(AAX_eFieldIndex_AudioIn) != AAX_ERROR_INVALID_FIELD_INDEX)
    return AAX_ERROR_INVALID_INTERNAL_DATA;
  AAX_VPropertyMap* properties = component->NewPropertyMap();
  properties->AddProperty(AAX_eProperty_InputStemFormat, AAX_eStemFormat_Stereo);
  properties->AddProperty(AAX_eProperty_OutputStemFormat, AAX_eStemFormat_Stereo);
  properties->AddProperty(AAX_eProperty_PlugInID_Native, static_cast<int32_t>(AAX_FourCC("TMN2")));
  properties->AddProperty(AAX_eProperty_InputStemFormat, AAX_eStemFormat_Mono);  // replaces
  component->AddProcessProc_Native(ProcessProc, properties);
  effect->AddComponent(component);

  effect->AddProcPtr(CreateNothing, kAAX_ProcPtrID_Create_EffectParameters);
  AAX_VPropertyMap* meter = effect->NewPropertyMap();
  meter->AddProperty(AAX_eProperty_Meter_Type, AAX_eMeterType_Output);
  meter->AddProperty(AAX_eProperty_Meter_Orientation, AAX_eMeterOrientation_Default);
  effect->AddMeterDescription(kMeterIDs[1], "Output", meter);
  AAX_Result result = collection.AddEffect("com.pellumar.aax.corvane", effect);
  if (result != AAX_SUCCESS) return result;
  if (collection.AddEffect("com.pellumar.aax.corvane", effect) != AAX_ERROR_DUPLICATE_EFFECT_ID)
    return AAX_ERROR_INVALID_INTERNAL_DATA;
  collection.SetManufacturerName("Pellumar");
  return collection.SetPackageVersion(0x00040100);
}

class StampingParameters final : public AAX_CEffectParameters {
 public:
  AAX_Result ResetFieldData(AAX_CFieldIndex field, void* data,
                            uint32_t size) const noexcept override {
    AAX_CEffectParameters::ResetFieldData(field, data, size);
    if (field == AAX_eFieldIndex_PrivateData && size == sizeof(void*)) {
      const void* self = this;
      std::memcpy(data, &self, sizeof(self));
    }
    return AAX_SUCCESS;
  }
};

}  // namespace

TEST(AaxHostCollection, RecordsWhatTheModuleDescribes) {
  aaxhost::Collection collection;
  ASSERT_EQ(Describe(collection.GetUnknown()), AAX_SUCCESS);
  EXPECT_EQ(collection.OutstandingReferences(), 0) << "the wrappers leaked host references";

  const aaxhost::Description& description = collection.Dump();
  EXPECT_EQ(description.manufacturerName, "Pellumar");
  EXPECT_EQ(description.packageNames, std::vector<std::string>{"Corvane"});
  EXPECT_EQ(description.packageVersion, 0x00040100u);
  ASSERT_EQ(description.effects.size(), 1u);
  const aaxhost::Effect& effect = description.effects[0];
  EXPECT_EQ(effect.effectID, "com.pellumar.aax.corvane");
  EXPECT_EQ(effect.names, std::vector<std::string>{"Corvane"});
  EXPECT_EQ(effect.categories, std::vector<uint32_t>{0x40});
  EXPECT_EQ(effect.FindProcPtr(kAAX_ProcPtrID_Create_EffectParameters), &CreateNothing);
  EXPECT_EQ(effect.FindProcPtr(kAAX_ProcPtrID_Create_EffectGUI), nullptr);

  ASSERT_EQ(effect.components.size(), 1u);
  const aaxhost::Component& component = effect.components[0];
  const std::vector<std::pair<AAX_CFieldIndex, FieldKind>> order = {
      {6, FieldKind::kPrivateData},       {7, FieldKind::kMidiNode},
      {0, FieldKind::kAudioIn},           {1, FieldKind::kAudioOut},
      {2, FieldKind::kAudioBufferLength}, {3, FieldKind::kSampleRate},
      {24, FieldKind::kMeters},           {23, FieldKind::kPrivateData},
      {25, FieldKind::kDataInPort}};
  ASSERT_EQ(component.fields.size(), order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(component.fields[i].index, order[i].first) << i;
    EXPECT_EQ(component.fields[i].kind, order[i].second) << i;
  }
  EXPECT_EQ(component.fields[0].dataSize, 4u);
  EXPECT_EQ(component.fields[1].nodeType, AAX_eMIDINodeType_Transport);
  EXPECT_EQ(component.fields[1].name, "Transport");
  EXPECT_EQ(component.fields[1].channelMask, 0xFFFFu);
  EXPECT_EQ(component.fields[6].meterIDs, std::vector<AAX_CTypeID>(kMeterIDs, kMeterIDs + 2));
  EXPECT_EQ(component.fields[7].dataSize, 8u);
  EXPECT_EQ(component.fields[8].dataSize, 8u);
  EXPECT_EQ(component.fields[8].bufferingType, AAX_eDataInPortType_Buffered);

  ASSERT_EQ(component.processProcs.size(), 1u);
  EXPECT_EQ(component.processProcs[0].proc, &ProcessProc);
  const auto& properties = component.processProcs[0].properties;
  ASSERT_EQ(properties.size(), 3u);
  EXPECT_EQ(properties[0].id, AAX_eProperty_InputStemFormat);
  EXPECT_EQ(properties[0].value, AAX_eStemFormat_Mono);
  EXPECT_EQ(properties[1].id, AAX_eProperty_OutputStemFormat);
  EXPECT_EQ(properties[2].id, AAX_eProperty_PlugInID_Native);
  EXPECT_EQ(effect.FindComponentByNativeID(AAX_FourCC("TMN2")), &component);

  ASSERT_EQ(effect.meters.size(), 1u);
  EXPECT_EQ(effect.meters[0].id, AAX_FourCC("mtrO"));
  EXPECT_EQ(effect.meters[0].name, "Output");
  EXPECT_EQ(aaxhost::FindProperty(effect.meters[0].properties, AAX_eProperty_Meter_Type),
            AAX_eMeterType_Output);
  EXPECT_EQ(effect.meters[0].properties.size(), 2u);
}

TEST(AaxHostCollection, HandsOutItsPluginDefinition) {
  aaxhost::Collection collection;
  AAX_VCollection wrapper(collection.GetUnknown());
  const int32_t held = collection.References();
  IACFPluginDefinition* definition = nullptr;
  ASSERT_EQ(wrapper.GetPlugInDefinition(&definition), AAX_SUCCESS);
  EXPECT_EQ(definition, collection.Definition());
  EXPECT_EQ(collection.References(), held + 1);
  definition->Release();
  EXPECT_EQ(collection.References(), held);
}

TEST(AaxAlgorithmContext, LaysOutTheRecordedFieldsForTheProcessCall) {
  aaxhost::Collection collection;
  ASSERT_EQ(Describe(collection.GetUnknown()), AAX_SUCCESS);
  const aaxhost::Component& component = collection.Dump().effects[0].components[0];
  aaxhost::Controller controller;
  aaxhost::AlgorithmContext context(component, &controller);  // any object stands in for transport
  EXPECT_EQ(context.InputChannels(), 1);
  EXPECT_EQ(context.OutputChannels(), 2);
  EXPECT_EQ(context.FieldCount(), 26u);
  EXPECT_EQ(context.Field(AAX_eFieldIndex_TransportNode), static_cast<void*>(&controller));
  EXPECT_EQ(context.Field(AAX_eFieldIndex_InputMIDINode), nullptr);

  auto* parameters = new StampingParameters;
  auto* placeholder = static_cast<uint8_t*>(context.FieldData(AAX_eFieldIndex_GlobalMIDINode));
  std::memset(placeholder, 0x5A, 4);
  ASSERT_EQ(context.ResetPrivateData(*parameters), AAX_SUCCESS);
  void* stamped = nullptr;
  std::memcpy(&stamped, context.FieldData(AAX_eFieldIndex_PrivateData), sizeof(stamped));
  EXPECT_EQ(stamped, static_cast<void*>(parameters));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(placeholder[i], 0);
  parameters->Release();

  std::map<AAX_CFieldIndex, uint32_t> ports{{AAX_eFieldIndex_StateNumber, 8}};
  controller.SetDataPorts(ports);
  const int64_t stateNumber = 41;
  EXPECT_EQ(controller.PostPacket(AAX_eFieldIndex_StateNumber, &stateNumber, 4),
            AAX_ERROR_INCORRECT_CHUNK_SIZE);
  EXPECT_EQ(controller.PostPacket(AAX_eFieldIndex_PrivateData, &stateNumber, 8),
            AAX_ERROR_INVALID_FIELD_INDEX);
  ASSERT_EQ(controller.PostPacket(AAX_eFieldIndex_StateNumber, &stateNumber, 8), AAX_SUCCESS);
  EXPECT_EQ(context.DeliverPackets(controller), 1);
  EXPECT_EQ(context.DeliverPackets(controller), 0);

  std::vector<float> input{0.1f, 0.2f, 0.75f};
  std::vector<float> left(3), right(3);
  float* inputs[] = {input.data()};
  float* outputs[] = {left.data(), right.data()};
  context.SetAudio(inputs, outputs, 3);
  context.Process(&ProcessProc);
  ASSERT_EQ(context.MeterCount(), 2u);
  EXPECT_EQ(context.MeterID(1), AAX_FourCC("mtrO"));
  EXPECT_EQ(context.Meter(0), 0.75f);
  EXPECT_EQ(context.Meter(1), 41.0f);
}

namespace {

struct TimerLog {
  aaxhost::HostRunLoop* loop = nullptr;
  std::string order;
  uint64_t ids[3] = {};
  bool removeThirdOnFirstTick = false;
};

void TickA(void* context, uint64_t) {
  auto* log = static_cast<TimerLog*>(context);
  log->order += 'A';
  if (log->removeThirdOnFirstTick) {
    log->removeThirdOnFirstTick = false;
    log->loop->RemoveTimer(log->ids[2]);
  }
}
void TickB(void* context, uint64_t) {
  static_cast<TimerLog*>(context)->order += 'B';
}
void TickC(void* context, uint64_t) {
  static_cast<TimerLog*>(context)->order += 'C';
}
void Readable(void* context, int32_t fd) {
  char byte = 0;
  if (::read(fd, &byte, 1) == 1) static_cast<std::string*>(context)->push_back(byte);
}

}  // namespace

TEST(AaxHostRunLoop, ManualClockFiresInTimeOrderAndNeverAfterRemoval) {
  aaxhost::HostRunLoop loop;
  TimerLog log;
  log.loop = &loop;
  ASSERT_EQ(loop.AddTimer(20, TickA, &log, &log.ids[0]), AAX_SUCCESS);
  ASSERT_EQ(loop.AddTimer(30, TickB, &log, &log.ids[1]), AAX_SUCCESS);
  EXPECT_EQ(loop.Advance(19), 0);
  // 20 A, 30 B, 40 A, 60 A and B (added first fires first).
  EXPECT_EQ(loop.Advance(41), 5);
  EXPECT_EQ(log.order, "ABAAB");
  EXPECT_EQ(loop.NowMs(), 60);

  // A callback that removes a timer due at the same moment keeps it from firing.
  ASSERT_EQ(loop.AddTimer(20, TickC, &log, &log.ids[2]), AAX_SUCCESS);
  log.order.clear();
  log.removeThirdOnFirstTick = true;
  EXPECT_EQ(loop.Advance(20), 1);
  EXPECT_EQ(log.order, "A");
  EXPECT_EQ(loop.RemoveTimer(log.ids[2]), AAX_ERROR_UNKNOWN_ID);
  ASSERT_EQ(loop.RemoveTimer(log.ids[0]), AAX_SUCCESS);
  log.order.clear();
  loop.Advance(1000);  // B is due at 90, 120, ... 1080
  EXPECT_EQ(log.order, std::string(34, 'B'));
  EXPECT_EQ(loop.AddTimer(10, nullptr, &log, &log.ids[0]), AAX_ERROR_NULL_ARGUMENT);
}

TEST(AaxHostRunLoop, PollDeliversReadableDescriptorsUntilUnwatched) {
  aaxhost::HostRunLoop loop;
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::string received;
  uint64_t watch = 0;
  ASSERT_EQ(loop.WatchFd(fds[0], Readable, &received, &watch), AAX_SUCCESS);
  EXPECT_EQ(loop.Poll(0), 0);
  ASSERT_EQ(::write(fds[1], "x", 1), 1);
  EXPECT_EQ(loop.Poll(100), 1);
  EXPECT_EQ(received, "x");
  ASSERT_EQ(loop.UnwatchFd(watch), AAX_SUCCESS);
  ASSERT_EQ(::write(fds[1], "y", 1), 1);
  EXPECT_EQ(loop.Poll(0), 0);
  EXPECT_EQ(received, "x");
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(AaxHostRunLoop, WallClockPollWaitsForTheNextTimer) {
  aaxhost::HostRunLoop loop(aaxhost::HostRunLoop::Clock::kWall);
  TimerLog log;
  ASSERT_EQ(loop.AddTimer(5, TickB, &log, &log.ids[0]), AAX_SUCCESS);
  EXPECT_EQ(loop.Advance(100), 0);
  int callbacks = 0;
  for (int i = 0; i < 100 && callbacks == 0; ++i) callbacks = loop.Poll(100);
  EXPECT_EQ(callbacks, 1);
  EXPECT_EQ(log.order, "B");
  EXPECT_GE(loop.NowMs(), 5);
}
