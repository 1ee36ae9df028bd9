#include <csignal>
#include <iostream>

#include "watch/WatchCommandLine.h"

int main(int argc, char** argv) {
  // A host that goes away mid-write must not kill the companion with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  return dunvel::watchMain(argc, argv, std::cout, std::cerr);
}
