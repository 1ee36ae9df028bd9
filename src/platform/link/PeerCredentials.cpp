#include "platform/link/PeerCredentials.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace dunvel {

std::optional<uid_t> peerUid(int socketDescriptor) {
  struct ucred credentials {};
  socklen_t length = sizeof credentials;
  if (getsockopt(socketDescriptor, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0 ||
      length != sizeof credentials) {
    return std::nullopt;
  }
  return credentials.uid;
}

std::string checkPeerIsSameUser(int socketDescriptor) {
  const std::optional<uid_t> uid = peerUid(socketDescriptor);
  if (!uid)
    return std::string("refused: the peer's user cannot be determined: ") + std::strerror(errno);
  if (*uid != getuid()) {
    return "refused: the peer runs as uid " + std::to_string(*uid) + ", this link belongs to uid " +
           std::to_string(getuid());
  }
  return {};
}

}  // namespace dunvel
