#include <unistd.h>

#include <iostream>

#include "preview/DescriptorOutput.h"
#include "preview/PreviewCommand.h"

int main(int argc, char** argv) {
  dunvel::DescriptorOutput standardOutput(STDOUT_FILENO);
  std::ostream out(&standardOutput);
  dunvel::PreviewIo io{std::cin, out, std::cerr};
  return dunvel::runDunvelPreview(io, argc, argv);
}
