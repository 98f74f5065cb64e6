#include <gtest/gtest.h>

#include "HostTestSupport.h"
#include "host/HostError.h"
#include "host/StateChunk.h"

namespace {

using corvane::host::ChunkRecord;
using corvane::host::HostError;
using corvane::host::ParseChunk;
using corvane::host::SerializeChunk;

ChunkRecord Sample() {
  ChunkRecord record;
  record.version = 0x00040100;
  record.manufacturerID = 0x506C6D72;  // 'Plmr'
  record.productID = 0x6A723030;       // 'jr00'
  record.pluginID = 0x544D4E32;        // 'TMN2'
  record.chunkID = 0x6A723030;
  record.name = "Corvane";
  record.data = {1, 2, 3, 4, 5};
  return record;
}

std::string ErrorOf(const std::vector<uint8_t>& bytes) {
  try {
    ParseChunk(bytes, "x.chunk");
  } catch (const HostError& e) {
    EXPECT_EQ(e.Status(), 2);
    return e.what();
  }
  ADD_FAILURE() << "accepted " << bytes.size() << " bytes";
  return {};
}

TEST(StateChunk, IsTheLittleEndianRecordAHostHandsThePlugin) {
  const std::vector<uint8_t> bytes = SerializeChunk(Sample());
  ASSERT_EQ(bytes.size(), 56u + 5u);
  const std::vector<uint8_t> header = {5,    0,    0,    0,    0x00, 0x01, 0x04, 0x00,
                                       0x72, 0x6D, 0x6C, 0x50, 0x30, 0x30, 0x72, 0x6A,
                                       0x32, 0x4E, 0x4D, 0x54, 0x30, 0x30, 0x72, 0x6A};
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 24), header);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&bytes[24])), "Corvane");
  EXPECT_EQ(bytes[55], 0);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 56, bytes.end()), Sample().data);

  const ChunkRecord back = ParseChunk(bytes, "x.chunk");
  EXPECT_EQ(back.version, 0x00040100);
  EXPECT_EQ(back.manufacturerID, 0x506C6D72u);
  EXPECT_EQ(back.productID, 0x6A723030u);
  EXPECT_EQ(back.pluginID, 0x544D4E32u);
  EXPECT_EQ(back.chunkID, 0x6A723030u);
  EXPECT_EQ(back.name, "Corvane");
  EXPECT_EQ(back.data, Sample().data);
}

TEST(StateChunk, KeepsTheNameTerminatedWithinItsField) {
  ChunkRecord record = Sample();
  record.name = std::string(40, 'n');
  const std::vector<uint8_t> bytes = SerializeChunk(record);
  EXPECT_EQ(bytes[54], 'n');
  EXPECT_EQ(bytes[55], 0);
  EXPECT_EQ(ParseChunk(bytes, "x").name, std::string(31, 'n'));
}

TEST(StateChunk, RefusesRecordsThatDoNotAddUp) {
  std::vector<uint8_t> bytes = SerializeChunk(Sample());
  EXPECT_NE(ErrorOf(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 55)).find("56-byte"),
            std::string::npos);
  EXPECT_NE(ErrorOf(std::vector<uint8_t>(bytes.begin(), bytes.end() - 1)).find("truncated"),
            std::string::npos);
  std::vector<uint8_t> longer = bytes;
  longer.push_back(0);
  EXPECT_NE(ErrorOf(longer).find("does not match its header"), std::string::npos);
  bytes[3] = 0x80;  // a negative size
  EXPECT_NE(ErrorOf(bytes).find("'x.chunk'"), std::string::npos);
  EXPECT_EQ(ParseChunk(std::vector<uint8_t>(56, 0), "empty").data.size(), 0u);
}

}  // namespace
