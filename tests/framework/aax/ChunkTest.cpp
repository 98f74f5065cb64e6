#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "aax/library/AAX_CString.h"
#include "host/aaxhost/AutomationDelegate.h"
#include "tests/framework/aax/AaxBindingHarness.h"
#include "tests/framework/aax/TestPlugs.h"

using aaxtest::Instance;
using aaxtest::RecordingCorvane;

namespace {

constexpr AAX_CTypeID kChunkID = AAX_FourCC("jr00");

/**
 * A chunk record in a heap block of exactly size bytes, so that a read past its end is a heap
 * overflow the address sanitizer reports.
 */
class Record {
 public:
  Record(Record&&) = default;
  Record& operator=(Record&&) = default;
  Record(size_t size, int32_t sizeField, AAX_CTypeID chunkID = kChunkID)
      : mSize(size), mBytes(new uint8_t[size]) {
    std::memset(mBytes.get(), 0, size);
    if (size >= sizeof(int32_t)) std::memcpy(mBytes.get(), &sizeField, sizeof sizeField);
    if (size >= offsetof(AAX_SPlugInChunk, fName))
      std::memcpy(mBytes.get() + offsetof(AAX_SPlugInChunk, fChunkID), &chunkID, sizeof chunkID);
  }
  AAX_SPlugInChunk* Chunk() { return reinterpret_cast<AAX_SPlugInChunk*>(mBytes.get()); }
  uint8_t* Data() { return mBytes.get() + kAAX_ChunkHeaderSize; }
  size_t Size() const { return mSize; }

 private:
  size_t mSize;
  std::unique_ptr<uint8_t[]> mBytes;
};

/** The chunk as the host gets it: sized by GetChunkSize. */
Record GetChunk(iplug::IPlugAAX& plug) {
  uint32_t size = 0;
  EXPECT_EQ(plug.GetChunkSize(kChunkID, &size), AAX_SUCCESS);
  Record record(AAX_ChunkAllocationSize(size), 0);
  EXPECT_EQ(plug.GetChunk(kChunkID, record.Chunk()), AAX_SUCCESS);
  return record;
}

bool Equal(iplug::IPlugAAX& plug, const AAX_SPlugInChunk* chunk) {
  AAX_CBoolean equal = 2;
  EXPECT_EQ(plug.CompareActiveChunk(chunk, &equal), AAX_SUCCESS);
  return equal == 1;
}

bool EqualRecord(iplug::IPlugAAX& plug, Record& record) {
  AAX_CBoolean equal = 2;
  EXPECT_EQ(plug.CompareChunkRecord(record.Chunk(), record.Size(), &equal), AAX_SUCCESS);
  return equal == 1;
}

std::vector<double> Values(iplug::IPlugAAX& plug) {
  std::vector<double> values;
  for (int i = 0; i < plug.NParams(); ++i) values.push_back(plug.GetParam(i)->Value());
  return values;
}

void MoveAway(iplug::IPlugAAX& plug) {
  for (int i = 0; i < plug.NParams(); ++i)
    plug.UpdateParameterNormalizedValue(plug.ParamID(i), 0.3, 1);
}

}  // namespace

