#include <iostream>

#include "preview/FilmCommand.h"
#include "preview/PngCommand.h"
#include "preview/PreviewCommand.h"
#include "preview/ReplayCommand.h"
#include "preview/StateCommand.h"
#include "preview/TreeCommand.h"

int main(int argc, char** argv) {
  dunvel::PreviewIo io{std::cin, std::cout, std::cerr};
  CLI::App app{"", "dunvel-preview"};
  dunvel::configurePreviewApp(app);
  dunvel::addStateCommand(app, io);
  dunvel::addTreeCommand(app, io);
  dunvel::addPngCommand(app, io);
  dunvel::addReplayCommand(app, io);
  dunvel::addFilmCommand(app, io);
  return dunvel::runPreviewApp(app, io, argc, argv);
}
