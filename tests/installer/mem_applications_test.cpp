#include <gtest/gtest.h>

#include <string>

#include "MemApplications.h"

namespace {

TApplicationRow Row(std::string uid, std::string name, std::string opis = {}) {
  TApplicationRow row;
  row.uid_applications = std::move(uid);
  row.naziv_ikonice = std::move(name);
  row.opis = std::move(opis);
  return row;
}

TEST(MemApplications, RowsInsertedInServiceOrderEndUpReversed) {
  TMemApplications table;
  for (const char* uid : {"A", "B", "C"}) table.InsertBeforeCurrent(Row(uid, uid));
  ASSERT_EQ(table.RecordCount(), 3u);
  EXPECT_EQ(table.Rows()[0].uid_applications, "C");
  EXPECT_EQ(table.Rows()[1].uid_applications, "B");
  EXPECT_EQ(table.Rows()[2].uid_applications, "A");

  table.EmptyTable();
  table.InsertBeforeCurrent(Row("D", "D"));
  ASSERT_EQ(table.RecordCount(), 1u);
  EXPECT_EQ(table.Rows()[0].uid_applications, "D");
}

TEST(MemApplications, LongerValuesAreCutToTheirColumnWidths) {
  struct Case {
    std::string TApplicationRow::*column;
    std::size_t width;
  };
  const Case cases[] = {
      {&TApplicationRow::uid_applications, TMemApplications::kUidApplicationsWidth},
      {&TApplicationRow::id_cd_aplikacije, TMemApplications::kIdCdAplikacijeWidth},
      {&TApplicationRow::naziv_ikonice, TMemApplications::kNazivIkoniceWidth},
      {&TApplicationRow::opis, TMemApplications::kOpisWidth},
      {&TApplicationRow::aktivan, TMemApplications::kAktivanWidth},
  };
  EXPECT_EQ(TMemApplications::kUidApplicationsWidth, 42u);
  EXPECT_EQ(TMemApplications::kIdCdAplikacijeWidth, 36u);
  EXPECT_EQ(TMemApplications::kNazivIkoniceWidth, 35u);
  EXPECT_EQ(TMemApplications::kOpisWidth, 250u);
  EXPECT_EQ(TMemApplications::kAktivanWidth, 1u);
  for (const auto& c : cases) {
    for (const std::size_t length : {c.width - 1, c.width, c.width + 1, c.width + 300}) {
      TMemApplications table;
      TApplicationRow row;
      // cp1250 bytes: 0x9A is the letter š, one byte and one character.
      std::string value(length, '\x9a');
      if (length > 0) value.front() = 'x';
      row.*c.column = value;
      table.InsertBeforeCurrent(row);
      const std::string& stored = table.Rows()[0].*c.column;
      EXPECT_EQ(stored, value.substr(0, c.width)) << "width " << c.width << " length " << length;
    }
  }
}

TEST(MemApplications, FindByIdLeadsToExactlyThatRow) {
  TMemApplications table;
  for (const char* uid : {"A", "B", "C"}) table.InsertBeforeCurrent(Row(uid, uid));
  for (std::size_t i = 0; i < table.RecordCount(); ++i) table.SetId(i, static_cast<int>(i));
  ASSERT_TRUE(table.FindById(0).has_value());
  EXPECT_EQ(table.FindById(0)->uid_applications, "C");
  EXPECT_EQ(table.FindById(2)->uid_applications, "A");
  EXPECT_FALSE(table.FindById(3).has_value());
  EXPECT_FALSE(table.FindById(-1).has_value());
}

}  // namespace
