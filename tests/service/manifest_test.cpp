// The local manifest file: its exact bytes, reading back, and damaged or missing files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ManifestFile.h"
#include "ROExceptions.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The one-executable manifest: App.exe, 1048577 bytes, version 1.0.0.1, main executable "D",
// identifier A1, uploaded on 20 December 2012 at 12:00.
const Bytes kWorkedExample = {
    0x01, 0x01, 0x00, 0x00, 0x00, 0x01, 0x14, 0x00, 0x00, 0x00, 'W',  'S',  '_',  'F',
    'i',  'l',  'e',  's',  '_',  'e',  'x',  'e',  'c',  'u',  't',  'a',  'b',  'l',
    'e',  's',  0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00, 'A',  'p',  'p',  '.',
    'e',  'x',  'e',  0x01, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00, 0x07, 0x00, 0x00,
    0x00, '1',  '.',  '0',  '.',  '0',  '.',  '1',  0x01, 0x00, 0x00, 0x00, 'D',  0x02,
    0x00, 0x00, 0x00, 'A',  '1',  0x00, 0x00, 0x00, 0x00, 0xF0, 0x25, 0xE4, 0x40};

std::unique_ptr<WS_Files_executables> WorkedExampleEntry() {
  auto exe = std::make_unique<WS_Files_executables>();
  exe->file_name = "App.exe";
  exe->file_size = 1048577;
  exe->file_version = "1.0.0.1";
  exe->is_main_exe = "D";
  exe->uid_files_executables = "A1";
  exe->upload_date = 41263.5;
  return exe;
}

class ManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "tv-manifest-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir = pattern;
    path = dir / "A1.kvx";
  }
  void TearDown() override { fs::remove_all(dir); }

  void WriteFile(const fs::path& file, const Bytes& bytes) const {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
  }
  Bytes ReadFile(const fs::path& file) const {
    std::ifstream in(file, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  TUpdaterServiceTypesRegistration registration;
  fs::path dir;
  fs::path path;
};

void ExpectWorkedExampleEntry(const WS_Files_executables* exe) {
  ASSERT_NE(exe, nullptr);
  EXPECT_EQ(exe->file_description, "");
  EXPECT_EQ(exe->file_name, "App.exe");
  EXPECT_EQ(exe->file_size, 1048577);
  EXPECT_EQ(exe->file_version, "1.0.0.1");
  EXPECT_EQ(exe->is_main_exe, "D");
  EXPECT_EQ(exe->uid_files_executables, "A1");
  EXPECT_EQ(exe->upload_date, 41263.5);
}

TEST_F(ManifestTest, TheWorkedExampleIsWrittenAndReadByteForByte) {
  WS_Array_Of_Files_executables list;
  list.Add(WorkedExampleEntry());
  SaveManifest(path, list);
  EXPECT_EQ(ReadFile(path), kWorkedExample);
  EXPECT_FALSE(fs::exists(dir / "A1.kvx.tmp"));

  WriteFile(path, kWorkedExample);
  auto loaded = LoadManifest(path);
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->Count(), 1);
  ExpectWorkedExampleEntry(loaded->Items(0));
}

TEST_F(ManifestTest, ToleratedVariationsOfAStoredFile) {
  Bytes lowerCase = kWorkedExample;
  for (size_t i = 10; i < 30; ++i) lowerCase[i] = static_cast<uint8_t>(std::tolower(lowerCase[i]));
  Bytes trailing = kWorkedExample;
  trailing.insert(trailing.end(), {0xDE, 0xAD, 0xBE, 0xEF, 0x00});
  for (const auto& [label, bytes] : {std::pair{"lower-case class name", lowerCase},
                                     std::pair{"bytes after the last entry", trailing}}) {
    SCOPED_TRACE(label);
    WriteFile(path, bytes);
    auto loaded = LoadManifest(path);
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->Count(), 1);
    EXPECT_EQ(loaded->Items(0)->ClassName(), "WS_Files_executables");
    ExpectWorkedExampleEntry(loaded->Items(0));
  }
}

TEST_F(ManifestTest, EmptyListAndNoList) {
  SaveManifest(path, WS_Array_Of_Files_executables());
  EXPECT_EQ(ReadFile(path), (Bytes{0x01, 0x00, 0x00, 0x00, 0x00}));
  auto empty = LoadManifest(path);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(empty->Count(), 0);

  for (const Bytes& absent : {Bytes{0x00}, Bytes{0x00, 0x01, 0x00, 0x00, 0x00}}) {
    WriteFile(path, absent);
    EXPECT_EQ(LoadManifest(path), nullptr);
  }
}

