#include <cstring>

#include "PathText.h"
#include "SharedMarker.h"
#include "Win32.h"

namespace tv::platform {
namespace {

std::wstring WideName(std::string_view name) {
  return PathFromUtf8(SharedMarker::ObjectName(name)).native();
}

std::string Shown(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

}  // namespace

std::string SharedMarker::ObjectName(std::string_view name) {
  // Kernel object names are at most MAX_PATH characters and take '\' only after a namespace.
  const bool usable = !name.empty() && name.size() <= MAX_PATH &&
                      name.find('\\') == std::string_view::npos &&
                      name.find('\0') == std::string_view::npos;
  if (usable) return std::string(name);
  return "tvh-" + NameDigest(name);
}

SharedMarker SharedMarker::Open(std::string_view name) {
  const std::wstring object = WideName(name);
  UniqueHandle mapping(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                            static_cast<DWORD>(kSize), object.c_str()));
  const DWORD created = ::GetLastError();
  bool isNew = false;
  if (!mapping) {
    // A marker that another user made with his own security cannot be created over, nor opened:
    // it exists but is not ours, which refuses the start instead of ending it with an error.
    if (created == ERROR_ACCESS_DENIED) {
      throw MarkerOpenError("Cannot open the instance marker " + Shown(name) + ": " +
                            Win32ErrorText(created));
    }
    throw MarkerCreateError("Cannot create the instance marker " + Shown(name) + ": " +
                            Win32ErrorText(created));
  }
  if (created == ERROR_ALREADY_EXISTS) {
    // The marker existed: it is used through a handle opened by name, as the first instance's
    // record is read through it.
    mapping.reset(::OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, object.c_str()));
    if (!mapping) {
      throw MarkerOpenError("Cannot open the instance marker " + Shown(name) + ": " +
                            Win32ErrorText(::GetLastError()));
    }
  } else {
    isNew = true;
  }
  void* view = ::MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, kSize);
  if (view == nullptr) {
    throw MarkerMapError("Cannot map the instance marker " + Shown(name) + ": " +
                         Win32ErrorText(::GetLastError()));
  }
  return SharedMarker(mapping.release(), view, isNew);
}

void SharedMarker::Remove(std::string_view) {}

SharedMarker::SharedMarker(void* mapping, void* view, bool created)
    : mapping_(mapping), view_(view), created_(created) {}

SharedMarker::SharedMarker(SharedMarker&& other) noexcept
    : mapping_(std::exchange(other.mapping_, nullptr)),
      view_(std::exchange(other.view_, nullptr)),
      created_(other.created_) {}

SharedMarker& SharedMarker::operator=(SharedMarker&& other) noexcept {
  if (this != &other) {
    Unmap();
    mapping_ = std::exchange(other.mapping_, nullptr);
    view_ = std::exchange(other.view_, nullptr);
    created_ = other.created_;
  }
  return *this;
}

SharedMarker::~SharedMarker() {
  Unmap();
}

void SharedMarker::Unmap() {
  if (view_ != nullptr) ::UnmapViewOfFile(view_);
  view_ = nullptr;
  if (mapping_ != nullptr) ::CloseHandle(mapping_);
  mapping_ = nullptr;
}

void SharedMarker::Publish() {}

SharedMarker::Bytes SharedMarker::Read() const {
  Bytes bytes{};
  if (view_ != nullptr) std::memcpy(bytes.data(), view_, kSize);
  return bytes;
}

void SharedMarker::Write(const Bytes& bytes) {
  if (view_ != nullptr) std::memcpy(view_, bytes.data(), kSize);
}

}  // namespace tv::platform
