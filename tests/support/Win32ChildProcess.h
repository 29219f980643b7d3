// A child process for the Windows tests, talked to by lines over its standard input and output.
// Every wait is bounded: ReadLine gives up after its time-out with an empty result, and a child
// that is still running when its owner goes is ended. Construction throws std::runtime_error
// when the program cannot be started.
#pragma once

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

namespace tvtest {

class Win32ChildProcess {
 public:
  Win32ChildProcess(const std::filesystem::path& program, const std::wstring& arguments) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!::CreatePipe(&childIn, &in_, &inherit, 0) || !::CreatePipe(&out_, &childOut, &inherit, 0))
      throw std::runtime_error("cannot make the pipes");
    ::SetHandleInformation(in_, HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(out_, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = childOut;
    std::wstring commandLine = L"\"" + program.native() + L"\" " + arguments;
    const BOOL started =
        ::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                         CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info_);
    ::CloseHandle(childIn);
    ::CloseHandle(childOut);
    if (!started) throw std::runtime_error("cannot start the child process");
  }
  ~Win32ChildProcess() {
    CloseInput();
    if (::WaitForSingleObject(info_.hProcess, 10000) != WAIT_OBJECT_0) {
      ::TerminateProcess(info_.hProcess, 99);
      ::WaitForSingleObject(info_.hProcess, 10000);
    }
    ::CloseHandle(out_);
    ::CloseHandle(info_.hThread);
    ::CloseHandle(info_.hProcess);
  }
  Win32ChildProcess(const Win32ChildProcess&) = delete;
  Win32ChildProcess& operator=(const Win32ChildProcess&) = delete;

  void WriteLine(const std::string& line) {
    const std::string data = line + "\n";
    DWORD written = 0;
    ::WriteFile(in_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  }
  void CloseInput() {
    if (in_ != nullptr) ::CloseHandle(in_);
    in_ = nullptr;
  }

  // The next line without its line end; empty after the time-out or when the child closed it.
  std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (const auto end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line;
      }
      DWORD available = 0;
      if (!::PeekNamedPipe(out_, nullptr, 0, nullptr, &available, nullptr)) return {};
      if (available > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!::ReadFile(out_, buffer, std::min<DWORD>(available, sizeof buffer), &got, nullptr))
          return {};
        pending_.append(buffer, got);
        continue;
      }
      if (std::chrono::steady_clock::now() >= deadline) return {};
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  // The exit code, or -1 when it does not end within the time-out.
  int Wait(std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    if (::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0)
      return -1;
    DWORD code = 0;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return static_cast<int>(code);
  }

 private:
  HANDLE in_ = nullptr;
  HANDLE out_ = nullptr;
  PROCESS_INFORMATION info_{};
  std::string pending_;
};

}  // namespace tvtest
