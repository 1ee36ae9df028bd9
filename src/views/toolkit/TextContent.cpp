#include "views/toolkit/TextContent.h"

#include <string_view>
#include <utility>

namespace dunvel {

TextContent::TextContent(Verbatim verbatim)
    : localizable_(false), key_(std::move(verbatim.text)), shown_(key_) {}

TextContent::TextContent(LocalizedStringKey localized)
    : localizable_(true), key_(localized.key()), argument_(localized.argument()) {
  // No translation tables: the key is the text. Its one "%lld" takes the integer, formatted as
  // printf would (std::to_string of a long long is exactly that).
  shown_ = key_;
  if (argument_) {
    constexpr std::string_view format = "%lld";
    if (auto at = shown_.find(format); at != std::string::npos) {
      shown_.replace(at, format.size(), std::to_string(static_cast<long long>(*argument_)));
    }
  }
}

}  // namespace dunvel
