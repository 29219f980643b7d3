// How a file is cut into parts for the download: the number of parts, where part n starts and
// how many bytes it must bring. Sizes and offsets are 64-bit, so files beyond 2 GiB are cut like
// any other. Nothing here throws; callers pass a chunk size above zero and a size not below zero.
#pragma once

#include <cstdint>

namespace tv::download {

// file_size div chunk, plus one for a remainder; 0 for an empty file.
constexpr int64_t PartCount(int64_t fileSize, int32_t chunkSize) {
  const int64_t chunk = chunkSize;
  return fileSize / chunk + (fileSize % chunk > 0 ? 1 : 0);
}

// Byte offset of part partNo (counted from 1).
constexpr int64_t PartOffset(int64_t partNo, int32_t chunkSize) {
  return (partNo - 1) * static_cast<int64_t>(chunkSize);
}

// The exact length that part partNo of a file of fileSize bytes must have: a whole chunk, or
// what is left for the last part. A part of any other length is a failed download.
constexpr int64_t PartLength(int64_t partNo, int64_t fileSize, int32_t chunkSize) {
  const int64_t rest = fileSize - PartOffset(partNo, chunkSize);
  return rest < chunkSize ? rest : static_cast<int64_t>(chunkSize);
}

}  // namespace tv::download
