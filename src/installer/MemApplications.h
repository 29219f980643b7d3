// memApplications: the installer's small in-memory table of offered applications, one row per
// item of the check list. Every string column has a fixed width in cp1250 bytes (= characters);
// a longer value is cut when stored, and everything that reads the row later sees the cut value.
// Rows are inserted before the current row, which the new row then becomes, so a list inserted
// in service order ends up reversed. Nothing here throws except on allocation failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TApplicationRow {
  std::string uid_applications;  // cp1250, at most 42
  std::string id_cd_aplikacije;  // cp1250, at most 36
  std::string naziv_ikonice;     // cp1250, at most 35
  std::string opis;              // cp1250 (converted from UTF-16), at most 250
  std::string aktivan;           // cp1250, at most 1
  std::int32_t id = -1;          // identifier of the row's item in the check list
};

class TMemApplications {
 public:
  static constexpr std::size_t kUidApplicationsWidth = 42;
  static constexpr std::size_t kIdCdAplikacijeWidth = 36;
  static constexpr std::size_t kNazivIkoniceWidth = 35;
  static constexpr std::size_t kOpisWidth = 250;
  static constexpr std::size_t kAktivanWidth = 1;

  void EmptyTable();

  // Stores the row, cut to the column widths, before the current row; the new row is current.
  void InsertBeforeCurrent(TApplicationRow row);

  std::size_t RecordCount() const { return rows_.size(); }
  const std::vector<TApplicationRow>& Rows() const { return rows_; }
  void SetId(std::size_t index, std::int32_t id);

  // The row whose id equals the check-list item's identifier, if any.
  std::optional<TApplicationRow> FindById(std::int32_t id) const;

 private:
  std::vector<TApplicationRow> rows_;
  std::size_t current_ = 0;
};

// Cuts a cp1250 value to at most width bytes (one byte is one character in that code page).
std::string CutToWidth(std::string_view value, std::size_t width);
