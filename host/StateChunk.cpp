#include "host/StateChunk.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

#include "host/AudioFile.h"
#include "host/HostError.h"

namespace corvane::host {

namespace fs = std::filesystem;

namespace {

constexpr size_t kNameOffset = 24;
constexpr size_t kNameBytes = 32;

void PutLE(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t GetLE(const std::vector<uint8_t>& bytes, size_t offset) {
  uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
  return value;
}

std::string Quoted(const std::string& text) {
  std::string quoted(1, '\'');
  quoted.append(text).push_back('\'');
  return quoted;
}

}  // namespace

std::string DescribeTypeID(uint32_t id) {
  std::string text = "'";
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto c = static_cast<unsigned char>(id >> shift);
    text.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  }
  char hex[16];
  std::snprintf(hex, sizeof hex, "' (0x%08X)", id);
  return text + hex;
}

std::vector<uint8_t> SerializeChunk(const ChunkRecord& record) {
  std::vector<uint8_t> bytes(kChunkHeaderBytes + record.data.size(), 0);
  PutLE(bytes, 0, static_cast<uint32_t>(record.data.size()));
  PutLE(bytes, 4, static_cast<uint32_t>(record.version));
  PutLE(bytes, 8, record.manufacturerID);
  PutLE(bytes, 12, record.productID);
  PutLE(bytes, 16, record.pluginID);
  PutLE(bytes, 20, record.chunkID);
  // The last byte of the name field always stays 0, so the name is terminated for any reader.
  const size_t nameLength = std::min(record.name.size(), kMaxChunkNameLength);
  std::copy_n(record.name.begin(), nameLength, bytes.begin() + kNameOffset);
  std::copy(record.data.begin(), record.data.end(), bytes.begin() + kChunkHeaderBytes);
  return bytes;
}

ChunkRecord ParseChunk(const std::vector<uint8_t>& bytes, const std::string& source) {
  if (bytes.size() < kChunkHeaderBytes)
    throw HostError(Quoted(source) + " is no state chunk: " + std::to_string(bytes.size()) +
                    " bytes, shorter than the " + std::to_string(kChunkHeaderBytes) +
                    "-byte chunk header");
  const auto announced = static_cast<int32_t>(GetLE(bytes, 0));
  const size_t present = bytes.size() - kChunkHeaderBytes;
  if (announced < 0)
    throw HostError(Quoted(source) + " is no state chunk: its header announces " +
                    std::to_string(announced) + " bytes of data");
  if (static_cast<size_t>(announced) > present)
    throw HostError(Quoted(source) + " is truncated: its header announces " +
                    std::to_string(announced) + " bytes of data, " + std::to_string(present) +
                    " follow");
  if (static_cast<size_t>(announced) < present)
    throw HostError(Quoted(source) + " does not match its header: " + std::to_string(present) +
                    " bytes of data follow the header, which announces " +
                    std::to_string(announced));

  ChunkRecord record;
  record.version = static_cast<int32_t>(GetLE(bytes, 4));
  record.manufacturerID = GetLE(bytes, 8);
  record.productID = GetLE(bytes, 12);
  record.pluginID = GetLE(bytes, 16);
  record.chunkID = GetLE(bytes, 20);
  const auto nameBegin = bytes.begin() + kNameOffset;
  record.name.assign(nameBegin, std::find(nameBegin, nameBegin + kNameBytes, 0));
  record.data.assign(bytes.begin() + kChunkHeaderBytes, bytes.end());
  return record;
}

ChunkRecord ReadChunkFile(const fs::path& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) throw HostError(Quoted(path.string()) + " is a directory");
  std::ifstream file(path, std::ios::binary);
  if (!file) throw HostError("cannot read " + Quoted(path.string()) + ": " + std::strerror(errno));
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
  if (file.bad()) throw HostError("cannot read " + Quoted(path.string()));
  return ParseChunk(bytes, path.string());
}

AtomicFileWriter::AtomicFileWriter(const fs::path& target) : mTarget(target) {
  std::error_code ec;
  if (fs::is_directory(target, ec)) throw HostError(Quoted(target.string()) + " is a directory");
  mFd = CreateTemporaryNextTo(target, mTemporary);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (!mCommitted) Discard();
}

void AtomicFileWriter::Write(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(mFd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0)
      throw HostError(kExitFailure,
                      "cannot write " + Quoted(mTarget.string()) + ": " + std::strerror(errno));
    done += static_cast<size_t>(n);
  }
}

void AtomicFileWriter::Commit() {
  if (::close(mFd) != 0) {
    mFd = -1;
    throw HostError(kExitFailure,
                    "cannot write " + Quoted(mTarget.string()) + ": " + std::strerror(errno));
  }
  mFd = -1;
  std::error_code ec;
  fs::rename(mTemporary, mTarget, ec);
  if (ec)
    throw HostError(kExitFailure,
                    "cannot create " + Quoted(mTarget.string()) + ": " + ec.message());
  mCommitted = true;
}

void AtomicFileWriter::Discard() noexcept {
  if (mFd >= 0) {
    ::close(mFd);
    mFd = -1;
  }
  std::error_code ec;
  if (!mTemporary.empty()) fs::remove(mTemporary, ec);
}

}  // namespace corvane::host
