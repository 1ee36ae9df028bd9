#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace boost::asio {
class io_context;
}

namespace dunvel {

class WebSocketPeer;

// A browser watching the face through the view's socket, known by a number (never 0).
using ViewerId = std::uint64_t;

// One file of the view's page, served from memory exactly as it is. The page is a fixed table of
// these: a request's path picks an entry, and never reaches the file system.
struct ViewFile {
  std::string path;  // "/view", "/view.js", "/view.css"
  std::string contentType;
  std::string body;
};

// What a viewer asks of the face, in points on the face, checked: finite, on the face.
struct ViewerInput {
  enum class Kind { press, move, release, cancel, scroll, tap };
  enum class Unit { point, line };
  Kind kind = Kind::press;
  double x = 0.0;
  double y = 0.0;
  // scroll: how far, positive towards the end of the content.
  double amount = 0.0;
  Unit unit = Unit::point;
  // tap: the identity of the button, as the accessibility elements give it.
  std::string identity;
};

// One message to viewers. Its bytes are shared by every viewer it goes to.
struct ViewerMessage {
  std::shared_ptr<const std::string> bytes;
  bool binary = false;
};

// The viewers of the browser view, on the link's I/O thread beside the hosts: at most a few at
// a time, each fed from the main thread without ever slowing it down. A viewer that reads slowly
// holds one message in flight and, behind it, only the latest of each kind: the latest state of
// each key, a few events, and pixels. When a second set of changed pixels comes before the first
// went out, both are dropped and the viewer is given the whole face (wholeFaceWanted), so it
// catches up with the latest face rather than working through a backlog. What a viewer sends is
// checked here; anything amiss closes its connection with a code and a log line, and only checked
// input reaches the main thread.
class ViewerHub {
 public:
  struct Events {
    // Each is called on the I/O thread and must hand its work on (to the main queue).
    // A viewer's socket opened; it gets nothing of the face until the whole face is sent to it.
    std::function<void(ViewerId)> joined;
    std::function<void(ViewerId)> left;
    // The viewer fell behind: send it the whole face (sendWholeFace).
    std::function<void(ViewerId)> wholeFaceWanted;
    std::function<void(ViewerId, ViewerInput)> input;
    // One line for the companion's log, without a prefix.
    std::function<void(std::string)> log;
  };

  struct Options {
    std::vector<ViewFile> files;
    // The face in points: input outside it is refused.
    double faceWidth = 0.0;
    double faceHeight = 0.0;
    std::size_t maxViewers = 8;
    std::size_t maxMessageBytes = 4096;
    // What a person's hand can send: messages of any kind, and presses and taps, each a second,
    // with a burst of as many at once.
    double messagesPerSecond = 240.0;
    double pressesPerSecond = 12.0;
    // Events (haptics) kept for a viewer that is behind; older ones are dropped first.
    std::size_t maxQueuedEvents = 8;
  };

  explicit ViewerHub(Options options);
  ~ViewerHub();
  ViewerHub(const ViewerHub&) = delete;
  ViewerHub& operator=(const ViewerHub&) = delete;

  // Before the endpoint listens: where the hub's events go.
  void setEvents(Events events);

  // Callable from any thread; each queues its work on the I/O thread, behind what it is doing,
  // and returns at once. to = 0 sends to every viewer. Dropped before the endpoint listens.
  // The latest state under key replaces one of the same key still waiting.
  void sendState(std::string key, ViewerMessage message, ViewerId to = 0);
  // An event, kept in order (a few at most for a viewer that is behind).
  void sendEvent(ViewerMessage message);
  // Changed pixels of the face, after those sent before.
  void sendChangedPixels(ViewerMessage message);
  // The whole face, which brings the viewer up to date.
  void sendWholeFace(ViewerMessage message, ViewerId to);

  // For the endpoint, on the I/O thread.
  const ViewFile* file(std::string_view path) const;
  void attach(boost::asio::io_context& io);
  // Holds a place for a viewer's handshake; false (and a log line) when every place is taken.
  bool reserve(const std::string& address);
  // A handshake that held a place ended without a viewer.
  void unreserve();
  // 0 when the hub has closed: the connection is to end.
  ViewerId arrived(std::shared_ptr<WebSocketPeer> peer, const std::string& address);
  void received(ViewerId viewer, std::string_view text, bool binary);
  void written(ViewerId viewer);
  // The viewer's connection ended; why is empty for a viewer that went away by itself.
  void left(ViewerId viewer, const std::string& why);
  // The endpoint stops: hands over the viewers' connections to close, and takes no more.
  std::vector<std::shared_ptr<WebSocketPeer>> close();

  std::size_t maxMessageBytes() const;

  // Defined beside the viewers it serves.
  class State;

 private:
  std::shared_ptr<State> state_;
};

}  // namespace dunvel
