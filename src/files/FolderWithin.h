#pragma once

#include <filesystem>
#include <string>

#include "files/FileDescriptor.h"

namespace dunvel {

enum class MissingFolders { make, leave };

// A folder below root, opened without following a symbolic link on the way: root itself is
// whatever it names, but each folder of relative below it must be a real folder. An output
// folder may come from a checkout (a pull request can commit `out/more -> /home/somebody`),
// so a link inside it is never a way out of it. Either the open folder, or one line saying why
// not ("cannot make the folder …", "… is a symbolic link: nothing is written through it").
struct FolderWithin {
  FileDescriptor folder;
  std::string problem;
  // The folder exists nowhere yet (MissingFolders::leave): nothing in it to look at.
  bool absent = false;
};

FolderWithin openFolderWithin(const std::filesystem::path& root,
                              const std::filesystem::path& relative, MissingFolders missing);

// Puts bytes at root/relative as one whole new file (mode 0644) renamed over whatever entry is
// there, as replaceWhole does, its folders made below root as openFolderWithin makes them. An
// empty string, or one line naming what is wrong.
std::string replaceFileWithin(const std::filesystem::path& root,
                              const std::filesystem::path& relative, std::string_view bytes);

// Removes the file or link at root/relative, when there is one, reaching it as
// openFolderWithin does; a folder there is left alone. An empty string, or one line.
std::string removeFileWithin(const std::filesystem::path& root,
                             const std::filesystem::path& relative);

}  // namespace dunvel
