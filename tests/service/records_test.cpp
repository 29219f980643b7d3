// The seven records: serialization order, ownership of streams and nested arrays, Assign, and
// what a failed read leaves behind.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "RORecord.h"
#include "ROStreamSerializer.h"
#include "RecordingSerializer.h"
#include "UpdaterServiceLibrary_Types.h"

namespace {

using Call = RecordingSerializer::Call;
using Bytes = std::vector<uint8_t>;

template <class Write>
Bytes Encode(Write write) {
  Bytes bytes;
  TROStreamSerializer serializer(bytes);
  write(serializer);
  return bytes;
}

TEST(FieldOrderTest, NamesCompareWithLettersFoldedAndPrefixesFirst) {
  struct Case {
    std::string_view a, b;
    bool less;
  };
  const Case cases[] = {
      {"uid_applications", "uid_application_locales", true},  // 'S' (83) < '_' (95)
      {"uid_application_locales", "uid_applications", false},
      {"file_size", "file_version", true},
      {"opis", "opis1", true},  // a prefix comes first
      {"opis1", "opis", false},
      {"Aktivan", "aktivan", false},  // equal after folding
      {"aktivan", "Aktivan", false},
      {"Z", "_", true},
      {"z", "_", true},  // folded to 'Z'
      {"_", "a", false},
      {"", "a", true},
      {"a", "", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ROFieldNameLess(c.a, c.b), c.less) << c.a << " < " << c.b;
  }
}

struct OrderCase {
  const char* label;
  std::function<std::unique_ptr<TROComplexType>()> make;
  std::vector<Call> expected;
};

template <class T>
std::unique_ptr<TROComplexType> Make() {
  return std::make_unique<T>();
}

// The order every record's fields travel in, as the server's contract lists it.
const std::vector<OrderCase>& OrderTable() {
  static const std::vector<OrderCase> table = {
      {"WS_Applications",
       Make<WS_Applications>,
       {{"string", "aktivan"},
        {"string", "id_cd_aplikacije"},
        {"string", "naziv_ikonice"},
        {"widestring", "opis"},
        {"string", "uid_applications"}}},
      {"WS_Files_executables",
       Make<WS_Files_executables>,
       {{"string", "file_description"},
        {"string", "file_name"},
        {"int64", "file_size"},
        {"string", "file_version"},
        {"string", "is_main_exe"},
        {"string", "uid_files_executables"},
        {"datetime", "upload_date"}}},
      {"WS_Applications_config_files",
       Make<WS_Applications_config_files>,
       {{"binary", "config_file"},
        {"string", "file_description"},
        {"string", "file_name"},
        {"string", "uid_applications"},
        {"string", "uid_applications_config_files"},
        {"datetime", "update_date"}}},
      {"CD_Lookups",
       Make<CD_Lookups>,
       {{"string", "aktivan"},
        {"string", "opis1"},
        {"string", "opis2"},
        {"string", "uid_cd"},
        {"string", "uid_cd_lookups"},
        {"string", "uid_cd_lookups_tables"}}},
      {"WS_Applications_executables",
       Make<WS_Applications_executables>,
       {{"string", "db_akcija"},
        {"string", "uid_applications"},
        {"string", "uid_applications_executables"},
        {"string", "uid_files_executables"}}},
      {"WS_Application_locales",
       Make<WS_Application_locales>,
       {{"array", "locale_files"},
        {"string", "locale_name"},
        {"string", "uid_applications"},
        {"string", "uid_application_locales"}}},
      {"WS_Locale_files",
       Make<WS_Locale_files>,
       {{"binary", "locale_file"},
        {"string", "locale_file_name"},
        {"string", "uid_application_locales"},
        {"string", "uid_locale_files"}}},
  };
  return table;
}

TEST(RecordTest, ReadAndWriteVisitEveryFieldOnceInSerializationOrder) {
  for (const OrderCase& c : OrderTable()) {
    SCOPED_TRACE(c.label);
    auto record = c.make();
    EXPECT_EQ(record->ClassName(), c.label);
    RecordingSerializer writer;
    record->WriteTo(writer);
    EXPECT_EQ(writer.calls, c.expected);
    RecordingSerializer reader;
    record->ReadFrom(reader);
    EXPECT_EQ(reader.calls, c.expected);
  }
}

TEST(RecordTest, ReadingStoresWhatTheSerializerDelivers) {
  WS_Files_executables exe;
  RecordingSerializer reader;
  exe.ReadFrom(reader);
  EXPECT_EQ(exe.file_name, "r");
  EXPECT_EQ(exe.uid_files_executables, "r");
  EXPECT_EQ(exe.file_size, 7);
  EXPECT_EQ(exe.upload_date, 7.0);

  WS_Application_locales locale;
  locale.ReadFrom(reader);
  EXPECT_EQ(locale.locale_files().Count(), 1);
  EXPECT_EQ(locale.uid_application_locales, "r");

  WS_Locale_files file;
  file.ReadFrom(reader);
  EXPECT_EQ(file.locale_file().ToString(), "bin");
}

// ---- ownership ----

TEST(RecordOwnershipTest, NeverTouchedStreamsAndArraysAreWrittenEmptyNotAbsent) {
  WS_Applications_config_files config;
  WS_Locale_files localeFile;
  WS_Application_locales locale;
  ASSERT_FALSE(config.has_config_file());
  ASSERT_FALSE(localeFile.has_locale_file());
  ASSERT_FALSE(locale.has_locale_files());

  RecordingSerializer writer;
  config.WriteTo(writer);
  localeFile.WriteTo(writer);
  locale.WriteTo(writer);
  EXPECT_EQ(writer.present, (std::vector<bool>{true, true, true}));
  EXPECT_EQ(writer.sizes, (std::vector<size_t>{0, 0, 0}));
  // Creating the empty object is the only change writing makes.
  EXPECT_TRUE(config.has_config_file());
  EXPECT_TRUE(localeFile.has_locale_file());
  EXPECT_TRUE(locale.has_locale_files());

  // The encoded bytes say the same: a present empty stream, a present empty array.
  const Bytes configBytes = Encode([&](TROSerializer& s) {
    WS_Applications_config_files fresh;
    fresh.WriteTo(s);
  });
  EXPECT_EQ(Bytes(configBytes.begin(), configBytes.begin() + 5), (Bytes{1, 0, 0, 0, 0}));
  const Bytes localeBytes = Encode([&](TROSerializer& s) {
    WS_Application_locales fresh;
    fresh.WriteTo(s);
  });
  EXPECT_EQ(Bytes(localeBytes.begin(), localeBytes.begin() + 5), (Bytes{1, 0, 0, 0, 0}));
}

TEST(RecordOwnershipTest, AnAbsentEncodedValueEmptiesTheFieldUntilTheNextAccess) {
  TUpdaterServiceTypesRegistration registration;
  // WS_Locale_files: locale_file absent, then its three strings.
  const Bytes fileBytes = Encode([](TROSerializer& s) {
    s.WriteBinary("locale_file", nullptr);
    s.WriteAnsiString("locale_file_name", "sr.mo");
    s.WriteAnsiString("uid_application_locales", "L1");
    s.WriteAnsiString("uid_locale_files", "F1");
  });
  WS_Locale_files file;
  file.locale_file().Write("old");
  TROStreamSerializer fileReader(fileBytes);
  file.ReadFrom(fileReader);
  EXPECT_FALSE(file.has_locale_file());
  EXPECT_EQ(file.locale_file_name, "sr.mo");
  EXPECT_EQ(file.locale_file().Size(), 0u);  // a fresh, empty stream
  EXPECT_TRUE(file.has_locale_file());

  // WS_Application_locales: locale_files absent.
  const Bytes localeBytes = Encode([](TROSerializer& s) {
    s.WriteArray<WS_Array_Of_Locale_files>("locale_files", nullptr);
    s.WriteAnsiString("locale_name", "sr");
    s.WriteAnsiString("uid_applications", "A");
    s.WriteAnsiString("uid_application_locales", "L");
  });
  WS_Application_locales locale;
  locale.locale_files().AddNew();
  TROStreamSerializer localeReader(localeBytes);
  locale.ReadFrom(localeReader);
  EXPECT_FALSE(locale.has_locale_files());
  EXPECT_EQ(locale.locale_files().Count(), 0);
  EXPECT_EQ(locale.uid_application_locales, "L");
}

TEST(RecordOwnershipTest, APresentEncodedArrayRefillsTheRecordsOwnArray) {
  TUpdaterServiceTypesRegistration registration;
  WS_Application_locales source;
  source.locale_files().AddNew().locale_file_name = "a.mo";
  const Bytes bytes = Encode([&](TROSerializer& s) { source.WriteTo(s); });

  WS_Application_locales target;
  for (int i = 0; i < 3; ++i) target.locale_files().AddNew();
  const WS_Array_Of_Locale_files* before = &target.locale_files();
  TROStreamSerializer reader(bytes);
  target.ReadFrom(reader);
  EXPECT_EQ(&target.locale_files(), before);
  ASSERT_EQ(target.locale_files().Count(), 1);
  EXPECT_EQ(target.locale_files().Items(0)->locale_file_name, "a.mo");
}

TEST(RecordOwnershipTest, SettingAnOwnedFieldReplacesIt) {
  WS_Applications_config_files config;
  config.config_file().Write("first");
  config.set_config_file(std::make_unique<TROBinaryMemoryStream>(std::string_view("second")));
  EXPECT_EQ(config.config_file().ToString(), "second");

  std::unique_ptr<TROBinaryMemoryStream> taken = config.release_config_file();
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->ToString(), "second");
  EXPECT_FALSE(config.has_config_file());

