#include "TestServer.h"

#include <cstdlib>
#include <stdexcept>

namespace tvserver {

namespace {

std::filesystem::path makeTempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tolvara-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("Cannot create a temporary folder");
  return pattern;
}

}  // namespace

TestServer::TestServer() : TestServer(Options{}) {}

TestServer::TestServer(Options options) : folder_(makeTempFolder()) {
  try {
    store_ = std::make_unique<ServerStore>((folder_ / "store.db").string());
    sessions_ = std::make_unique<AdminSessions>(options.sessionIdleLimit);
    service_ = std::make_unique<UpdaterServiceImpl>(*store_, *sessions_);
    dispatcher_ = std::make_unique<RequestDispatcher>(
        *store_, *service_, RequestDispatcher::Options{options.compress, options.maxRequestBytes},
        &faults_);
    http_ = std::make_unique<UpdateHttpServer>(*dispatcher_,
                                               UpdateHttpServer::Options{"127.0.0.1", 0, 16});
    http_->start();
  } catch (...) {
    http_.reset();
    store_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
    throw;
  }
}

TestServer::~TestServer() {
  http_->stop();
  http_.reset();
  dispatcher_.reset();
  service_.reset();
  store_.reset();
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

PublishResult TestServer::publish(const PublishSpec& plan) {
  return tvserver::publish(*store_, plan);
}

PublishResult TestServer::publishApp(
    const std::string& uid, const std::string& name, const std::vector<File>& executables,
    const std::vector<File>& configs,
    const std::vector<std::pair<std::string, std::vector<File>>>& locales,
    const std::string& main) {
  PublishSpec plan;
  plan.application.uid = uid;
  plan.application.naziv_ikonice = name;
  plan.application.aktivan = std::string(1, 'D');
  for (const auto& [n, bytes] : executables)
    plan.executables.push_back(PublishFile::fromBytes(n, bytes));
  plan.mainExecutable = !main.empty() ? main : executables.empty() ? "" : executables.front().first;
  for (const auto& [n, bytes] : configs) plan.configs.push_back(PublishFile::fromBytes(n, bytes));
  for (const auto& [localeName, files] : locales) {
    PublishLocale l{localeName, {}};
    for (const auto& [n, bytes] : files) l.files.push_back(PublishFile::fromBytes(n, bytes));
    plan.locales.push_back(std::move(l));
  }
  return publish(plan);
}

void TestServer::setAdminPassword(const std::string& user, const std::string& password) {
  store_->setAdminPassword(user, password);
}

}  // namespace tvserver
