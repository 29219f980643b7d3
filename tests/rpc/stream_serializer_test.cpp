// The byte encoding of every value kind, both ways, and every way a read can fail.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ROClassRegistry.h"
#include "ROExceptions.h"
#include "ROStreamSerializer.h"
#include "UpdaterServiceLibrary_Types.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes Text(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

Bytes Le32(uint32_t value) {
  return {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
}

// A length-prefixed string as the encoding writes it.
Bytes Str(std::string_view text) {
  return Concat({Le32(static_cast<uint32_t>(text.size())), Text(text)});
}

template <class Write>
Bytes Encode(Write write) {
  Bytes bytes;
  TROStreamSerializer serializer(bytes);
  write(serializer);
  return bytes;
}

class StreamSerializerTest : public ::testing::Test {
 protected:
  TUpdaterServiceTypesRegistration registration;
};

// ---- writing and reading each value kind ----

struct KindCase {
  const char* label;
  std::function<void(TROSerializer&)> write;
  Bytes bytes;
  std::function<void(TROSerializer&)> readAndCheck;
};

TEST_F(StreamSerializerTest, EveryValueKindHasItsExactBytesBothWays) {
  const std::string cp1250("\x8A\x9A\xE8", 3);  // "Ššč" in code page 1250, kept as bytes
  const std::vector<KindCase> cases = {
      {"empty string", [](TROSerializer& s) { s.WriteAnsiString("v", ""); }, Le32(0),
       [](TROSerializer& s) { EXPECT_EQ(s.ReadAnsiString("v"), ""); }},
      {"string",
       [](TROSerializer& s) { s.WriteAnsiString("v", "App.exe"); },
       {0x07, 0, 0, 0, 'A', 'p', 'p', '.', 'e', 'x', 'e'},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadAnsiString("v"), "App.exe"); }},
      {"code page 1250 string",
       [&](TROSerializer& s) { s.WriteAnsiString("v", cp1250); },
       {0x03, 0, 0, 0, 0x8A, 0x9A, 0xE8},
       [&](TROSerializer& s) { EXPECT_EQ(s.ReadAnsiString("v"), cp1250); }},
      {"wide string",
       [](TROSerializer& s) { s.WriteWideString("v", u"Oš"); },
       {0x02, 0, 0, 0, 'O', 0x00, 0x61, 0x01},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadWideString("v"), u"Oš"); }},
      {"empty wide string", [](TROSerializer& s) { s.WriteWideString("v", u""); }, Le32(0),
       [](TROSerializer& s) { EXPECT_EQ(s.ReadWideString("v"), u""); }},
      {"integer",
       [](TROSerializer& s) { s.WriteInteger("v", -2); },
       {0xFE, 0xFF, 0xFF, 0xFF},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadInteger("v"), -2); }},
      {"int64",
       [](TROSerializer& s) { s.WriteInt64("v", 1048577); },
       {0x01, 0x00, 0x10, 0x00, 0x00, 0x00, 0x00, 0x00},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadInt64("v"), 1048577); }},
      {"negative int64",
       [](TROSerializer& s) { s.WriteInt64("v", INT64_MIN); },
       {0, 0, 0, 0, 0, 0, 0, 0x80},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadInt64("v"), INT64_MIN); }},
      {"boolean true",
       [](TROSerializer& s) { s.WriteBoolean("v", true); },
       {1, 0, 0, 0},
       [](TROSerializer& s) { EXPECT_TRUE(s.ReadBoolean("v")); }},
      {"boolean false",
       [](TROSerializer& s) { s.WriteBoolean("v", false); },
       {0, 0, 0, 0},
       [](TROSerializer& s) { EXPECT_FALSE(s.ReadBoolean("v")); }},
      {"date-time",
       [](TROSerializer& s) { s.WriteDateTime("v", 41263.5); },
       {0x00, 0x00, 0x00, 0x00, 0xF0, 0x25, 0xE4, 0x40},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadDateTime("v"), 41263.5); }},
      {"absent binary",
       [](TROSerializer& s) { s.WriteBinary("v", nullptr); },
       {0},
       [](TROSerializer& s) {
         auto held = std::make_unique<TROBinaryMemoryStream>(std::string_view("old"));
         s.ReadBinary("v", held);
         EXPECT_EQ(held, nullptr);
       }},
      {"empty binary",
       [](TROSerializer& s) {
         TROBinaryMemoryStream empty;
         s.WriteBinary("v", &empty);
       },
       {1, 0, 0, 0, 0},
       [](TROSerializer& s) {
         std::unique_ptr<TROBinaryMemoryStream> held;
         s.ReadBinary("v", held);
         ASSERT_NE(held, nullptr);
         EXPECT_EQ(held->Size(), 0u);
       }},
      {"binary written from its start whatever its position",
       [](TROSerializer& s) {
         TROBinaryMemoryStream stream(std::string_view("abc"));
         stream.SetPosition(2);
         s.WriteBinary("v", &stream);
       },
       {1, 3, 0, 0, 0, 'a', 'b', 'c'},
       [](TROSerializer& s) {
         auto held = std::make_unique<TROBinaryMemoryStream>(std::string_view("old content"));
         s.ReadBinary("v", held);
         ASSERT_NE(held, nullptr);
         EXPECT_EQ(held->ToString(), "abc");
         EXPECT_EQ(held->Position(), 0u);
       }},
      {"absent record",
       [](TROSerializer& s) { s.WriteStruct<WS_Applications>("v", nullptr); },
       {0},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadStruct<WS_Applications>("v"), nullptr); }},
      {"record with a wide string field",
       [](TROSerializer& s) {
         WS_Applications app;
         app.aktivan = "D";
         app.opis = std::u16string(1, u'Ž');
         app.uid_applications = "A1";
         s.WriteStruct("v", &app);
       },
       Concat({{1},
               Str("WS_Applications"),
               Str("D"),
               Str(""),
               Str(""),
               {1, 0, 0, 0, 0x7D, 0x01},
               Str("A1")}),
       [](TROSerializer& s) {
         auto app = s.ReadStruct<WS_Applications>("v");
         ASSERT_NE(app, nullptr);
         EXPECT_EQ(app->aktivan, "D");
         EXPECT_EQ(app->opis, u"Ž");
         EXPECT_EQ(app->uid_applications, "A1");
       }},
      {"absent array",
       [](TROSerializer& s) { s.WriteArray<WS_Array_Of_Applications>("v", nullptr); },
       {0},
       [](TROSerializer& s) {
         auto held = std::make_unique<WS_Array_Of_Applications>();
         held->AddNew();
         s.ReadArray("v", held);
         EXPECT_EQ(held, nullptr);
       }},
      {"empty array",
       [](TROSerializer& s) {
         WS_Array_Of_Applications empty;
         s.WriteArray("v", &empty);
       },
       {1, 0, 0, 0, 0},
       [](TROSerializer& s) {
         std::unique_ptr<WS_Array_Of_Applications> held;
         s.ReadArray("v", held);
         ASSERT_NE(held, nullptr);
         EXPECT_EQ(held->Count(), 0);
       }},
      {"array with an empty slot",
       [](TROSerializer& s) {
         WS_Array_Of_Applications list;
         list.Add(nullptr);
         list.AddNew().aktivan = "N";
         s.WriteArray("v", &list);
       },
       Concat({{1},
               Le32(2),
               {0},
               {1},
               Str("WS_Applications"),
               Str("N"),
               Str(""),
               Str(""),
               Le32(0),
               Str("")}),
       [](TROSerializer& s) {
         // A present array refills the object the reference holds.
         auto held = std::make_unique<WS_Array_Of_Applications>();
         for (int i = 0; i < 5; ++i) held->AddNew();
         const WS_Array_Of_Applications* before = held.get();
         s.ReadArray("v", held);
         ASSERT_EQ(held.get(), before);
         ASSERT_EQ(held->Count(), 2);
         EXPECT_EQ(held->Items(0), nullptr);
         ASSERT_NE(held->Items(1), nullptr);
         EXPECT_EQ(held->Items(1)->aktivan, "N");
       }},
  };
  for (const KindCase& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(Encode(c.write), c.bytes);
    TROStreamSerializer reader(c.bytes);
    c.readAndCheck(reader);
    EXPECT_EQ(reader.Remaining(), 0u) << "the read must consume exactly the value";
  }
}

