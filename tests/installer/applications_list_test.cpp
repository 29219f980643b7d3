#include <gtest/gtest.h>

#include <string>

#include "ApplicationsList.h"
#include "UpdaterServiceLibrary_Intf.h"

namespace {

WS_Applications& Add(WS_Array_Of_Applications& list, std::string uid, std::string name,
                     std::u16string opis) {
  WS_Applications& application = list.AddNew();
  application.uid_applications = std::move(uid);
  application.id_cd_aplikacije = "CD-" + application.uid_applications;
  application.naziv_ikonice = std::move(name);
  application.opis = std::move(opis);
  application.aktivan = "D";
  return application;
}

TEST(ApplicationsList, ServiceOrderIsReversedAndCaptionsFollowTheRule) {
  WS_Array_Of_Applications list;
  Add(list, "A", "Alpha", u"Beta");
  Add(list, "B", "\x8aifarnik", u"");                                        // Šifarnik in cp1250
  Add(list, "C", "Gamma", u"Obra\u010dun zarada \u0161\u0111\u017e\u0106");  // Obračun zarada šđžĆ

  TMemApplications table;
  FillApplications(table, &list);
  ASSERT_EQ(table.RecordCount(), 3u);
  EXPECT_EQ(table.Rows()[0].uid_applications, "C");
  EXPECT_EQ(table.Rows()[1].uid_applications, "B");
  EXPECT_EQ(table.Rows()[2].uid_applications, "A");
  EXPECT_EQ(table.Rows()[2].id_cd_aplikacije, "CD-A");
  EXPECT_EQ(table.Rows()[2].aktivan, "D");

  // opis arrives as UTF-16 and is kept as cp1250 bytes.
  EXPECT_EQ(table.Rows()[0].opis, "Obra\xe8un zarada \x9a\xf0\x9e\xc6");
  EXPECT_EQ(ItemCaption(table.Rows()[0]), "Gamma(Obra\xe8un zarada \x9a\xf0\x9e\xc6)");
  EXPECT_EQ(ItemCaption(table.Rows()[1]), "\x8aifarnik");
  EXPECT_EQ(ItemCaption(table.Rows()[2]), "Alpha(Beta)");
}

TEST(ApplicationsList, LongValuesAreCutBeforeTheCaptionIsMade) {
  WS_Array_Of_Applications list;
  Add(list, std::string(43, 'U'), std::string(40, 'N'), std::u16string(260, u'\u010d'));
  TMemApplications table;
  FillApplications(table, &list);
  ASSERT_EQ(table.RecordCount(), 1u);
  EXPECT_EQ(table.Rows()[0].uid_applications, std::string(42, 'U'));
  EXPECT_EQ(table.Rows()[0].opis, std::string(250, '\xe8'));
  EXPECT_EQ(ItemCaption(table.Rows()[0]),
            std::string(35, 'N') + "(" + std::string(250, '\xe8') + ")");
}

TEST(ApplicationsList, AbsentEmptyOrHoleyListsAreNoError) {
  TMemApplications table;
  table.InsertBeforeCurrent({"OLD", "", "Old", "", "", 0});
  FillApplications(table, nullptr);
  EXPECT_EQ(table.RecordCount(), 0u) << "the table is rebuilt even when nothing came back";

  WS_Array_Of_Applications empty;
  FillApplications(table, &empty);
  EXPECT_EQ(table.RecordCount(), 0u);

  WS_Array_Of_Applications holey;
  Add(holey, "A", "Alpha", u"");
  holey.Add(nullptr);
  Add(holey, "B", "Beta", u"");
  FillApplications(table, &holey);
  ASSERT_EQ(table.RecordCount(), 2u);
  EXPECT_EQ(table.Rows()[0].uid_applications, "B");
  EXPECT_EQ(table.Rows()[1].uid_applications, "A");
}

}  // namespace
