#include "platform/view/ViewPage.h"

#include "files/ReadFile.h"
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
    FileBytes read = readRegularFile(path, std::size_t{1} << 20);
    if (!read.bytes) {
      page.files.clear();
      page.problem = "cannot use the view's page " + oneLine(path.string()) + ": " + read.problem;
      return page;
    }
    page.files.push_back({entry.path, entry.contentType, std::move(*read.bytes)});
  }
  return page;
}

}  // namespace dunvel
