#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace corvane::host {

/**
 * A plug-in state as a host keeps it: the host's header (who wrote it, under which chunk ID)
 * and the plug-in's opaque data. In a file it is the little-endian chunk record the plug-in
 * reads and fills: size, version, manufacturer, product, plug-in ID, chunk ID, a 32-byte
 * zero-terminated name, then the data.
 */
struct ChunkRecord {
  int32_t version = 0;
  uint32_t manufacturerID = 0;
  uint32_t productID = 0;
  uint32_t pluginID = 0;
  uint32_t chunkID = 0;
  std::string name;  ///< at most kMaxChunkNameLength bytes are kept
  std::vector<uint8_t> data;
};

constexpr size_t kChunkHeaderBytes = 56;
constexpr size_t kMaxChunkNameLength = 31;

std::vector<uint8_t> SerializeChunk(const ChunkRecord& record);
/** Throws HostError (usage status) naming `source` when the bytes are no complete record. */
ChunkRecord ParseChunk(const std::vector<uint8_t>& bytes, const std::string& source);
/** Reads and parses a chunk file; throws HostError (usage status). */
ChunkRecord ReadChunkFile(const std::filesystem::path& path);

/** 'jr00' (0x6A723030). */
std::string DescribeTypeID(uint32_t id);

/**
 * Writes a small file through a temporary next to the target, like AudioFileWriter: the target
 * is only replaced by Commit(), and destruction without Commit() leaves no trace.
 */
class AtomicFileWriter {
 public:
  /** Creates the temporary; throws HostError (usage status) when the directory is unwritable. */
  explicit AtomicFileWriter(const std::filesystem::path& target);
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  /** Writes the whole content; throws HostError (failure status). */
  void Write(const std::vector<uint8_t>& bytes);
  /** Renames the temporary over the target; throws HostError (failure status). */
  void Commit();

 private:
  void Discard() noexcept;

  std::filesystem::path mTarget;
  std::filesystem::path mTemporary;
  int mFd = -1;
  bool mCommitted = false;
};

}  // namespace corvane::host
