#include "support/Figures.h"

#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>

namespace dunvel::bench {

void Figures::add(std::string name, double value, std::string unit) {
  std::cout << name << ": " << value << ' ' << unit << '\n';
  figures_.push_back(Figure{std::move(name), value, std::move(unit)});
}

bool Figures::write(const std::filesystem::path& path) const {
  nlohmann::json list = nlohmann::json::array();
  for (const Figure& figure : figures_) {
    list.push_back({{"name", figure.name}, {"value", figure.value}, {"unit", figure.unit}});
  }
  std::ofstream file(path);
  file << nlohmann::json{{"figures", list}}.dump(2) << '\n';
  return static_cast<bool>(file);
}

}  // namespace dunvel::bench
