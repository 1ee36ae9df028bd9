#include "platform/view/ViewPage.h"

#include "files/ReadRegularFile.h"
#include "state/OneLine.h"

namespace dunvel {

ViewPage readViewPage(const std::filesystem::path& dataFolder) {
  struct Entry {
    const char* path;
    const char* file;
    const char* contentType;
  };
  // The whole table: nothing else is served, and no path of a request is looked up on disk.
  static constexpr Entry kTable[] = {
      {"/view", "view.html", "text/html; charset=utf-8"},
      {"/view.js", "view.js", "text/javascript; charset=utf-8"},
      {"/view.css", "view.css", "text/css; charset=utf-8"},
  };
  ViewPage page;
  for (const Entry& entry : kTable) {
    const std::filesystem::path path = dataFolder / "view" / entry.file;
    RegularFileText read = readRegularFile(path, std::size_t{1} << 20);
    if (!read.text) {
      using Problem = RegularFileText::Problem;
      page.files.clear();
      page.problem = "cannot read the view's page " + oneLine(path.string()) + ": " +
                     (read.problem == Problem::notRegular ? std::string("not a regular file")
                      : read.problem == Problem::tooLarge ? std::string("larger than 1 MiB")
                                                          : read.reason);
      return page;
    }
    page.files.push_back({entry.path, entry.contentType, std::move(*read.text)});
  }
  return page;
}

}  // namespace dunvel