TEST_F(StreamSerializerTest, LenientReadsOfLengthsPresenceAndBooleans) {
  struct Case {
    const char* label;
    Bytes bytes;
    std::function<void(TROSerializer&)> readAndCheck;
    size_t consumed;
  };
  const std::vector<Case> cases = {
      {"negative string length is the empty string",
       {0xFF, 0xFF, 0xFF, 0xFF, 'x', 'y'},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadAnsiString("v"), ""); },
       4},
      {"most negative string length",
       {0x00, 0x00, 0x00, 0x80, 'x'},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadAnsiString("v"), ""); },
       4},
      {"negative wide string length",
       {0xFE, 0xFF, 0xFF, 0xFF, 'x', 0},
       [](TROSerializer& s) { EXPECT_EQ(s.ReadWideString("v"), u""); },
       4},
      {"boolean: only the first byte counts (true)",
       {0x01, 0x00, 0x00, 0x00},
       [](TROSerializer& s) { EXPECT_TRUE(s.ReadBoolean("v")); },
       4},
      {"boolean: only the first byte counts (false)",
       {0x00, 0x01, 0x01, 0x01},
       [](TROSerializer& s) { EXPECT_FALSE(s.ReadBoolean("v")); },
       4},
      {"any non-zero presence byte means present",
       {0x7F, 0x01, 0x00, 0x00, 0x00, 'z'},
       [](TROSerializer& s) {
         std::unique_ptr<TROBinaryMemoryStream> held;
         s.ReadBinary("v", held);
         ASSERT_NE(held, nullptr);
         EXPECT_EQ(held->ToString(), "z");
       },
       6},
      {"a string of exactly the stream's size is not refused by the size test", Le32(4),
       [](TROSerializer& s) {
         EXPECT_THROW(
             {
               try {
                 s.ReadAnsiString("v");
               } catch (const EROStreamError& e) {
                 EXPECT_STREQ(e.what(), "Stream read error");
                 throw;
               }
             },
             EROStreamError);
       },
       4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    TROStreamSerializer reader(c.bytes);
    c.readAndCheck(reader);
    EXPECT_EQ(reader.Position(), c.consumed);
  }
}

