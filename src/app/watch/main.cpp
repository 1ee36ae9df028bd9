#include <csignal>
#include <iostream>

#include "app/watch/WatchCommandLine.h"

// Read by LeakSanitizer in the sanitizer builds. SDL opens a session-bus connection for input
// methods that libdbus frees only in dbus_shutdown, which SDL leaves to the end of the process.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libdbus-1.so\n";
}

int main(int argc, char** argv) {
  // A host that goes away mid-write must not kill the companion with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  return dunvel::watchMain(argc, argv, std::cout, std::cerr);
}
