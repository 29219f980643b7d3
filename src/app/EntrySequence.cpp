#include "EntrySequence.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <exception>

#include "Application.h"
#include "CheckPrevious.h"
#include "DlgMessage.h"
#include "DlgSplashScreen.h"
#include "DownloadFileThread.h"
#include "LaunchArgument.h"
#include "Main.h"
#include "UpdaterServiceLibrary_Intf.h"

int RunEntrySequence(const TEntryOptions& options) {
  TApplication application;

  if (options.singleInstance) {
    try {
      if (CheckPreviousInstance(Application->Handle(), 1)) return 0;
    } catch (const std::exception& error) {
      Application->ShowException(error);
      return 1;
    }
  }
  // However the loop ends, the windows go first and the guard's exit step after them.
  struct TExitSequence {
    bool guarded;
    ~TExitSequence() {
      // No activation request may reach windows that are going away.
      if (guarded) SetActivationHandler(nullptr);
      Application->DestroyForms();
      if (guarded) CheckPreviousExit();
    }
  } exitSequence{options.singleInstance};

  if (options.singleInstance) {
    // A refused second start asks this instance to come forward; the request arrives on the
    // listener's thread and is carried over to the user-interface thread.
    SetActivationHandler([](HWND) {
      QMetaObject::invokeMethod(
          QCoreApplication::instance(),
          [] {
            if (Application) Application->BringToFront();
          },
          Qt::QueuedConnection);
    });
  }

  const TUpdaterServiceLibraryRegistration serviceLibrary;
  Application->Title = "Tolvara Updater";
  Application->CreateForm(DownloadModule);
  Application->CreateForm(Form_Main, TForm_MainSettings{options.configurationFile, {}});
  Application->CreateForm(Form_DlgMessage);
  Application->CreateForm(Form_DlgSplashScreen);
  if (options.arguments.empty()) {
    Application->SetMainForm(Form_Main);
  } else {
    // The first argument names the application; any further ones are ignored.
    Form_DlgSplashScreen->FApplicationIdentifier =
        tv::launch::IdentifierFromArgument(options.arguments.front());
    Application->SetMainForm(Form_DlgSplashScreen);
  }
  Application->Run();
  return 0;
}
