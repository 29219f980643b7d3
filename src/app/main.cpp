// The program's entry: the single-instance guard first, then the application object, the data
// module and the three windows (all hidden, in a fixed order), the mode chosen by the number of
// arguments, and the message loop. Every way of ending goes through the loop, so the process
// always leaves through the same exit sequence with exit code 0; only a guard that cannot create
// its marker ends the process with 1.
#include <QApplication>
#include <QMetaObject>
#include <exception>
#include <string>

#include "Application.h"
#include "CheckPrevious.h"
#include "DlgMessage.h"
#include "DlgSplashScreen.h"
#include "DownloadFileThread.h"
#include "Main.h"
#include "UpdaterServiceLibrary_Intf.h"

int main(int argc, char** argv) {
  // The updater's arguments are application identifiers, never options for Qt: Qt gets only the
  // program name, and the mode is chosen from the arguments exactly as they were given.
  const int argumentCount = argc - 1;
  int qtArgc = 1;
  QApplication qtApplication(qtArgc, argv);
  TApplication application;

  try {
    if (CheckPreviousInstance(Application->Handle(), 1)) return 0;
  } catch (const std::exception& error) {
    Application->ShowException(error);
    return 1;
  }
  // The guard's exit step runs after the windows are gone, however the loop ended.
  struct TExitStep {
    ~TExitStep() {
      if (Application) Application->DestroyForms();
      CheckPreviousExit();
    }
  } exitStep;

  // A refused second start asks this instance to come forward; the request arrives on the
  // listener's thread and is carried over to the user-interface thread.
  SetActivationHandler([] {
    QMetaObject::invokeMethod(
        qApp, [] { if (Application) Application->BringToFront(); }, Qt::QueuedConnection);
  });

  const TUpdaterServiceLibraryRegistration serviceLibrary;
  Application->Title = "Tolvara Updater";
  Application->CreateForm(DownloadModule);
  Application->CreateForm(Form_Main);
  Application->CreateForm(Form_DlgMessage);
  Application->CreateForm(Form_DlgSplashScreen);
  if (argumentCount == 0) {
    Application->SetMainForm(Form_Main);
  } else {
    Application->SetMainForm(Form_DlgSplashScreen);
  }
  Application->Run();
  return 0;
}