TEST_F(ManifestTest, ARealManifestRoundTripsWithEmptySlotsAndForeignText) {
  WS_Array_Of_Files_executables list;
  list.Add(WorkedExampleEntry());
  list.Add(nullptr);
  WS_Files_executables& second = list.AddNew();
  second.file_name = "lib\\Izve\x9Ataj.dll";  // code page 1250 bytes stay as they are
  second.file_description = std::string("opis \0 s nulom", 14);
  second.file_size = -1;
  second.upload_date = -0.25;
  SaveManifest(path, list);
  auto loaded = LoadManifest(path);
  ASSERT_NE(loaded, nullptr);
  ASSERT_EQ(loaded->Count(), 3);
  ExpectWorkedExampleEntry(loaded->Items(0));
  EXPECT_EQ(loaded->Items(1), nullptr);
  const WS_Files_executables* read = loaded->Items(2);
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->file_name, second.file_name);
  EXPECT_EQ(read->file_description, second.file_description);
  EXPECT_EQ(read->file_size, -1);
  EXPECT_EQ(read->upload_date, -0.25);

  // Saving again replaces the whole file, also with a shorter list.
  list.Delete(2);
  list.Delete(1);
  SaveManifest(path, list);
  EXPECT_EQ(ReadFile(path), kWorkedExample);
}

TEST_F(ManifestTest, EveryTruncationOfARealManifestFailsCleanly) {
  WS_Array_Of_Files_executables list;
  list.Add(WorkedExampleEntry());
  list.Add(nullptr);
  list.AddNew().file_description = "drugi";
  SaveManifest(path, list);
  const Bytes whole = ReadFile(path);
  for (size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE("truncated to " + std::to_string(length) + " bytes");
    WriteFile(path, Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length)));
    try {
      LoadManifest(path);
      ADD_FAILURE() << "a truncated manifest was accepted";
    } catch (const EROStreamError& e) {
      const std::string message = e.what();
      EXPECT_TRUE(message == "Stream read error" ||
                  message.rfind("Stream read error: Invalid ", 0) == 0)
          << message;
    }
  }
}

TEST_F(ManifestTest, EveryDamagedByteEitherReadsOrFailsCleanly) {
  WS_Array_Of_Files_executables list;
  list.Add(WorkedExampleEntry());
  list.Add(nullptr);
  list.AddNew().file_description = "drugi";
  SaveManifest(path, list);
  const Bytes whole = ReadFile(path);
  for (size_t position = 0; position < whole.size(); ++position) {
    for (const uint8_t value : {0x00, 0x7F, 0x80, 0xFF}) {
      Bytes damaged = whole;
      damaged[position] = value;
      WriteFile(path, damaged);
      try {
        LoadManifest(path);  // a damaged string byte is still a readable manifest
      } catch (const EROException&) {
        // refused in an orderly way
      } catch (const std::exception& e) {
        ADD_FAILURE() << "byte " << position << " = " << int(value) << ": " << e.what();
      }
    }
  }
}

TEST_F(ManifestTest, DamagedContentFailsWithTheDecodersMessage) {
  Bytes unknown = kWorkedExample;
  unknown[10] = 'X';  // "XS_Files_executables"
  WriteFile(path, unknown);
  try {
    LoadManifest(path);
    ADD_FAILURE() << "an unknown class was accepted";
  } catch (const EROUnknownClass& e) {
    EXPECT_STREQ(e.what(), "Unknown class \"XS_Files_executables\" found in stream.");
  }

  Bytes hugeCount = {0x01, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00};
  WriteFile(path, hugeCount);
  EXPECT_THROW(LoadManifest(path), EROStreamError);
}

TEST_F(ManifestTest, FilesThatCannotBeReadOrWrittenRaiseFileErrors) {
  EXPECT_THROW(LoadManifest(dir / "missing.kvx"), EROFileError);
  EXPECT_THROW(LoadManifest(dir), EROException);  // a folder is no manifest
  EXPECT_THROW(SaveManifest(dir / "no-such-folder" / "A1.kvx", WS_Array_Of_Files_executables()),
               EROFileError);
  EXPECT_FALSE(fs::exists(dir / "no-such-folder"));
}

TEST_F(ManifestTest, AFailedSaveLeavesTheEarlierManifestWhole) {
  WriteFile(path, kWorkedExample);
  // Something occupies the name the new content is written to first.
  fs::create_directory(dir / "A1.kvx.tmp");
  EXPECT_THROW(SaveManifest(path, WS_Array_Of_Files_executables()), EROFileError);
  EXPECT_EQ(ReadFile(path), kWorkedExample);
}

}  // namespace