  WS_Application_locales locale;
  auto files = std::make_unique<WS_Array_Of_Locale_files>();
  files->Add(nullptr);
  locale.set_locale_files(std::move(files));
  EXPECT_EQ(locale.locale_files().Count(), 1);
  locale.set_locale_files(nullptr);
  EXPECT_FALSE(locale.has_locale_files());
  EXPECT_EQ(locale.locale_files().Count(), 0);
}

TEST(RecordOwnershipTest, AFailureMidRecordKeepsEarlierFieldsNewAndLaterFieldsOld) {
  WS_Files_executables exe;
  exe.file_description = "old description";
  exe.file_name = "old.exe";
  exe.file_size = 99;
  exe.file_version = "old";
  exe.upload_date = 1.5;
  Bytes bytes = Encode([](TROSerializer& s) {
    s.WriteAnsiString("file_description", "new description");
    s.WriteAnsiString("file_name", "new.exe");
  });
  bytes.insert(bytes.end(), {1, 2, 3});  // file_size cut short
  TROStreamSerializer reader{std::span<const uint8_t>(bytes)};
  EXPECT_THROW(exe.ReadFrom(reader), EROStreamError);
  EXPECT_EQ(exe.file_description, "new description");
  EXPECT_EQ(exe.file_name, "new.exe");
  EXPECT_EQ(exe.file_size, 99);
  EXPECT_EQ(exe.file_version, "old");
  EXPECT_EQ(exe.upload_date, 1.5);

  // A binary cut short leaves the record's stream as it was.
  WS_Locale_files file;
  file.locale_file().Write("kept");
  const Bytes shortBinary = {1, 9, 0, 0, 0, 'a'};
  TROStreamSerializer binaryReader(shortBinary);
  EXPECT_THROW(file.ReadFrom(binaryReader), EROStreamError);
  EXPECT_EQ(file.locale_file().ToString(), "kept");
}