// ---- read errors ----

struct ErrorCase {
  const char* label;
  Bytes bytes;
  std::function<void(TROSerializer&)> read;
  std::string message;
};

template <class E>
void ExpectError(const ErrorCase& c, const TROClassRegistry& registry) {
  SCOPED_TRACE(c.label);
  TROStreamSerializer reader(c.bytes, registry);
  try {
    c.read(reader);
    ADD_FAILURE() << "no error raised";
  } catch (const E& e) {
    EXPECT_EQ(e.what(), c.message);
  } catch (const std::exception& e) {
    ADD_FAILURE() << "wrong exception type: " << e.what();
  }
}

TEST_F(StreamSerializerTest, TruncatedAndOversizedValuesFailWithTheirMessages) {
  const auto readString = [](TROSerializer& s) { s.ReadAnsiString("v"); };
  const auto readWide = [](TROSerializer& s) { s.ReadWideString("v"); };
  const auto readBinary = [](TROSerializer& s) {
    std::unique_ptr<TROBinaryMemoryStream> held;
    s.ReadBinary("v", held);
  };
  const auto readArray = [](TROSerializer& s) {
    std::unique_ptr<WS_Array_Of_Files_executables> held;
    s.ReadArray("v", held);
  };
  const std::vector<ErrorCase> cases = {
      {"string longer than the whole stream", Concat({Le32(10), Text("ab")}), readString,
       "Stream read error: Invalid string length \"10\""},
      // 8 bytes fit the 12-byte stream but only 4 remain after the integer read first.
      {"string that fits the stream size but runs past the end",
       Concat({Le32(7), Le32(8), Text("abcd")}),
       [](TROSerializer& s) {
         s.ReadInteger("n");
         s.ReadAnsiString("v");
       },
       "Stream read error"},
      {"huge string length", Le32(0x7FFFFFFF), readString,
       "Stream read error: Invalid string length \"2147483647\""},
      {"wide string whose bytes exceed the stream", Concat({Le32(3), Text("a")}), readWide,
       "Stream read error: Invalid string length \"3\""},
      {"wide string that fits the size but not the rest", Concat({Le32(2), Text("ab")}), readWide,
       "Stream read error"},
      {"wide string length whose byte count overflows 32 bits", Le32(0x7FFFFFFF), readWide,
       "Stream read error: Invalid string length \"2147483647\""},
      {"length prefix cut short", {0x01, 0x00}, readString, "Stream read error"},
      {"integer cut short",
       {1, 2, 3},
       [](TROSerializer& s) { s.ReadInteger("v"); },
       "Stream read error"},
      {"int64 cut short",
       {1, 2, 3, 4, 5, 6, 7},
       [](TROSerializer& s) { s.ReadInt64("v"); },
       "Stream read error"},
      {"date-time cut short",
       {1, 2, 3, 4},
       [](TROSerializer& s) { s.ReadDateTime("v"); },
       "Stream read error"},
      {"boolean cut short", {1}, [](TROSerializer& s) { s.ReadBoolean("v"); }, "Stream read error"},
      {"nothing at all", {}, readBinary, "Stream read error"},
      {"binary longer than the whole stream", Concat({{1}, Le32(0xFFFFFFFF)}), readBinary,
       "Stream read error: Invalid string length \"4294967295\""},
      {"binary that fits the size but not the rest", Concat({{1}, Le32(6), Text("ab")}), readBinary,
       "Stream read error"},
      {"array count at 2^31", Concat({{1}, Le32(0x80000000)}), readArray,
       "Stream read error: Invalid array count \"2147483648\""},
      {"array count the remaining bytes cannot hold", Concat({{1}, Le32(4), {0, 0, 0}}), readArray,
       "Stream read error: Invalid array count \"4\""},
      {"array whose entries run out", Concat({{1}, Le32(2), {0}, {1}}), readArray,
       "Stream read error"},
  };
  for (const ErrorCase& c : cases) ExpectError<EROStreamError>(c, TROClassRegistry::Global());
}

