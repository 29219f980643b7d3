#include "MemApplications.h"

#include <utility>

std::string CutToWidth(std::string_view value, std::size_t width) {
  return std::string(value.substr(0, width));
}

void TMemApplications::EmptyTable() {
  rows_.clear();
  current_ = 0;
}

void TMemApplications::InsertBeforeCurrent(TApplicationRow row) {
  row.uid_applications = CutToWidth(row.uid_applications, kUidApplicationsWidth);
  row.id_cd_aplikacije = CutToWidth(row.id_cd_aplikacije, kIdCdAplikacijeWidth);
  row.naziv_ikonice = CutToWidth(row.naziv_ikonice, kNazivIkoniceWidth);
  row.opis = CutToWidth(row.opis, kOpisWidth);
  row.aktivan = CutToWidth(row.aktivan, kAktivanWidth);
  if (current_ > rows_.size()) current_ = rows_.size();
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(current_), std::move(row));
}

void TMemApplications::SetId(std::size_t index, std::int32_t id) {
  rows_.at(index).id = id;
}

std::optional<TApplicationRow> TMemApplications::FindById(std::int32_t id) const {
  for (const auto& row : rows_) {
    if (row.id == id) return row;
  }
  return std::nullopt;
}