TEST(AaxChunks, TheOneChunkIsTheTwelveValuesUnderTheUniqueID) {
  Instance instance(new RecordingCorvane);
  iplug::IPlugAAX& plug = instance.Plug();
  int32_t count = 0;
  plug.GetNumberOfChunks(&count);
  EXPECT_EQ(count, 1);
  AAX_CTypeID id = 1;
  EXPECT_EQ(plug.GetChunkIDFromIndex(0, &id), AAX_SUCCESS);
  EXPECT_EQ(id, kChunkID);
  EXPECT_EQ(plug.GetChunkIDFromIndex(1, &id), AAX_ERROR_INVALID_CHUNK_INDEX);
  EXPECT_EQ(id, 0u);

  uint32_t size = 7;
  EXPECT_EQ(plug.GetChunkSize(AAX_FourCC("elck"), &size), AAX_ERROR_INVALID_CHUNK_ID);
  EXPECT_EQ(size, 0u);
  Record record = GetChunk(plug);
  EXPECT_EQ(record.Chunk()->fSize, 96);
  for (int i = 0; i < 12; ++i) {
    double stored = 0.0;
    std::memcpy(&stored, record.Data() + 8 * i, 8);
    EXPECT_EQ(stored, plug.GetParam(i)->Value()) << i;
  }
  EXPECT_EQ(plug.GetChunk(AAX_FourCC("elck"), record.Chunk()), AAX_ERROR_INVALID_CHUNK_ID);
  EXPECT_EQ(plug.SetChunk(AAX_FourCC("elck"), record.Chunk()), AAX_ERROR_INVALID_CHUNK_ID);
}

TEST(AaxChunks, CompareFollowsRestoreAndChanges) {
  Instance instance(new RecordingCorvane);
  iplug::IPlugAAX& plug = instance.Plug();
  Record saved = GetChunk(plug);
  EXPECT_TRUE(Equal(plug, saved.Chunk()));

  plug.UpdateParameterNormalizedValue("1", 0.5, 1);
  EXPECT_FALSE(Equal(plug, saved.Chunk()));
  ASSERT_EQ(plug.SetChunk(kChunkID, saved.Chunk()), AAX_SUCCESS);
  EXPECT_TRUE(Equal(plug, saved.Chunk()));

  Record other(AAX_ChunkAllocationSize(96), 96, AAX_FourCC("elck"));
  plug.UpdateParameterNormalizedValue("1", 0.5, 1);
  EXPECT_TRUE(Equal(plug, other.Chunk()));  // not this plug-in's chunk
}

TEST(AaxChunks, RestoringInformsTheHostAndTheEditorEvenWithoutData) {
  Instance instance(new RecordingCorvane);
  auto& plug = instance.PlugAs<RecordingCorvane>();
  MoveAway(plug);
  const std::vector<double> before = Values(plug);
  aaxhost::AutomationDelegate& delegate = instance.Host().GetAutomationDelegate();
  delegate.ClearEvents();
  plug.toControls.clear();
  int32_t changes = 0;
  plug.GetNumberOfChanges(&changes);

  Record empty(AAX_ChunkAllocationSize(0), 0);
  ASSERT_EQ(plug.SetChunk(kChunkID, empty.Chunk()), AAX_SUCCESS);
  EXPECT_EQ(Values(plug), before);
  int32_t after = 0;
  plug.GetNumberOfChanges(&after);
  EXPECT_EQ(after, changes + 1);

  ASSERT_EQ(plug.toControls.size(), 12u);
  const std::vector<aaxhost::AutomationEvent> events = delegate.Events();
  ASSERT_EQ(events.size(), 36u);
  for (int i = 0; i < 12; ++i) {
    const std::string id = std::to_string(i + 1);
    EXPECT_EQ(plug.toControls[static_cast<size_t>(i)].paramIdx, i);
    EXPECT_DOUBLE_EQ(plug.toControls[static_cast<size_t>(i)].value,
                     plug.GetParam(i)->NormalizedValue());
    EXPECT_EQ(events[static_cast<size_t>(3 * i)].kind, aaxhost::AutomationEvent::Kind::kTouch);
    EXPECT_EQ(events[static_cast<size_t>(3 * i + 1)].kind,
              aaxhost::AutomationEvent::Kind::kSetValueRequest);
    EXPECT_EQ(events[static_cast<size_t>(3 * i + 1)].parameterID, id);
    EXPECT_DOUBLE_EQ(events[static_cast<size_t>(3 * i + 1)].value,
                     plug.GetParam(i)->NormalizedValue());
    EXPECT_EQ(events[static_cast<size_t>(3 * i + 2)].kind,
              aaxhost::AutomationEvent::Kind::kRelease);
  }
}

