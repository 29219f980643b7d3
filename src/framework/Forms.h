// TForm: a top-level window of the program with the life of a designer form. It has a handle for
// messages (see Messages.h) that stays safe after the form is gone, handlers bound to message
// numbers, and the events FormCreate, FormShow (before the window becomes visible, at every
// showing), FormActivate, FormCloseQuery, FormClose and FormDestroy.
//
// Closing runs FormCloseQuery first; a refused close keeps the window as it is. Closing the main
// form requests termination of the program. ShowModal runs a modal loop until ModalResult is set
// (by a button, Close or the close box) and the close guard agrees; once the program has seen its
// termination request a modal form ends at once with mrCancel, whatever the guard says. Escape is
// a plain key for a TForm: it hides nothing unless the form binds it.
//
// Errors escaping FormCreate, FormShow, FormActivate, FormClose and message handlers are shown in
// the standard error box and the sequence goes on; an error in FormCloseQuery refuses the close.
// Forms live on the user-interface thread: create, show, close and destroy them only there.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <utility>

#include "Messages.h"

inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;

class QCloseEvent;
class QEventLoop;
class TForm;

// Deleter for forms: runs FormDestroy (with the derived parts still alive), then deletes.
struct TFormDeleter {
  void operator()(TForm* form) const noexcept;
};

template <class T>
using TFormPtr = std::unique_ptr<T, TFormDeleter>;

// Creates a form and runs its FormCreate (errors there are shown, the form is still returned).
template <class T, class... Args>
TFormPtr<T> MakeForm(Args&&... args);

class TForm : public QWidget {
  Q_OBJECT

 public:
  explicit TForm(QWidget* parent = nullptr);
  ~TForm() override;
  TForm(const TForm&) = delete;
  TForm& operator=(const TForm&) = delete;

  HWND Handle() const noexcept { return handle_; }

  // Binds a handler to a message number (replacing an earlier one for that number).
  void RegisterMessageHandler(UINT msg, TMessageHandler handler);
  // Message dispatch: the bound handler, else DefaultHandler. Override to see every message.
  virtual void WndProc(TMessage& message);
  virtual void DefaultHandler(TMessage& message) { message.Result = 0; }

  void Show();
  void Hide();
  // Asks to close: FormCloseQuery, then FormClose and hiding. On a modal form it sets ModalResult
  // to mrCancel instead, which ends the modal loop when the guard agrees.
  void Close();
  // Shows the form modally and returns its modal result once it has closed. Throws
  // std::logic_error when the form is already visible or modal.
  int ShowModal();
  int ModalResult() const noexcept { return modalResult_; }
  // A non-zero result on a modal form asks it to close (guard first, as Close does).
  void SetModalResult(int result);
  bool IsModal() const noexcept { return modal_; }

  // Every way of showing the window (show(), Show, ShowModal) runs FormShow first; a form that is
  // hidden or closed from inside FormShow does not appear.
  void setVisible(bool visible) override;

 protected:
  virtual void FormCreate() {}
  virtual void FormShow() {}
  virtual void FormActivate() {}
  virtual void FormCloseQuery(bool& CanClose) { (void)CanClose; }
  virtual void FormClose() {}
  virtual void FormDestroy() {}

  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  friend struct TFormDeleter;
  friend class TApplication;
  template <class T, class... Args>
  friend TFormPtr<T> MakeForm(Args&&... args);
  friend void DispatchToForm(TForm& form, TMessage& message);

  void DoCreate();
  void DoDestroy();
  bool RunCloseQuery();
  void RunFormClose();
  void EndModal();
  void EndModalForTermination();

  HWND handle_ = 0;
  std::map<UINT, TMessageHandler> handlers_;
  int modalResult_ = mrNone;
  bool modal_ = false;
  bool modalDone_ = false;
  QEventLoop* modalLoop_ = nullptr;
  bool inFormShow_ = false;
  bool hiddenInFormShow_ = false;
  bool destroyed_ = false;
};

template <class T, class... Args>
TFormPtr<T> MakeForm(Args&&... args) {
  TFormPtr<T> form(new T(std::forward<Args>(args)...));
  form->DoCreate();
  return form;
}

// Runs a message through the form's dispatch with the error handling of the framework.
void DispatchToForm(TForm& form, TMessage& message);
