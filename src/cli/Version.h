#pragma once

namespace dunvel {

// The project's version ("0.1.0"), and `git describe` of the clone it was built from (empty when
// it was built from a tree without Git). Written at build time into Version.cpp.
extern const char* const kProjectVersion;
extern const char* const kGitDescribe;

}  // namespace dunvel
