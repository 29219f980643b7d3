#include "Forms.h"

#include <QCloseEvent>
#include <QEvent>
#include <QEventLoop>
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "Application.h"
#include "HandleTable.h"
#include "Thread.h"

namespace {

// Shows the exception being handled in the standard error box; handlers of a form never let an
// error run into Qt's event dispatch.
void ReportCurrentException() noexcept {
  try {
    if (Application) {
      Application->HandleException();
      return;
    }
    // No application object (a form used on its own): the error is still not lost.
    try {
      throw;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s\n", error.what());
    }
  } catch (...) {
  }
}

}  // namespace

TForm::TForm(QWidget* parent) : QWidget(parent, Qt::Window) {
  handle_ = tv::framework::detail::RegisterWindow(this);
}

TForm::~TForm() {
  tv::framework::detail::UnregisterWindow(handle_);
}

void TForm::RegisterMessageHandler(UINT msg, TMessageHandler handler) {
  handlers_[msg] = std::move(handler);
}

void TForm::WndProc(TMessage& message) {
  const auto it = handlers_.find(message.Msg);
  if (it == handlers_.end()) {
    DefaultHandler(message);
    return;
  }
  // A copy: the handler may bind another handler for its own number while it runs.
  const TMessageHandler handler = it->second;
  handler(message);
}

void DispatchToForm(TForm& form, TMessage& message) {
  try {
    form.WndProc(message);
  } catch (...) {
    ReportCurrentException();
  }
}

void TForm::DoCreate() {
  try {
    FormCreate();
  } catch (...) {
    ReportCurrentException();
  }
}

void TForm::DoDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  try {
    FormDestroy();
  } catch (...) {
    ReportCurrentException();
  }
}

void TFormDeleter::operator()(TForm* form) const noexcept {
  if (!form) return;
  form->DoDestroy();
  delete form;
}

void TForm::setVisible(bool visible) {
  if (visible && !isVisible() && !inFormShow_) {
    inFormShow_ = true;
    hiddenInFormShow_ = false;
    try {
      FormShow();
    } catch (...) {
      ReportCurrentException();
    }
    inFormShow_ = false;
    if (hiddenInFormShow_) return;
    if (modal_ && modalDone_) return;
    // A main form whose show handler has ended the program never appears.
    if (!modal_ && Application && Application->MainForm() == this && Application->QuitRequested())
      return;
  }
  QWidget::setVisible(visible);
}

void TForm::Show() {
  show();
}

void TForm::Hide() {
  if (inFormShow_) hiddenInFormShow_ = true;
  if (modal_ && !modalDone_) {
    if (modalResult_ == mrNone) modalResult_ = mrCancel;
    EndModal();
    return;
  }
  hide();
}

bool TForm::RunCloseQuery() {
  bool canClose = true;
  try {
    FormCloseQuery(canClose);
  } catch (...) {
    ReportCurrentException();
    canClose = false;
  }
  return canClose;
}

void TForm::RunFormClose() {
  try {
    FormClose();
  } catch (...) {
    ReportCurrentException();
  }
}

void TForm::Close() {
  if (modal_) {
    SetModalResult(mrCancel);
    return;
  }
  if (!RunCloseQuery()) return;
  RunFormClose();
  if (inFormShow_) hiddenInFormShow_ = true;
  hide();
  if (Application && Application->MainForm() == this) Application->Terminate();
}

void TForm::closeEvent(QCloseEvent* event) {
  // The close box and a close from the system go through the guard like every other close; the
  // window is hidden by Close itself when the guard agrees.
  event->ignore();
  Close();
}

void TForm::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    try {
      FormActivate();
    } catch (...) {
      ReportCurrentException();
    }
  }
}

void TForm::SetModalResult(int result) {
  modalResult_ = result;
  if (!modal_ || modalDone_ || result == mrNone) return;
  if (Application && Application->Terminated()) {
    EndModalForTermination();
    return;
  }
  if (!RunCloseQuery()) {
    modalResult_ = mrNone;
    return;
  }
  RunFormClose();
  EndModal();
}

void TForm::EndModal() {
  modalDone_ = true;
  if (modalLoop_) modalLoop_->exit(0);
}

void TForm::EndModalForTermination() {
  if (!modal_ || modalDone_) return;
  modalResult_ = mrCancel;
  RunFormClose();
  EndModal();
}

int TForm::ShowModal() {
  if (!IsUiThread())
    throw std::logic_error("A window can be shown modally only on the user-interface thread.");
  if (modal_ || isVisible()) throw std::logic_error("Cannot make a visible window modal.");
  modalResult_ = mrNone;
  if (Application && Application->SeeQuitRequest()) {
    // The program is ending: nothing waits for the user any more.
    modalResult_ = mrCancel;
    RunFormClose();
    return modalResult_;
  }
  modal_ = true;
  modalDone_ = false;
  std::shared_ptr<void> registration;
  if (Application)
    registration = Application->RegisterModalLoop([this] { EndModalForTermination(); });
  const Qt::WindowModality previousModality = windowModality();
  setWindowModality(Qt::ApplicationModal);
  Show();
  if (!modalDone_) {
    QEventLoop loop;
    modalLoop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
    modalLoop_ = nullptr;
  }
  registration.reset();
  modal_ = false;
  hide();
  setWindowModality(previousModality);
  return modalResult_;
}
