// The fault soak: round after round, a random small application is published to the server and
// launched with the real TvUpdater (offscreen, in a temporary home) while the server or the
// soak commits one random fault; then a healthy launch must leave the application exactly as
// published: started once, every executable byte-identical, the manifest equal to the published
// list, no temporary file anywhere, nothing new outside the application folder, no process left
// and no run that outlived its deadline.
//
// TV_SOAK_ROUNDS (default 5) sets the number of rounds, TV_SOAK_SEED repeats an earlier soak;
// scripts/soak.sh runs long soaks. A summary line reports runs, faults by kind and failures.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CodePage1250.h"
#include "ManifestFile.h"
#include "ROHTTPChannel.h"
#include "ROStreamSerializer.h"
#include "SoakApplication.h"
#include "SoakServer.h"
#include "UpdaterProcess.h"
#include "UpdaterServiceLibrary_Intf.h"

namespace tv::soak {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
namespace fs = std::filesystem;

constexpr int kWorkerTimeoutMs = 1500;       // TV_DOWNLOAD_TIMEOUT_MS of every run
constexpr milliseconds kFailureGrace{2500};  // a failing run shows its report within this
constexpr milliseconds kRunDeadline{90000};  // no run may take longer
constexpr milliseconds kSettle{5000};        // for the started application to note its start
constexpr const char* kDownload = "Download_Files_Executables";

enum class FaultKind { Drop, Stall, ShortPart, OversizedPart, Exception, HttpError, Kill, Restart };
constexpr std::array kFaultKinds = {
    FaultKind::Drop,      FaultKind::Stall,     FaultKind::ShortPart, FaultKind::OversizedPart,
    FaultKind::Exception, FaultKind::HttpError, FaultKind::Kill,      FaultKind::Restart};

const char* Name(FaultKind kind) {
  switch (kind) {
    case FaultKind::Drop:
      return "dropped connection";
    case FaultKind::Stall:
      return "stall past the time-out";
    case FaultKind::ShortPart:
      return "short part";
    case FaultKind::OversizedPart:
      return "oversized part";
    case FaultKind::Exception:
      return "exception";
    case FaultKind::HttpError:
      return "HTTP error";
    case FaultKind::Kill:
      return "SIGKILL";
    case FaultKind::Restart:
      return "server restart";
  }
  return "?";
}

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::atoi(text) : fallback;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

// What lies below root: relative path -> size (-1 for a folder), leaving out the subtrees given.
std::map<std::string, std::int64_t> Snapshot(const fs::path& root,
                                             const std::vector<fs::path>& leaveOut) {
  std::map<std::string, std::int64_t> entries;
  std::error_code error;
  for (auto it = fs::recursive_directory_iterator(root, error); it != fs::end(it);
       it.increment(error)) {
    if (error) break;
    const fs::path path = it->path();
    if (std::find(leaveOut.begin(), leaveOut.end(), path) != leaveOut.end()) {
      it.disable_recursion_pending();
      continue;
    }
    const auto status = it->symlink_status();
    entries[fs::relative(path, root).string()] =
        fs::is_regular_file(status) ? static_cast<std::int64_t>(it->file_size()) : -1;
  }
  return entries;
}

std::vector<std::uint8_t> EncodedList(const WS_Array_Of_Files_executables* list) {
  std::vector<std::uint8_t> bytes;
  TROStreamSerializer writer(bytes);
  writer.WriteArray<WS_Array_Of_Files_executables>("ArrayOfFilesExecutables", list);
  return bytes;
}

int Lines(const fs::path& path) {
  const std::string text = ReadAll(path);
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

class Soak {
 public:
  Soak(int rounds, std::uint64_t seed)
      : rounds_(rounds), seed_(seed), random_(seed), root_(MakeRoot()), server_(Dir("server")) {
    Dir("home/.local/share");
    Dir("home/.config");
    fs::permissions(Dir("runtime"), fs::perms::owner_all);
    Dir("tmp");
    Dir("logs");
    // A copy of its own, so that its instance marker and its configuration are the soak's.
    updater_ = Dir("updater") / "TvUpdater";
    fs::copy_file(TV_SOAK_UPDATER, updater_);
    fs::permissions(updater_, fs::perms::owner_all);
    // As an installation leaves it (with App_Path), so that launches do not write to it.
    WriteAll(updater_.parent_path() / "TvUpdater.config",
             "[Tolvara]\r\nServiceURL=" + server_.Url() +
                 "\r\nThinClient=NO\r\nApp_Path=" + DataHome().string() + "\r\n");
  }

  ~Soak() {
    std::error_code ignored;
    if (failures_.empty()) fs::remove_all(root_, ignored);
  }

  void Run() {
    std::string uid;
    for (int round = 1; round <= rounds_; ++round) {
      round_ = round;
      // A new application, or a new version of the last one over its older files.
      if (uid.empty() || std::bernoulli_distribution(0.5)(random_)) {
        uid = RandomUid(random_, round);
        fs::create_directories(AppFolder(uid));  // as the installer leaves it
      }
      Publish(uid);
      const auto before = Outside();
      FaultRun(uid);
      HealthyRun(uid, before);
    }
  }

  std::string Summary() const {
    std::ostringstream out;
    out << "soak: seed " << seed_ << ", " << rounds_ << " rounds, " << runs_ << " runs (" << rounds_
        << " with a fault, " << rounds_ << " healthy); faults struck/drawn:";
    for (const FaultKind kind : kFaultKinds) {
      const auto drawn = drawn_.find(kind);
      const auto struck = struck_.find(kind);
      out << " " << Name(kind) << " " << (struck == struck_.end() ? 0 : struck->second) << "/"
          << (drawn == drawn_.end() ? 0 : drawn->second) << ";";
    }
    out << " failures: " << failures_.size();
    return out.str();
  }
  const std::vector<std::string>& Failures() const { return failures_; }
  const fs::path& Root() const { return root_; }

 private:
  static fs::path MakeRoot() {
    std::string pattern = (fs::temp_directory_path() / "tv-soak-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("Cannot create a soak folder");
    return pattern;
  }
  fs::path Dir(const std::string& relative) {
    fs::create_directories(root_ / relative);
    return root_ / relative;
  }
  fs::path DataHome() const { return root_ / "home/.local/share"; }
  fs::path AppFolder(const std::string& uid) const {
    return DataHome() / "Kestrov" / tv::platform::Cp1250ToUtf8(uid);
  }

  void Fail(const std::string& what) {
    failures_.push_back("round " + std::to_string(round_) + " (seed " + std::to_string(seed_) +
                        "): " + what);
  }

  void Publish(const std::string& uid) {
    spec_ = RandomApplication(random_, uid, round_);
    tvserver::publish(server_.Store(), spec_);
    auto& allowed = allowed_[uid];
    for (const auto& file : spec_.executables) allowed.insert(file.name);
    for (const auto& file : spec_.configs) allowed.insert(file.name);
    for (const auto& locale : spec_.locales) {
      allowed.insert("locale");
      allowed.insert("locale/" + locale.name);
      allowed.insert("locale/" + locale.name + "/LC_MESSAGES");
      for (const auto& file : locale.files)
        allowed.insert("locale/" + locale.name + "/LC_MESSAGES/" + file.name);
    }
    allowed.insert(uid + ".kvx");
    allowed.insert(kStartMarker);
  }

  // Everything in the soak's home, runtime, temporary and updater folders but the applications.
  std::map<std::string, std::int64_t> Outside() const {
    std::vector<fs::path> leaveOut = {root_ / "server", root_ / "logs"};
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(DataHome() / "Kestrov", error))
      leaveOut.push_back(entry.path());
    return Snapshot(root_, leaveOut);
  }

  std::unique_ptr<UpdaterProcess> Start(const std::string& uid) {
    ++runs_;
    std::map<std::string, std::string> env = {
        {"HOME", (root_ / "home").string()},
        {"XDG_DATA_HOME", DataHome().string()},
        {"XDG_CONFIG_HOME", (root_ / "home/.config").string()},
        {"XDG_RUNTIME_DIR", (root_ / "runtime").string()},
        {"TMPDIR", (root_ / "tmp").string()},
        {"PATH", "/usr/bin:/bin"},
        {"LANG", "C.UTF-8"},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"TV_DOWNLOAD_TIMEOUT_MS", std::to_string(kWorkerTimeoutMs)},
    };
    // A soak under a sanitizer passes its settings on to the program it starts.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TSAN_OPTIONS"})
      if (const char* value = std::getenv(name)) env[name] = value;
    return std::make_unique<UpdaterProcess>(updater_, tv::platform::Cp1250ToUtf8(uid), env,
                                            RunLog());
  }

  int DownloadCalls() const {
    int parts = 0;
    for (const auto& file : spec_.executables) {
      const auto size = static_cast<std::int64_t>(file.bytes.size());
      parts += static_cast<int>((size + (1 << 20) - 1) >> 20);
    }
    return parts;
  }

  void FaultRun(const std::string& uid) {
    const FaultKind kind =
        kFaultKinds[std::uniform_int_distribution<std::size_t>(0, kFaultKinds.size() - 1)(random_)];
    ++drawn_[kind];
    server_.Faults().clear();
    server_.ResetCalls();

    // Server faults strike one call of an operation: after a random number of its calls.
    std::string operation = kDownload;
    int afterCalls = 0;
    const int parts = DownloadCalls();
    const auto somePart = [&] {
      return parts == 0 ? 0 : std::uniform_int_distribution<int>(0, parts - 1)(random_);
    };
    std::optional<tvserver::Fault> fault;
    const auto serverFault = [&](tvserver::Fault::Kind faultKind) {
      tvserver::Fault f;
      f.operation = operation;
      f.kind = faultKind;
      f.afterCalls = afterCalls;
      f.times = 1;
      f.stall = milliseconds(kWorkerTimeoutMs * 2);
      f.httpStatus = std::uniform_int_distribution<int>(0, 1)(random_) ? 503 : 404;
      fault = f;
    };
    switch (kind) {
      case FaultKind::Drop:
        afterCalls = somePart();
        serverFault(tvserver::Fault::Kind::Drop);
        break;
      case FaultKind::Stall:
        afterCalls = somePart();
        serverFault(tvserver::Fault::Kind::Stall);
        break;
      case FaultKind::ShortPart:
        afterCalls = somePart();
        serverFault(tvserver::Fault::Kind::ShortPart);
        break;
      case FaultKind::OversizedPart:
        afterCalls = somePart();
        serverFault(tvserver::Fault::Kind::OversizedPart);
        break;
      case FaultKind::Exception:
      case FaultKind::HttpError: {
        static const std::vector<std::string> operations = {"Echo", "Service_IsActive",
                                                            "Get_Application", kDownload};
        operation = operations[std::uniform_int_distribution<std::size_t>(0, 3)(random_)];
        afterCalls = operation == kDownload ? somePart() : 0;
        serverFault(kind == FaultKind::Exception ? tvserver::Fault::Kind::Exception
                                                 : tvserver::Fault::Kind::HttpError);
        break;
      }
      case FaultKind::Kill:
      case FaultKind::Restart:
        break;
    }
    if (fault) server_.Faults().add(*fault);
    // The updater is killed, or the server restarted, at a random moment: early (while it asks
    // for the application) or a little after its k-th part request.
    const int afterPart = std::uniform_int_distribution<int>(0, parts)(random_);
    const milliseconds at(
        std::uniform_int_distribution<int>(0, afterPart == 0 ? 300 : 40)(random_));
    const milliseconds downtime(std::uniform_int_distribution<int>(0, 500)(random_));
    std::optional<Clock::time_point> reached;  // when the chosen part was asked for

    const auto started = Clock::now();
    auto process = Start(uid);
    std::optional<Clock::time_point> giveUpAt;  // once the fault struck: the report is showing
    bool done = false;
    while (process->Running()) {
      const auto now = Clock::now();
      if (fault && !giveUpAt && server_.Calls(operation) > afterCalls) {
        ++struck_[kind];
        giveUpAt = now + kFailureGrace +
                   (kind == FaultKind::Stall ? milliseconds(kWorkerTimeoutMs) : milliseconds(0));
      }
      if (!reached && server_.Calls(kDownload) >= afterPart) reached = now;
      if (!fault && !done && reached && now - *reached >= at) {
        done = true;
        ++struck_[kind];
        if (kind == FaultKind::Kill) {
          process->Kill();
          break;
        }
        server_.Restart(downtime);
        giveUpAt = Clock::now() + kFailureGrace;
      }
      if (giveUpAt && now >= *giveUpAt) {
        // It waits for the user to close its failure report: the end of a failed run.
        process->Kill();
        break;
      }
      if (now - started >= kRunDeadline) {
        Fail(std::string("the run with the fault \"") + Name(kind) +
             "\" neither ended nor failed in time");
        process->Kill();
        break;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    server_.Faults().clear();
    const std::string faultRun = std::string("the run with the fault \"") + Name(kind) + "\"";
    NoProcessLeft("after " + faultRun);
    NoSanitizerReport(faultRun);
  }

  void HealthyRun(const std::string& uid, const std::map<std::string, std::int64_t>& before) {
    const fs::path app = AppFolder(uid);
    const fs::path marker = app / kStartMarker;
    const int startsBefore = Lines(marker);
    auto process = Start(uid);
    const auto status = process->WaitUntil(Clock::now() + kRunDeadline);
    if (!status) {
      Fail("the healthy launch did not end within its deadline");
      process->Kill();
      return;
    }
    if (*status != 0) Fail("the healthy launch ended with status " + std::to_string(*status));

    // The application notes its start from a process of its own, maybe after the updater ended.
    const auto settleUntil = Clock::now() + kSettle;
    while (Lines(marker) < startsBefore + 1 && Clock::now() < settleUntil)
      std::this_thread::sleep_for(milliseconds(20));
    std::this_thread::sleep_for(milliseconds(200));
    const int starts = Lines(marker) - startsBefore;
    if (starts != 1) Fail("the application started " + std::to_string(starts) + " times");

    for (const auto& file : spec_.executables) {
      const fs::path path = app / tv::platform::Cp1250ToUtf8(file.name);
      if (ReadAll(path) != file.bytes)
        Fail("\"" + path.string() + "\" differs from the published executable");
    }
    for (const auto& file : spec_.configs) {
      const fs::path path = app / tv::platform::Cp1250ToUtf8(file.name);
      if (ReadAll(path) != file.bytes) Fail("\"" + path.string() + "\" differs from its config");
    }
    CheckManifest(uid);
    CheckFolder(uid);
    CheckOutside(before);
    NoProcessLeft("after the healthy launch");
    NoSanitizerReport("the healthy launch");
  }

  void CheckOutside(const std::map<std::string, std::int64_t>& before) {
    const auto after = Outside();
    for (const auto& [path, size] : after) {
      const auto old = before.find(path);
      if (old == before.end()) {
        Fail("\"" + path + "\" appeared outside the application folder");
      } else if (old->second != size) {
        Fail("\"" + path + "\" outside the application folder changed its size");
      }
    }
    for (const auto& [path, size] : before)
      if (!after.count(path)) Fail("\"" + path + "\" outside the application folder went away");
  }

  void CheckManifest(const std::string& uid) {
    auto channel = std::make_shared<TROHTTPChannel>();
    channel->SetTargetURL(server_.Url());
    auto message = std::make_shared<TROBinMessage>();
    const auto service = CoUpdaterService::Create(message, channel);
    std::unique_ptr<WS_Applications> application;
    std::unique_ptr<WS_Array_Of_Files_executables> executables;
    std::unique_ptr<WS_Array_Of_Applications_config_files> configs;
    std::unique_ptr<WS_Array_Of_Application_locales> locales;
    service->Get_Application(uid, application, executables, configs, locales);
    const fs::path path = AppFolder(uid) / (tv::platform::Cp1250ToUtf8(uid) + ".kvx");
    try {
      const auto stored = LoadManifest(path);
      if (EncodedList(stored.get()) != EncodedList(executables.get()))
        Fail("the manifest differs from the published list");
    } catch (const std::exception& e) {
      Fail(std::string("the manifest cannot be read: ") + e.what());
    }
  }

  // Only what some published version put there, the manifest and the start marker: no
  // temporary or partial file survives.
  void CheckFolder(const std::string& uid) {
    const auto& allowed = allowed_[uid];
    const fs::path app = AppFolder(uid);
    for (const auto& [relative, size] : Snapshot(app, {})) {
      const auto cp1250 = tv::platform::Utf8ToCp1250(relative);
      if (!cp1250 || !allowed.count(*cp1250))
        Fail("\"" + (app / relative).string() + "\" should not be in the application folder");
    }
  }

  // A build with sanitizers reports into the run's output, also in a run that was killed later.
  void NoSanitizerReport(const std::string& which) {
    const std::string output = ReadAll(RunLog());
    for (const char* mark : {"ERROR: AddressSanitizer", "ERROR: LeakSanitizer",
                             "WARNING: ThreadSanitizer", "runtime error:"}) {
      if (output.find(mark) != std::string::npos)
        Fail(which + " reported \"" + mark + "\" (see " + RunLog().string() + ")");
    }
  }

  fs::path RunLog() const { return root_ / "logs" / ("run-" + std::to_string(runs_)); }

  void NoProcessLeft(const std::string& when) {
    const auto until = Clock::now() + milliseconds(3000);
    std::vector<pid_t> left;
    do {
      left = ProcessesInside(root_);
      if (left.empty()) return;
      std::this_thread::sleep_for(milliseconds(50));
    } while (Clock::now() < until);
    Fail(std::to_string(left.size()) + " process(es) left behind " + when);
  }

  const int rounds_;
  const std::uint64_t seed_;
  std::mt19937_64 random_;
  fs::path root_;
  SoakServer server_;
  fs::path updater_;
  tvserver::PublishSpec spec_;
  std::map<std::string, std::set<std::string>> allowed_;
  int round_ = 0;
  int runs_ = 0;
  std::map<FaultKind, int> drawn_;
  std::map<FaultKind, int> struck_;
  std::vector<std::string> failures_;
};

TEST(Soak, EveryFaultIsRepairedByTheNextLaunch) {
  const TUpdaterServiceLibraryRegistration library;
  const int rounds = EnvInt("TV_SOAK_ROUNDS", 5);
  const char* seedText = std::getenv("TV_SOAK_SEED");
  const std::uint64_t seed =
      seedText ? std::strtoull(seedText, nullptr, 10) : std::random_device{}();
  Soak soak(rounds, seed);
  soak.Run();
  std::cout << soak.Summary() << std::endl;
  for (const auto& failure : soak.Failures()) ADD_FAILURE() << failure;
  if (!soak.Failures().empty())
    std::cout << "soak: logs and folders kept in " << soak.Root() << std::endl;
}

}  // namespace
}  // namespace tv::soak
