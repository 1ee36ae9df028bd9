#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "wire/LinkFrame.h"

namespace dunvel {

// Whether a host connection tries again when the companion is not there or goes away.
enum class Reconnect { never, automatically };

// How a connection ended, or why an attempt to make one came to nothing.
enum class HostDisconnect {
  // No connection came about: nobody listening, a link that cannot be used, a peer turned away.
  attemptFailed,
  // The companion closed its side in turn after this end finished sending, or closed cleanly on
  // its own: end of input on the socket, a normal close handshake on the WebSocket.
  companionClosed,
  // Any other end of a connection that was up: an error on the way, a WebSocket closed with a
  // code other than a normal one.
  linkBroke,
};

// What a line from the companion that reports a problem is.
enum class HostProblem {
  // One of its error frames: the message is its own.
  companionError,
  // A line this end cannot read.
  unreadableLine,
};

// The host app's end of the socket link: connects to the companion, sends lines, and hands what
// the companion sends back to its handlers. Its I/O runs on a thread of its own, and every
// handler runs there too. With Reconnect::automatically it keeps trying until it is stopped, so
// a companion that restarts is found again. Connecting never blocks: a socket whose queue of
// connections is full (a stopped companion, or one that never accepts) is tried again every
// 50 ms, with either Reconnect, until it takes the connection or the connection is stopped.
class HostConnection {
 public:
  struct Handlers {
    // The connection is up (after every reconnection too): the place to send the current state.
    std::function<void()> connected;
    // A command (a message frame) from the companion.
    std::function<void(const ContextDictionary&)> message;
    // A line from the companion that reports a problem: its error frames, and lines this end
    // cannot read.
    std::function<void(HostProblem, const std::string&)> problem;
    // The connection went down, or an attempt failed: how, and one line saying why.
    std::function<void(HostDisconnect, const std::string&)> disconnected;
  };

  // link: the companion's socket path, or its WebSocket URL (ws://… or wss://…).
  HostConnection(std::string link, Reconnect reconnect, Handlers handlers);
  // Stops as stop() does.
  ~HostConnection();
  HostConnection(const HostConnection&) = delete;
  HostConnection& operator=(const HostConnection&) = delete;

  // Starts the I/O thread and the first attempt to connect.
  void start();
  // Closes the connection and ends the I/O thread: no handler runs after it returns. Not from a
  // handler. Idempotent.
  void stop();

  // Callable from any thread. The line (newline included) goes out on the current connection,
  // after the lines sent before it; with no connection it is dropped.
  void send(std::string line);
  // Callable from any thread but a handler's. Waits until every line sent before it has been
  // written to the companion, or dropped because the connection went down, or until the time is
  // up; returns false only in the last case.
  bool flush(std::chrono::milliseconds within);
  // Callable from any thread. Ends the connection from this side once every line sent before it
  // has been written: the socket is shut down for sending, the WebSocket closed with its close
  // handshake. The companion deals with what it was sent, answers any of it it refuses, and closes
  // its side in turn, which disconnected reports as companionClosed. Lines sent after it are
  // dropped, and the connection is not made again. Called before the connection is up, it takes
  // effect once it is.
  void finishSending();
  // Callable from any thread. Runs block on the I/O thread, in order with the handlers.
  void post(std::function<void()> block);
  // Runs tick on the I/O thread every interval until stop, connected or not.
  void every(std::chrono::milliseconds interval, std::function<void()> tick);

  // Callable from any thread.
  bool isConnected() const;
  const std::string& link() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace dunvel
