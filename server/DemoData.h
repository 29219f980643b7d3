// The demo application that "tolvara-server demo" serves: "DEMO", "Demo aplikacija – Kestrov
// Račun", with a start script that records each start (and shows a small window when a display
// and xmessage are there), a data file of a few MiB so that progress can be seen, a
// configuration file and one locale with one file. Throws what publishing throws.
#pragma once

#include <string>

#include "Publisher.h"

namespace tvserver {

inline constexpr const char* kDemoUid = "DEMO";

PublishSpec demoApplication();
// Publishes the demo application and a code list that names it.
PublishResult seedDemo(ServerStore& store);

}  // namespace tvserver