TEST(AaxChunks, ARecordTooShortForEveryParameterComparesAsNotEqual) {
  Instance instance(new RecordingCorvane);
  iplug::IPlugAAX& plug = instance.Plug();
  Record full = GetChunk(plug);

  // Its size field claims all 96 bytes; the record holds 40.
  Record lying(kAAX_ChunkHeaderSize + 40, 96);
  std::memcpy(lying.Data(), full.Data(), 40);
  EXPECT_FALSE(EqualRecord(plug, lying));
  // Honest about 40 bytes, allocated as the interface says: still too short.
  Record honest(AAX_ChunkAllocationSize(40), 40);
  std::memcpy(honest.Data(), full.Data(), 40);
  EXPECT_FALSE(Equal(plug, honest.Chunk()));
  Record negative(AAX_ChunkAllocationSize(0), -1);
  EXPECT_FALSE(Equal(plug, negative.Chunk()));
  Record headerOnly(20, 96);
  EXPECT_FALSE(EqualRecord(plug, headerOnly));
  // A record that holds more than its size field says is compared over the size field.
  Record longer(kAAX_ChunkHeaderSize + 200, 96);
  std::memcpy(longer.Data(), full.Data(), 96);
  EXPECT_TRUE(EqualRecord(plug, longer));
}

TEST(AaxChunks, SetReadsNoMoreThanTheRecordHolds) {
  Instance instance(new RecordingCorvane);
  iplug::IPlugAAX& plug = instance.Plug();
  Record defaults = GetChunk(plug);
  const std::vector<double> defaultValues = Values(plug);

  // The size field claims far more than the 16 bytes that follow: two values are restored.
  MoveAway(plug);
  const std::vector<double> moved = Values(plug);
  Record oversized(kAAX_ChunkHeaderSize + 16, 1 << 20);
  std::memcpy(oversized.Data(), defaults.Data(), 16);
  ASSERT_EQ(plug.SetChunkFromRecord(kChunkID, oversized.Chunk(), oversized.Size()), AAX_SUCCESS);
  std::vector<double> expected = moved;
  expected[0] = defaultValues[0];
  expected[1] = defaultValues[1];
  EXPECT_EQ(Values(plug), expected);

  // A negative size field: the record's own bytes are the data.
  MoveAway(plug);
  Record negative(kAAX_ChunkHeaderSize + 96, -40);
  std::memcpy(negative.Data(), defaults.Data(), 96);
  ASSERT_EQ(plug.SetChunkFromRecord(kChunkID, negative.Chunk(), negative.Size()), AAX_SUCCESS);
  EXPECT_EQ(Values(plug), defaultValues);

  // Through the host interface a negative size field means no data.
  MoveAway(plug);
  Record none(AAX_ChunkAllocationSize(0), -40);
  ASSERT_EQ(plug.SetChunk(kChunkID, none.Chunk()), AAX_SUCCESS);
  EXPECT_EQ(Values(plug), moved);

  // Too short even for the size field.
  Record tiny(2, 0);
  EXPECT_EQ(plug.SetChunkFromRecord(kChunkID, tiny.Chunk(), tiny.Size()), AAX_SUCCESS);
  EXPECT_EQ(Values(plug), moved);
}

