#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace dunvel::bench {

// A host's end of the socket link as the measuring programs drive it: plain blocking POSIX calls
// and no thread, so what is measured is the companion, not the client.
class LinkClient {
 public:
  LinkClient() = default;
  ~LinkClient();
  LinkClient(const LinkClient&) = delete;
  LinkClient& operator=(const LinkClient&) = delete;

  // Connects, trying again until `within` has passed (the companion may still be starting).
  bool connect(const std::filesystem::path& path,
               std::chrono::milliseconds within = std::chrono::seconds(10));
  bool connected() const { return fd_ >= 0; }
  // Writes all bytes; false when the companion has gone.
  bool write(std::string_view bytes);
  // Reads whatever has arrived, without waiting, and returns the number of whole lines in it that
  // start with prefix. Keeping up with the answers keeps the companion reading.
  std::size_t drainLines(std::string_view prefix);
  void close();

 private:
  int fd_ = -1;
  std::string partial_;
};

}  // namespace dunvel::bench
