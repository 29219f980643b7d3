// Helpers for tests that drive windows on the offscreen platform: a fixture with the application
// object, waiting while events are handled, and acting on modal windows as they appear.
#pragma once

#include <gtest/gtest.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include "Application.h"

namespace tv::test {

// Handles events until done() holds or timeoutMs has passed; returns done().
inline bool ProcessUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return done();
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline void ProcessFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// Calls act(widget) each time a modal window is shown, once its modal loop runs.
class ModalWatcher : public QObject {
 public:
  explicit ModalWatcher(std::function<void(QWidget*)> act) : act_(std::move(act)) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  ~ModalWatcher() override { QCoreApplication::instance()->removeEventFilter(this); }
  int Seen() const { return seen_; }

  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Show && object->isWidgetType()) {
      auto* widget = static_cast<QWidget*>(object);
      if (widget->isWindow() && widget->isModal()) {
        QPointer<QWidget> shown(widget);
        QTimer::singleShot(0, this, [this, shown] {
          if (!shown || !shown->isVisible()) return;
          ++seen_;
          act_(shown);
        });
      }
    }
    return false;
  }

 private:
  std::function<void(QWidget*)> act_;
  int seen_ = 0;
};

// Runs work on a new thread and waits (handling events when pump is set) up to timeoutMs.
// Returns false when the work did not finish in time; the thread is then left to itself.
inline bool RunOnWorker(std::function<void()> work, bool pump, int timeoutMs = 5000) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  std::thread worker([work = std::move(work), done] {
    work();
    done->set_value();
  });
  bool ok;
  if (pump) {
    ok = ProcessUntil(
        [&] { return finished.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
        timeoutMs);
  } else {
    ok = finished.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
  }
  if (ok)
    worker.join();
  else
    worker.detach();
  return ok;
}

// A fresh application object per test, titled as the program titles it.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<TApplication>();
    app_->Title = "Tolvara Updater";
  }
  void TearDown() override { app_.reset(); }

  std::unique_ptr<TApplication> app_;
};

}  // namespace tv::test
