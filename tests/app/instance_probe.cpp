// A tiny program that runs the single-instance guard the way the updater does, for the tests that
// need real processes. Usage: instance_probe <window> [maxInstances]
// Prints ADMITTED or REFUSED (or ERROR <text>, exit code 1). An admitted probe then answers the
// lines "count" (COUNT <InstanceCount> OWNER <OwnerWindow>) and "exit" on stdin, and prints
// RAISE <window> for every activation request it receives.
#include <cstdio>
#include <iostream>
#include <string>

#include "CheckPrevious.h"
#include "PlatformError.h"

int main(int argc, char** argv) {
  const HWND window = argc > 1 ? std::stoull(argv[1]) : 0;
  const int maxInstances = argc > 2 ? std::stoi(argv[2]) : 1;
  bool refused = false;
  try {
    refused = CheckPreviousInstance(window, maxInstances);
  } catch (const tv::platform::PlatformError& e) {
    std::printf("ERROR %s\n", e.what());
    return 1;
  }
  if (refused) {
    std::printf("REFUSED\n");
    return 0;
  }
  SetActivationHandler([](HWND raised) {
    std::printf("RAISE %llu\n", static_cast<unsigned long long>(raised));
    std::fflush(stdout);
  });
  std::printf("ADMITTED\n");
  std::fflush(stdout);
  std::string line;
  while (std::getline(std::cin, line) && line != "exit") {
    if (line == "count") {
      const auto record = CurrentInstanceMarker();
      std::printf("COUNT %d OWNER %d\n", record ? record->InstanceCount : -1,
                  record ? record->OwnerWindow : -1);
      std::fflush(stdout);
    }
  }
  SetActivationHandler(nullptr);
  return 0;  // the guard's exit step runs as the process ends
}
