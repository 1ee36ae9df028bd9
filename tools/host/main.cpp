#include <csignal>
#include <iostream>

#include "host/HostCommandLine.h"

int main(int argc, char** argv) {
  // A companion that goes away mid-write must not kill the host with SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  return dunvel::hostMain(argc, argv, std::cin, std::cout, std::cerr);
}
