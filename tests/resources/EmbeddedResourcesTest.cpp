#include "resources/EmbeddedResources.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace iplug::resources;

std::string Resolve(const char* name, const char* type) {
  std::string resolved;
  return FindResource(ModuleResources(), name, type, resolved) ? resolved : "<not found>";
}

std::string Bytes(const char* resolvedName, const char* type) {
  size_t size = 0;
  const uint8_t* data = ResourceBytes(ModuleResources(), resolvedName, type, size);
  if (!data) return size == 0 ? "<missing>" : "<null with a size>";
  return std::string(reinterpret_cast<const char*>(data), size);
}

TEST(EmbeddedResources, EveryFileIsOneEntryNamedByItsUpperCasedFileNameInQuotes) {
  const ResourceTable& table = ModuleResources();
  ASSERT_EQ(table.count, 6u);
  EXPECT_STREQ(table.entries[4].name, "\"KNOB@2X.PNG\"");
  EXPECT_STREQ(table.entries[4].type, "PNG");
  EXPECT_STREQ(table.entries[5].name, "\"LICENSE\"");
  EXPECT_STREQ(table.entries[5].type, "");
  EXPECT_EQ(table.entries[0].size, 17u);
}

TEST(EmbeddedResources, FindsANameAndTypeInAnyCase) {
  EXPECT_EQ(Resolve("knob@2x.png", "png"), "\"KNOB@2X.PNG\"");
  EXPECT_EQ(Resolve("KNOB@2X.PNG", "PNG"), "\"KNOB@2X.PNG\"");
  EXPECT_EQ(Resolve("Knob@2X.pNg", "Png"), "\"KNOB@2X.PNG\"");
  EXPECT_EQ(Resolve("hello.txt", "txt"), "\"HELLO.TXT\"");
}

TEST(EmbeddedResources, FindsNothingForAnotherTypeAFolderQuotesOrAnEmptyName) {
  EXPECT_EQ(Resolve("knob@2x.png", "jpg"), "<not found>");
  EXPECT_EQ(Resolve("knob@2x.png", nullptr), "<not found>");
  EXPECT_EQ(Resolve("knob.png", "png"), "<not found>");
  EXPECT_EQ(Resolve("images/knob@2x.png", "png"), "<not found>");
  // The quotes belong to the table's names, not to the names asked for.
  EXPECT_EQ(Resolve("\"KNOB@2X.PNG\"", "png"), "<not found>");
  EXPECT_EQ(Resolve("", ""), "<not found>");
  EXPECT_EQ(Resolve(nullptr, "png"), "<not found>");
  // A one-character name must not match by the quotes alone.
  EXPECT_EQ(Resolve("\"", ""), "<not found>");

  std::string resolved = "stale";
  EXPECT_FALSE(FindResource(ModuleResources(), "missing.png", "png", resolved));
  EXPECT_EQ(resolved, "");
}

TEST(EmbeddedResources, BytesAreTheFilesOwnByResolvedNameAndType) {
  EXPECT_EQ(Bytes("\"HELLO.TXT\"", "txt"), "Hello, resources\n");
  EXPECT_EQ(Bytes("\"HELLO.TXT\"", "TXT"), "Hello, resources\n");
  EXPECT_EQ(Bytes("\"LICENSE\"", ""), "a file without an extension\n");
  // Bytes are asked for by the resolved name only.
  EXPECT_EQ(Bytes("HELLO.TXT", "txt"), "<missing>");
  EXPECT_EQ(Bytes("\"HELLO.TXT\"", "png"), "<missing>");
  EXPECT_EQ(Bytes(nullptr, "txt"), "<missing>");
}

TEST(EmbeddedResources, SevenBytesOrLessCountAsMissingButCanStillBeFound) {
  EXPECT_EQ(Resolve("tiny.txt", "txt"), "\"TINY.TXT\"");
  EXPECT_EQ(Bytes("\"TINY.TXT\"", "txt"), "<missing>");
  EXPECT_EQ(Bytes("\"SEVEN.BIN\"", "bin"), "<missing>");
  EXPECT_EQ(Bytes("\"EIGHT.BIN\"", "bin"), "12345678");
}

TEST(EmbeddedResources, AnEmptyTableFindsNothing) {
  const ResourceTable empty{nullptr, 0};
  std::string resolved;
  size_t size = 1;
  EXPECT_FALSE(FindResource(empty, "hello.txt", "txt", resolved));
  EXPECT_EQ(ResourceBytes(empty, "\"HELLO.TXT\"", "txt", size), nullptr);
  EXPECT_EQ(size, 0u);
}

// Files beside the program, or in whatever folder it runs in, are never resources: a stray file
// must neither add one nor replace an embedded one.
TEST(EmbeddedResources, AStrayFileInTheWorkingDirectoryIsNeverFoundNorReplacesOne) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / "resources_tests_stray";
  fs::create_directories(dir);
  const fs::path previous = fs::current_path();
  fs::current_path(dir);
  for (const char* name : {"Stray.txt", "STRAY.TXT", "Hello.txt", "HELLO.TXT", "Tiny.txt"})
    std::ofstream(name) << "a file on disk that is not embedded";

  EXPECT_EQ(Resolve("stray.txt", "txt"), "<not found>");
  EXPECT_EQ(Bytes("\"STRAY.TXT\"", "txt"), "<missing>");
  EXPECT_EQ(Bytes("\"HELLO.TXT\"", "txt"), "Hello, resources\n");
  EXPECT_EQ(Bytes("\"TINY.TXT\"", "txt"), "<missing>");

  fs::current_path(previous);
  fs::remove_all(dir);
}

}  // namespace