TEST_F(StreamSerializerTest, RecordsOfUnknownOrUnrelatedClassesAreRefused) {
  const auto readExe = [](TROSerializer& s) { s.ReadStruct<WS_Files_executables>("v"); };
  ExpectError<EROUnknownClass>({"unknown class", Concat({{1}, Str("WS_Nothing")}), readExe,
                                "Unknown class \"WS_Nothing\" found in stream."},
                               TROClassRegistry::Global());
  ExpectError<EROUnexpectedClass>(
      {"class of another record type", Concat({{1}, Str("ws_applications")}), readExe,
       "Unexpected class found in stream; class \"ws_applications\" does not descend from "
       "\"WS_Files_executables\"."},
      TROClassRegistry::Global());
  ExpectError<EROUnexpectedClass>(
      {"array class where a record is expected",
       Concat({{1}, Str("WS_Array_Of_Files_executables")}), readExe,
       "Unexpected class found in stream; class \"WS_Array_Of_Files_executables\" does not "
       "descend from \"WS_Files_executables\"."},
      TROClassRegistry::Global());
  // A class that is known to the program but not registered is unknown to the reader.
  TROClassRegistry empty;
  ExpectError<EROUnknownClass>({"registered nowhere", Concat({{1}, Str("WS_Files_executables")}),
                                readExe, "Unknown class \"WS_Files_executables\" found in stream."},
                               empty);
}

// A record class whose name is exactly as long as the reader allows, and one a byte longer.
template <size_t Length>
class LongNamedRecord : public WS_Applications {
 public:
  static const TROClassInfo& StaticClass() {
    static const std::string name(Length, 'L');
    static const TROClassInfo info{name, &WS_Applications::StaticClass(),
                                   &ROCreateInstance<LongNamedRecord>};
    return info;
  }
  const TROClassInfo& ClassInfo() const override { return StaticClass(); }
};

