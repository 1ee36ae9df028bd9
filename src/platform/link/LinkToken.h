#pragma once

#include <string>
#include <string_view>

namespace dunvel {

// A fresh token for the endpoint: 256 random bits from the kernel, as 64 hex digits.
std::string makeLinkToken();

// Whether a token given by a client is the expected one, in a time that does not depend on how
// much of it is right.
bool sameToken(std::string_view given, std::string_view expected);

// The token a request's target carries (/link?token=…), or empty.
std::string_view tokenInTarget(std::string_view target);

}  // namespace dunvel
