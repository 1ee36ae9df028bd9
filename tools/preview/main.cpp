#include <iostream>

#include "preview/PreviewCommand.h"

int main(int argc, char** argv) {
  dunvel::PreviewIo io{std::cin, std::cout, std::cerr};
  return dunvel::runDunvelPreview(io, argc, argv);
}
