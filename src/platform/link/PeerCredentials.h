#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

namespace dunvel {

// The user id of the process at the other end of a connected Unix-domain socket, as the kernel
// recorded it when the connection was made (SO_PEERCRED); nothing when the kernel cannot say.
std::optional<uid_t> peerUid(int socketDescriptor);

// Empty when the peer runs as the same user as this process, else one line saying why the
// connection is refused. The link carries commands and game state, so it never crosses users.
std::string checkPeerIsSameUser(int socketDescriptor);

}  // namespace dunvel
