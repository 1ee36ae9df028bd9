#include <unistd.h>

#include <csignal>
#include <iostream>

#include "preview/DescriptorOutput.h"
#include "preview/PreviewCommand.h"

int main(int argc, char** argv) {
  // A reader that goes away (`| head -1`) makes a write fail with EPIPE, which the command
  // reports with status 1, rather than ending it by a signal with nothing said.
  std::signal(SIGPIPE, SIG_IGN);
  dunvel::DescriptorOutput standardOutput(STDOUT_FILENO);
  std::ostream out(&standardOutput);
  dunvel::PreviewIo io{std::cin, out, std::cerr};
  io.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
  return dunvel::runDunvelPreview(io, argc, argv);
}
