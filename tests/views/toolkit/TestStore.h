#pragma once

#include <string>

#include "observation/ObservableObject.h"
#include "observation/Published.h"

namespace dunvel {

// A small observable object for the toolkit's tests: assignments announce, then store.
class TestStore final : public ObservableObject {
 public:
  Published<int> value{*this, 0};
  Published<bool> flag{*this, true};
  Published<double> opened{*this, 0.0};
  Published<std::string> text{*this, ""};
};

}  // namespace dunvel