// A host that knows the sized calls reaches the same guards through the interface: a lying
// size field never makes the plug-in read past the record (the ASan build would report it).
TEST(AaxChunks, SizedHostCallsReadNoMoreThanTheRecordHolds) {
  Instance instance(new RecordingCorvane);
  iplug::IPlugAAX& plug = instance.Plug();
  Record defaults = GetChunk(plug);
  const std::vector<double> defaultValues = Values(plug);
  auto* sized = AAX_QueryInterface<AAX_IEffectParametersV5>(
      static_cast<AAX_IEffectParametersV4*>(&plug), IID_AAX_EffectParametersV5);
  ASSERT_NE(sized, nullptr);

  MoveAway(plug);
  const std::vector<double> moved = Values(plug);
  Record oversized(kAAX_ChunkHeaderSize + 16, 1 << 20);
  std::memcpy(oversized.Data(), defaults.Data(), 16);
  ASSERT_EQ(
      sized->SetChunkSized(kChunkID, oversized.Chunk(), static_cast<uint32_t>(oversized.Size())),
      AAX_SUCCESS);
  EXPECT_EQ(Values(plug)[0], defaultValues[0]);
  EXPECT_EQ(Values(plug)[2], moved[2]);

  Record lying(kAAX_ChunkHeaderSize + 40, 96);
  std::memcpy(lying.Data(), defaults.Data(), 40);
  AAX_CBoolean equal = 1;
  EXPECT_EQ(
      sized->CompareActiveChunkSized(lying.Chunk(), static_cast<uint32_t>(lying.Size()), &equal),
      AAX_SUCCESS);
  EXPECT_FALSE(equal);
  sized->Release();
}

// A restore tells the host every value in the normalized range and the host echoes it back;
// converting the echo to a plain value again could move its last bit, and that bit would be
// saved. Values spread over the range find such cases on every parameter with a taper.
TEST(AaxChunks, TheHostsEchoOfARestoreKeepsTheStateExact) {
  Instance source(new RecordingCorvane);
  Instance target(new RecordingCorvane);
  target.EchoSetValueRequests();
  iplug::IPlugAAX& plug = source.Plug();
  std::mt19937 random(7);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int round = 0; round < 5000; ++round) {
    for (int i = 0; i < plug.NParams() - 1; ++i)
      plug.UpdateParameterNormalizedValue(plug.ParamID(i), unit(random), 1);
    Record saved = GetChunk(plug);
    ASSERT_EQ(target.Plug().SetChunk(kChunkID, saved.Chunk()), AAX_SUCCESS);
    Record again = GetChunk(target.Plug());
    ASSERT_EQ(std::memcmp(saved.Data(), again.Data(), 96), 0) << "round " << round;
  }
}

// A host may restore a session's chunk before it initializes the instance. The host-facing
// parameters are made at initialization; from then on they must read the restored values, not
// the defaults, and the processor must run with them.
TEST(AaxChunks, AChunkSetBeforeInitializationIsWhatTheHostReadsAfterIt) {
  Record saved(0, 0);
  {
    Instance source(new RecordingCorvane);
    iplug::IPlugAAX& plug = source.Plug();
    plug.UpdateParameterNormalizedValue("9", 0.3, 1);   // Gain 18 dB
    plug.UpdateParameterNormalizedValue("12", 1.0, 1);  // Oversampling on
    saved = GetChunk(plug);
  }
  auto* plug = new RecordingCorvane;
  ASSERT_EQ(plug->SetChunk(kChunkID, saved.Chunk()), AAX_SUCCESS);
  Instance instance(plug, 48000.0f);
  double gain = -1.0;
  ASSERT_EQ(plug->GetParameterNormalizedValue("9", &gain), AAX_SUCCESS);
  EXPECT_DOUBLE_EQ(gain, 0.3);
  AAX_CString text;
  ASSERT_EQ(plug->GetParameterValueString("9", &text, 32), AAX_SUCCESS);
  EXPECT_EQ(text.StdString(), "18.00dB");
  double oversampling = -1.0;
  plug->GetParameterNormalizedValue("12", &oversampling);
  EXPECT_EQ(oversampling, 1.0);
  EXPECT_TRUE(plug->Engine().OversamplingActive());
  EXPECT_EQ(instance.Host().GetController().Latency(), plug->GetLatency());
  EXPECT_GT(plug->GetLatency(), 0);
  EXPECT_TRUE(Equal(*plug, saved.Chunk()));
}
