#include "SoakServer.h"

#include <thread>

namespace tv::soak {

SoakServer::SoakServer(const std::filesystem::path& folder)
    : log_(folder / "server.log"),
      store_(std::make_unique<tvserver::ServerStore>((folder / "store.db").string())),
      service_(std::make_unique<tvserver::UpdaterServiceImpl>(*store_, sessions_, &log_)),
      dispatcher_(std::make_unique<tvserver::RequestDispatcher>(
          *store_, *service_, tvserver::RequestDispatcher::Options{}, &faults_)) {
  store_->setServiceActive(true);
  Listen(0);
}

SoakServer::~SoakServer() {
  http_.reset();
}

void SoakServer::Listen(int port) {
  http_ = std::make_unique<tvserver::UpdateHttpServer>(
      *dispatcher_, tvserver::UpdateHttpServer::Options{"127.0.0.1", port, 16});
  port_ = http_->start();
}

std::string SoakServer::Url() const {
  return http_->url();
}

void SoakServer::Restart(std::chrono::milliseconds downtime) {
  http_->stop();
  http_.reset();
  std::this_thread::sleep_for(downtime);
  Listen(port_);
}

}  // namespace tv::soak