// ---- Assign ----

TEST(RecordAssignTest, SameTypeCopiesEveryFieldIntoTheTargetsOwnObjects) {
  WS_Files_executables exe;
  exe.uid_files_executables = "E1";
  exe.file_name = "App.exe";
  exe.file_version = "1.0.0.1";
  exe.upload_date = 41263.5;
  exe.is_main_exe = "D";
  exe.file_description = "glavni";
  exe.file_size = 1048577;
  WS_Files_executables exeCopy;
  exeCopy.Assign(exe);
  EXPECT_EQ(Encode([&](TROSerializer& s) { exeCopy.WriteTo(s); }),
            Encode([&](TROSerializer& s) { exe.WriteTo(s); }));

  WS_Applications_config_files config;
  config.file_name = "app.ini";
  config.config_file().Write("[x]\n");
  config.config_file().SetPosition(2);
  WS_Applications_config_files configCopy;
  configCopy.config_file().Write("a much longer earlier content");
  configCopy.Assign(config);
  EXPECT_EQ(configCopy.file_name, "app.ini");
  EXPECT_EQ(configCopy.config_file().ToString(), "[x]\n");
  EXPECT_NE(&configCopy.config_file(), &config.config_file());
  config.config_file().Write("changed");
  EXPECT_EQ(configCopy.config_file().ToString(), "[x]\n");

  WS_Application_locales locale;
  locale.locale_name = "sr";
  WS_Locale_files& file = locale.locale_files().AddNew();
  file.locale_file_name = "sr.mo";
  file.locale_file().Write("mo-bytes");
  locale.locale_files().Add(nullptr);
  WS_Application_locales localeCopy;
  localeCopy.Assign(locale);
  ASSERT_EQ(localeCopy.locale_files().Count(), 2);
  EXPECT_EQ(localeCopy.locale_files().Items(1), nullptr);
  WS_Locale_files* copied = localeCopy.locale_files().Items(0);
  ASSERT_NE(copied, nullptr);
  EXPECT_NE(copied, &file);
  EXPECT_EQ(copied->locale_file_name, "sr.mo");
  EXPECT_EQ(copied->locale_file().ToString(), "mo-bytes");
  file.locale_file().Write("!");
  EXPECT_EQ(copied->locale_file().ToString(), "mo-bytes");
}

