#include "PathText.h"
#include "ShellLink.h"
#include "Win32.h"

namespace tv::platform {
namespace {

bool MakeLinkObject(ComPtr<IShellLinkW>& link) {
  return SUCCEEDED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IShellLinkW, link.put_void()));
}

}  // namespace

ComApartment::ComApartment() {
  const HRESULT result = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  // S_FALSE: this thread was in the apartment already and must still leave it once.
  initialised_ = SUCCEEDED(result);
}

ComApartment::~ComApartment() {
  if (initialised_) ::CoUninitialize();
}

bool CreateShellLink(const std::filesystem::path& link, const ShellLinkSettings& settings) {
  const ComApartment apartment;
  ComPtr<IShellLinkW> shellLink;
  if (!MakeLinkObject(shellLink)) return false;
  const std::wstring folder = WithTrailingDelimiter(settings.workingFolder).native();
  if (FAILED(shellLink->SetPath(settings.target.c_str())) ||
      FAILED(shellLink->SetArguments(settings.arguments.c_str())) ||
      FAILED(shellLink->SetWorkingDirectory(folder.c_str()))) {
    return false;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(shellLink->QueryInterface(IID_IPersistFile, file.put_void()))) return false;
  ::DeleteFileW(link.c_str());  // a shortcut of the same name is replaced; its result is no matter
  // Saved under that name without making it the object's current file.
  return SUCCEEDED(file->Save(link.c_str(), FALSE));
}

std::optional<ShellLinkSettings> ReadShellLink(const std::filesystem::path& link) {
  const ComApartment apartment;
  ComPtr<IShellLinkW> shellLink;
  if (!MakeLinkObject(shellLink)) return std::nullopt;
  ComPtr<IPersistFile> file;
  if (FAILED(shellLink->QueryInterface(IID_IPersistFile, file.put_void())) ||
      FAILED(file->Load(link.c_str(), STGM_READ))) {
    return std::nullopt;
  }
  ShellLinkSettings settings;
  std::wstring buffer(32768, L'\0');
  if (FAILED(shellLink->GetPath(buffer.data(), static_cast<int>(buffer.size()), nullptr,
                                SLGP_RAWPATH))) {
    return std::nullopt;
  }
  settings.target = std::filesystem::path(buffer.c_str());
  buffer.assign(32768, L'\0');
  if (FAILED(shellLink->GetArguments(buffer.data(), static_cast<int>(buffer.size())))) {
    return std::nullopt;
  }
  settings.arguments = buffer.c_str();
  buffer.assign(32768, L'\0');
  if (FAILED(shellLink->GetWorkingDirectory(buffer.data(), static_cast<int>(buffer.size())))) {
    return std::nullopt;
  }
  settings.workingFolder = std::filesystem::path(buffer.c_str());
  return settings;
}

}  // namespace tv::platform
