// TApplication: the program's application object (one per process, made by main after the
// QApplication, reachable through the global Application). It owns the forms made with
// CreateForm, knows the main form, runs the main message loop and carries the termination rules:
//
// Terminate posts a quit request and returns; the code that called it runs on. As soon as a
// message loop (the main loop, a modal loop, ProcessMessages) sees the request the application is
// terminated: open modal dialogs end with mrCancel, later ones end at once without waiting for the
// user, and the main loop ends. Closing the main form makes the same request.
//
// Title is the caption of the plain message box and of the standard error box. It is kept here
// and not given to Qt as the display name, which would be appended to every window caption.
// All members but Terminate and Terminated belong to the user-interface thread.
#pragma once

#include <QObject>
#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "Forms.h"

class QDialog;
class QEventLoop;

class TApplication {
 public:
  // Throws std::logic_error without a QApplication or when an application object exists already.
  TApplication();
  // Destroys the owned forms (last created first) and closes the hand-over of work from other
  // threads, which from then on is refused at once.
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  std::string Title;  // UTF-8

  // Creates an object owned by the application, sets reference to it before its FormCreate runs,
  // and clears reference when the object is destroyed. The first form created becomes the main
  // form unless one was set. reference must outlive the application (the program's globals do).
  template <class T, class... Args>
  T* CreateForm(T*& reference, Args&&... args);
  // Destroys every owned object, last created first. Also done by the destructor.
  void DestroyForms();

  TForm* MainForm() const noexcept { return mainForm_; }
  void SetMainForm(TForm* form) noexcept { mainForm_ = form; }

  // Shows the main form (its FormShow runs before it becomes visible; when termination has been
  // requested by then it never appears) and runs the message loop until termination. Without a
  // main form it returns at once. Afterwards work handed over from other threads is refused.
  int Run();
  // Posts the quit request. Safe from any thread.
  void Terminate();
  // True once a message loop has seen the quit request. Safe from any thread.
  bool Terminated() const noexcept { return terminated_.load(); }
  // Handles pending events, among them messages and Synchronize calls of other threads.
  void ProcessMessages();

  // The standard error box: caption Title, error icon, the error's text, one OK button.
  void ShowException(const std::exception& error);
  // Shows the exception being handled (call inside a catch block).
  void HandleException();

  // Restores the main form when minimised and brings it to the front (a refused second start
  // asks the running instance for this).
  void BringToFront();
  // The handle of the application's own hidden window; messages to it are ignored.
  HWND Handle() const noexcept;

  // Runs a Qt dialog under the termination rule: when termination has been seen (or requested)
  // it is not shown and mrCancel is returned; when the quit request arrives while it is open it
  // ends with mrCancel.
  int ExecModal(QDialog& dialog);

  // Framework internals used by TForm.
  // True when the application is terminated; a request not yet seen is taken as seen now.
  bool SeeQuitRequest();
  // Registers what ends a running modal loop on termination; the returned token unregisters.
  std::shared_ptr<void> RegisterModalLoop(std::function<void()> endForTermination);
  bool QuitRequested() const noexcept { return quitRequested_.load() || terminated_.load(); }

 private:
  void Adopt(std::shared_ptr<void> object, TForm* form, std::function<void()> clearReference);
  void EndEverythingForTermination();

  struct TOwned {
    std::shared_ptr<void> object;
    TForm* form;  // the same object when it is a form, else null
    std::function<void()> clearReference;
  };
  std::vector<TOwned> owned_;
  TForm* mainForm_ = nullptr;
  std::atomic<bool> quitRequested_{false};
  std::atomic<bool> terminated_{false};
  bool running_ = false;
  QEventLoop* mainLoop_ = nullptr;
  struct TModalEntry {
    int id;
    std::function<void()> endForTermination;
  };
  std::vector<TModalEntry> modalLoops_;
  int nextModalId_ = 1;
  std::unique_ptr<TForm> window_;  // the hidden application window
};

// The application object of the process, or null when none exists.
extern TApplication* Application;

template <class T, class... Args>
T* TApplication::CreateForm(T*& reference, Args&&... args) {
  T* raw = nullptr;
  TForm* form = nullptr;
  std::shared_ptr<void> holder;
  if constexpr (std::is_base_of_v<TForm, T>) {
    TFormPtr<T> created(new T(std::forward<Args>(args)...));
    raw = created.get();
    form = raw;
    holder = std::shared_ptr<T>(std::move(created));
  } else {
    auto object = std::make_shared<T>(std::forward<Args>(args)...);
    raw = object.get();
    holder = std::move(object);
  }
  reference = raw;
  Adopt(std::move(holder), form, [&reference] { reference = nullptr; });
  if constexpr (std::is_base_of_v<TForm, T>) {
    if (!mainForm_) mainForm_ = raw;
    static_cast<TForm*>(raw)->DoCreate();
  }
  return raw;
}
