#include "platform/link/LinkToken.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdlib>

namespace dunvel {

namespace {

std::string_view queryParameter(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    if (pair.size() > name.size() && pair.substr(0, name.size()) == name &&
        pair[name.size()] == '=') {
      return pair.substr(name.size() + 1);
    }
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return {};
}

}  // namespace

std::string makeLinkToken() {
  unsigned char bytes[32];
  std::size_t filled = 0;
  while (filled < sizeof bytes) {
    const ssize_t got = getrandom(bytes + filled, sizeof bytes - filled, 0);
    if (got < 0 && errno == EINTR) continue;
    // getrandom blocks until the kernel's pool is ready and then cannot fail for 32 bytes;
    // a companion without random numbers must not go on with a guessable token.
    if (got <= 0) std::abort();
    filled += static_cast<std::size_t>(got);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (const unsigned char byte : bytes) {
    token.push_back(kHex[byte >> 4]);
    token.push_back(kHex[byte & 15]);
  }
  return token;
}

bool sameToken(std::string_view given, std::string_view expected) {
  // Every byte of the expected token is looked at whatever the given one holds, so the time
  // taken says nothing about how long a prefix was right.
  volatile unsigned char difference = given.size() == expected.size() ? 0 : 1;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const unsigned char a = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
    difference = difference | (a ^ static_cast<unsigned char>(expected[i]));
  }
  return difference == 0 && !expected.empty();
}

std::string_view tokenInTarget(std::string_view target) {
  const std::size_t question = target.find('?');
  if (question == std::string_view::npos) return {};
  return queryParameter(target.substr(question + 1), "token");
}

}  // namespace dunvel
