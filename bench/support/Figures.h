#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace dunvel::bench {

// The figures a measuring program took, written as JSON for scripts/bench's report:
//   {"figures":[{"name":"idle/wakeups_per_second","value":0,"unit":"/s"},…]}
class Figures {
 public:
  // Also prints the figure on standard output, one line.
  void add(std::string name, double value, std::string unit);
  // False when the file cannot be written.
  bool write(const std::filesystem::path& path) const;

 private:
  struct Figure {
    std::string name;
    double value = 0;
    std::string unit;
  };
  std::vector<Figure> figures_;
};

}  // namespace dunvel::bench
