#include "Application.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QMessageBox>
#include <algorithm>
#include <stdexcept>

#include "Thread.h"
#include "UiCallQueue.h"

TApplication* Application = nullptr;

namespace {

namespace detail = tv::framework::detail;

// The hidden window that stands for the application itself (its handle is what a second start
// of the program is pointed at); it handles no messages of its own.
class TApplicationWindow : public TForm {};

}  // namespace

TApplication::TApplication() {
  if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
    throw std::logic_error("The QApplication must exist before the application object.");
  if (Application) throw std::logic_error("An application object exists already.");
  // Windows come and go while the program runs (the message dialog, the dimmer); only the main
  // form and Terminate decide when the program ends.
  QGuiApplication::setQuitOnLastWindowClosed(false);
  window_ = std::make_unique<TApplicationWindow>();
  Application = this;
  detail::OpenUiCalls();
}

TApplication::~TApplication() {
  // Threads still sending or synchronizing get their refusal now instead of running work on
  // windows that are about to go.
  detail::CloseUiCalls();
  DestroyForms();
  window_.reset();
  Application = nullptr;
}

void TApplication::Adopt(std::shared_ptr<void> object, TForm* form,
                         std::function<void()> clearReference) {
  owned_.push_back(TOwned{std::move(object), form, std::move(clearReference)});
}

void TApplication::DestroyForms() {
  while (!owned_.empty()) {
    TOwned owned = std::move(owned_.back());
    owned_.pop_back();
    if (owned.form && owned.form == mainForm_) mainForm_ = nullptr;
    owned.object.reset();
    if (owned.clearReference) owned.clearReference();
  }
}

int TApplication::Run() {
  if (!IsUiThread())
    throw std::logic_error("The message loop can run only on the user-interface thread.");
  if (running_) throw std::logic_error("The message loop is running already.");
  running_ = true;
  if (mainForm_) {
    mainForm_->Show();
    if (!SeeQuitRequest()) {
      QEventLoop loop;
      mainLoop_ = &loop;
      loop.exec();
      mainLoop_ = nullptr;
    }
  }
  running_ = false;
  detail::CloseUiCalls();
  return 0;
}

void TApplication::Terminate() {
  quitRequested_.store(true);
  // The request takes effect when a message loop on the user-interface thread picks this up.
  detail::PostToUiThread([] {
    if (Application) Application->SeeQuitRequest();
  });
}

bool TApplication::SeeQuitRequest() {
  if (terminated_.load()) return true;
  if (!quitRequested_.load()) return false;
  terminated_.store(true);
  EndEverythingForTermination();
  return true;
}

void TApplication::EndEverythingForTermination() {
  // Newest first; a copy, because ending a loop unregisters it.
  const std::vector<TModalEntry> loops = modalLoops_;
  for (auto it = loops.rbegin(); it != loops.rend(); ++it) it->endForTermination();
  if (mainLoop_) mainLoop_->exit(0);
}

std::shared_ptr<void> TApplication::RegisterModalLoop(std::function<void()> endForTermination) {
  const int id = nextModalId_++;
  modalLoops_.push_back(TModalEntry{id, std::move(endForTermination)});
  return std::shared_ptr<void>(nullptr, [this, id](void*) {
    modalLoops_.erase(std::remove_if(modalLoops_.begin(), modalLoops_.end(),
                                     [id](const TModalEntry& e) { return e.id == id; }),
                      modalLoops_.end());
  });
}

void TApplication::ProcessMessages() {
  if (!IsUiThread()) return;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

int TApplication::ExecModal(QDialog& dialog) {
  if (SeeQuitRequest()) return mrCancel;
  auto registration = RegisterModalLoop([&dialog] { dialog.done(mrCancel); });
  dialog.setWindowModality(Qt::ApplicationModal);
  return dialog.exec();
}

void TApplication::ShowException(const std::exception& error) {
  const std::string text = error.what();
  if (!IsUiThread()) {
    RunOnUiThread([this, text] { ShowException(std::runtime_error(text)); });
    return;
  }
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(Title),
                  QString::fromStdString(text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  ExecModal(box);
}

void TApplication::HandleException() {
  const std::exception_ptr current = std::current_exception();
  if (!current) return;
  try {
    std::rethrow_exception(current);
  } catch (const std::exception& error) {
    ShowException(error);
  } catch (...) {
    ShowException(std::runtime_error("An unknown error occurred."));
  }
}

void TApplication::BringToFront() {
  if (!mainForm_) return;
  if (mainForm_->isMinimized()) mainForm_->showNormal();
  mainForm_->raise();
  mainForm_->activateWindow();
}

HWND TApplication::Handle() const noexcept {
  return window_->Handle();
}
