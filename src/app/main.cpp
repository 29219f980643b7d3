// TvUpdater: without an argument the installer, with an application identifier the launcher.
#include <QApplication>

#include "EntrySequence.h"

int main(int argc, char** argv) {
  TEntryOptions options;
  // The arguments are application identifiers, never options for Qt: Qt gets only the program
  // name, and the mode is chosen from the arguments exactly as they were given.
  for (int i = 1; i < argc; ++i) options.arguments.emplace_back(argv[i]);
  int qtArgc = 1;
  QApplication qtApplication(qtArgc, argv);
  return RunEntrySequence(options);
}