TEST_F(StreamSerializerTest, ClassNamesLongerThan256BytesFailEvenWhenTheClassExists) {
  TROClassRegistry registry;
  registry.Register(LongNamedRecord<256>::StaticClass());
  registry.Register(LongNamedRecord<257>::StaticClass());

  LongNamedRecord<256> fits;
  fits.uid_applications = "ok";
  const Bytes fitting =
      Encode([&](TROSerializer& s) { s.WriteStruct<WS_Applications>("v", &fits); });
  TROStreamSerializer reader(fitting, registry);
  auto read = reader.ReadStruct<WS_Applications>("v");
  ASSERT_NE(read, nullptr);
  EXPECT_EQ(read->ClassInfo().name.size(), 256u);
  EXPECT_EQ(read->uid_applications, "ok");

  LongNamedRecord<257> tooLong;
  const Bytes refused =
      Encode([&](TROSerializer& s) { s.WriteStruct<WS_Applications>("v", &tooLong); });
  ExpectError<EROStreamError>({"class name of 257 bytes", refused,
                               [](TROSerializer& s) { s.ReadStruct<WS_Applications>("v"); },
                               "Stream read error: Invalid string length \"257\""},
                              registry);
}

// A descendant of a service record, registered under its own name.
class ExtendedExecutable : public WS_Files_executables {
 public:
  static const TROClassInfo& StaticClass() {
    static const TROClassInfo info{"Test_Extended_executable", &WS_Files_executables::StaticClass(),
                                   &ROCreateInstance<ExtendedExecutable>};
    return info;
  }
  const TROClassInfo& ClassInfo() const override { return StaticClass(); }
};

TEST_F(StreamSerializerTest, ADescendantOfTheExpectedClassIsCreatedAsItself) {
  TROClassRegistry::Global().Register(ExtendedExecutable::StaticClass());
  ExtendedExecutable record;
  record.file_name = "x.exe";
  const Bytes bytes =
      Encode([&](TROSerializer& s) { s.WriteStruct<WS_Files_executables>("v", &record); });
  EXPECT_EQ(Bytes(bytes.begin() + 5, bytes.begin() + 5 + 24), Text("Test_Extended_executable"));

  TROStreamSerializer reader(bytes);
  auto read = reader.ReadStruct<WS_Files_executables>("v");
  TROClassRegistry::Global().Unregister(ExtendedExecutable::StaticClass());
  ASSERT_NE(read, nullptr);
  EXPECT_NE(dynamic_cast<ExtendedExecutable*>(read.get()), nullptr);
  EXPECT_EQ(read->file_name, "x.exe");
}

TEST_F(StreamSerializerTest, AFailedReadLeavesTheCallersReferenceAsItWas) {
  // Binary: present, but cut short.
  auto stream = std::make_unique<TROBinaryMemoryStream>(std::string_view("kept"));
  const TROBinaryMemoryStream* before = stream.get();
  const Bytes shortBinary = Concat({{1}, Le32(3), Text("ab")});
  TROStreamSerializer binaryReader(shortBinary);
  EXPECT_THROW(binaryReader.ReadBinary("v", stream), EROStreamError);
  ASSERT_EQ(stream.get(), before);
  EXPECT_EQ(stream->ToString(), "kept");

  // Array with a refused count: the array is not resized.
  auto list = std::make_unique<WS_Array_Of_Files_executables>();
  list->AddNew().file_name = "a";
  const Bytes badCount = Concat({{1}, Le32(100), {0}});
  TROStreamSerializer arrayReader(badCount);
  EXPECT_THROW(arrayReader.ReadArray("v", list), EROStreamError);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->Count(), 1);
  EXPECT_EQ(list->Items(0)->file_name, "a");
}

TEST_F(StreamSerializerTest, WritesAppendToAStringSinkAndReadersRefuseToWrite) {
  std::string sink = "head";
  TROStreamSerializer writer(sink);
  writer.WriteAnsiString("v", "ab");
  EXPECT_EQ(sink, std::string("head\x02\0\0\0ab", 10));
  EXPECT_EQ(writer.Position(), 6u);
  EXPECT_THROW(writer.ReadInteger("v"), EROException);

  const Bytes bytes = Le32(1);
  TROStreamSerializer reader(bytes);
  EXPECT_THROW(reader.WriteInteger("v", 1), EROException);
  EXPECT_EQ(reader.ReadInteger("v"), 1);
}

}  // namespace
