// Executable contents kept as fixed blocks of 1 MiB, one row each, so that a part of any size
// reads only the blocks it covers, straight into the caller's buffer, with 64-bit offsets.
//
// A content is written once: it is "complete" when every byte has arrived and never changes
// afterwards (a new version is a new content). Reads of a content that is not complete, of a
// range outside it, or of a missing or wrongly sized block fail with StoreError; database
// failures are SqliteError. The functions run inside the caller's transaction.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "SqliteDb.h"

namespace tvserver::content {

constexpr std::int64_t kBlockSize = std::int64_t{1} << 20;

// Length of block blockNo of a content of size bytes (the last block may be shorter).
std::int64_t blockLength(std::int64_t size, std::int64_t blockNo);
std::int64_t blockCount(std::int64_t size);

// A new, incomplete content of size bytes; a content of 0 bytes is complete at once.
std::int64_t create(SqliteConnection& db, std::int64_t size);
// Stores a whole block; bytes must be exactly blockLength long.
void putBlock(SqliteConnection& db, std::int64_t contentId, std::int64_t blockNo,
              std::span<const std::uint8_t> bytes);
// Writes bytes at offset of an incomplete content, creating zeroed blocks as needed.
void writeAt(SqliteConnection& db, std::int64_t contentId, std::int64_t offset,
             std::span<const std::uint8_t> bytes);
// Marks the content complete (after checking that every block is present).
void finish(SqliteConnection& db, std::int64_t contentId, const std::optional<std::string>& sha256);

struct Info {
  std::int64_t size = 0;
  bool complete = false;
};
std::optional<Info> info(const SqliteConnection& db, std::int64_t contentId);

// A complete content with these bytes (by size and SHA-256), if one is stored already.
std::optional<std::int64_t> findComplete(const SqliteConnection& db, std::int64_t size,
                                         const std::string& sha256);

// Copies [offset, offset + length) of a complete content into dest.
void read(const SqliteConnection& db, std::int64_t contentId, std::int64_t offset,
          std::int64_t length, std::uint8_t* dest);

// Deletes the content and its blocks when no executable refers to it any more.
void dropIfUnused(SqliteConnection& db, std::int64_t contentId);

}  // namespace tvserver::content
