// A named 8-byte record shared by the processes of one user, alive while some process holds it:
// the stand-in of a named file mapping backed by the paging file.
//
// POSIX shared memory carries the bytes; an open-file-description lock on the same object tells
// whether a live process holds it. Every holder keeps a shared lock; a process that can take the
// exclusive lock finds no live holder, so whatever an earlier, dead holder left behind is
// discarded and the marker counts as created (eight zero bytes). The creator keeps the exclusive
// lock until Publish(), so that a start at the same moment reads what the creator wrote and not
// the zeros before it. Markers are per user: two users never share one.
//
// On Windows the marker is what it stands in for: a named file mapping of 8 bytes backed by the
// paging file (CreateFileMappingW, OpenFileMappingW, MapViewOfFile). The system keeps it while a
// process holds a handle, and a start at the same moment sees the record as the creator writes it,
// so Publish() has nothing to do there. A marker name that Windows cannot take as an object name
// (longer than MAX_PATH, or with a '\') is replaced by its digest.
//
// Failures are reported apart, because the guard treats them differently:
//   MarkerCreateError  the marker could neither be opened nor created;
//   MarkerOpenError    it exists but cannot be opened (foreign, or held exclusively too long);
//   MarkerMapError     the 8-byte view cannot be mapped.
// Each carries the system's reason in its text.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

#include "PlatformError.h"
#ifndef _WIN32
#include "UniqueFd.h"
#endif

namespace tv::platform {

class MarkerCreateError : public PlatformError {
  using PlatformError::PlatformError;
};
class MarkerOpenError : public PlatformError {
  using PlatformError::PlatformError;
};
class MarkerMapError : public PlatformError {
  using PlatformError::PlatformError;
};

class SharedMarker {
 public:
  static constexpr std::size_t kSize = 8;
  using Bytes = std::array<std::byte, kSize>;

  // Creates the marker called name, or opens it when a live process holds it, and maps its bytes.
  static SharedMarker Open(std::string_view name);

  // Removes a marker's name from the system (for tests and tools); holders keep their view.
  // Windows names have no life of their own: nothing to do there.
  static void Remove(std::string_view name);

  // The system object name used for a marker name: readable when it fits, else a digest.
  static std::string ObjectName(std::string_view name);

  SharedMarker(SharedMarker&& other) noexcept;
  SharedMarker& operator=(SharedMarker&& other) noexcept;
  SharedMarker(const SharedMarker&) = delete;
  SharedMarker& operator=(const SharedMarker&) = delete;
  ~SharedMarker();

  // True when no live process held the marker: it was (re)created and reads as zeros.
  bool Created() const { return created_; }

  // Lets later starts open the marker; a creator calls it once its record is written. Harmless
  // when called again or by a process that opened an existing marker.
  void Publish();

  // Plain reads and writes of the shared bytes, without any lock between processes.
  Bytes Read() const;
  void Write(const Bytes& bytes);

 private:
#ifdef _WIN32
  SharedMarker(void* mapping, void* view, bool created);
  void* mapping_ = nullptr;  // the mapping object's handle
#else
  SharedMarker(UniqueFd fd, void* view, bool created);
  UniqueFd fd_;
#endif
  void Unmap();

  void* view_ = nullptr;
  bool created_ = false;
};

// A stable 128-bit digest of a name as 32 lower-case hex digits (not cryptographic).
std::string NameDigest(std::string_view name);

}  // namespace tv::platform
