#include "ApplicationsList.h"

#include "CodePage1250.h"
#include "UpdaterServiceLibrary_Intf.h"

void FillApplications(TMemApplications& table, const WS_Array_Of_Applications* list) {
  table.EmptyTable();
  if (list == nullptr) return;
  for (int32_t i = 0; i < list->Count(); ++i) {
    const WS_Applications* application = list->Items(i);
    if (application == nullptr) continue;
    TApplicationRow row;
    row.uid_applications = application->uid_applications;
    row.id_cd_aplikacije = application->id_cd_aplikacije;
    row.naziv_ikonice = application->naziv_ikonice;
    row.opis = tv::platform::Utf16ToCp1250(application->opis);
    row.aktivan = application->aktivan;
    table.InsertBeforeCurrent(std::move(row));
  }
}

std::string ItemCaption(const TApplicationRow& row) {
  if (row.opis.empty()) return row.naziv_ikonice;
  return row.naziv_ikonice + "(" + row.opis + ")";
}