TEST(RecordAssignTest, ReachesOwnedObjectsThroughTheirAccessorsOnBothSides) {
  const WS_Applications_config_files source;
  WS_Applications_config_files target;
  target.Assign(source);
  EXPECT_TRUE(source.has_config_file());
  EXPECT_TRUE(target.has_config_file());
  EXPECT_EQ(target.config_file().Size(), 0u);
}

TEST(RecordAssignTest, AnotherServiceTypeLeavesTheTargetUnchangedAndNoneIsAnError) {
  WS_Files_executables exe;
  exe.file_name = "keep.exe";
  exe.file_size = 5;
  WS_Applications app;
  app.uid_applications = "A";
  WS_Array_Of_Files_executables list;
  list.AddNew();
  const TROComplexType* others[] = {&app, &list};
  for (const TROComplexType* other : others) {
    exe.Assign(other);
    EXPECT_EQ(exe.file_name, "keep.exe");
    EXPECT_EQ(exe.file_size, 5);
  }
  exe.Assign(exe);
  EXPECT_EQ(exe.file_name, "keep.exe");
  try {
    exe.Assign(nullptr);
    ADD_FAILURE() << "Assign(nullptr) must fail";
  } catch (const EROAssignError& e) {
    EXPECT_STREQ(e.what(), "Cannot assign a nil to a WS_Files_executables.");
  }
}

// ---- every record through the stream encoding ----

TEST(RecordTest, EveryRecordSurvivesARoundTripThroughTheStreamEncoding) {
  TUpdaterServiceTypesRegistration registration;
  for (const OrderCase& c : OrderTable()) {
    SCOPED_TRACE(c.label);
    auto record = c.make();
    RecordingSerializer filler;  // fills every field with a value that differs from the default
    record->ReadFrom(filler);
    const Bytes bytes =
        Encode([&](TROSerializer& s) { s.WriteStruct("v", record.get(), record->ClassInfo()); });
    TROStreamSerializer reader(bytes);
    auto read = reader.ReadStruct("v", TROComplexType::StaticClass());
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->ClassName(), c.label);
    EXPECT_EQ(Encode([&](TROSerializer& s) { s.WriteStruct("v", read.get(), read->ClassInfo()); }),
              bytes);
    auto clone = read->Clone();
    EXPECT_EQ(
        Encode([&](TROSerializer& s) { s.WriteStruct("v", clone.get(), clone->ClassInfo()); }),
        bytes);
  }
}

}  // namespace
