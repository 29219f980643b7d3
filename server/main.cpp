// tolvara-server: the update service of Tolvara Updater. See "tolvara-server --help".
#include "ServerCommandLine.h"

int main(int argc, char** argv) {
  return tvserver::runCommandLine(argc, argv);
}
