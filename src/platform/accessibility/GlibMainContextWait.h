#pragma once

#include <poll.h>

#include <chrono>
#include <optional>
#include <span>
#include <vector>

using GMainContext = struct _GMainContext;
using GPollFD = struct _GPollFD;

namespace dunvel {

// A GLib main context served from another loop's sleep: before the sleep, its descriptors and
// its next timeout join the loop's own (prepare); after it, what is ready is dispatched
// (dispatch). Libraries that do their I/O through GLib sources (the accessibility bridge's
// D-Bus connections) then run on the loop's thread without a GLib loop of their own and without
// polling. GLib's own wake-up descriptor is among the descriptors, so a source added from
// another thread ends the sleep. Takes the context's ownership for the calling thread for its
// lifetime; that thread only.
class GlibMainContextWait {
 public:
  explicit GlibMainContextWait(GMainContext* context);
  ~GlibMainContextWait();
  GlibMainContextWait(const GlibMainContextWait&) = delete;
  GlibMainContextWait& operator=(const GlibMainContextWait&) = delete;

  // Whether the thread owns the context (another thread may have taken it first).
  bool owned() const { return owned_; }

  // Appends the context's descriptors to fds; how long the sleep may last at most (zero: a
  // source is ready now; none: no source has a timeout). Every prepare is followed by one
  // dispatch with the descriptors it appended.
  std::optional<std::chrono::milliseconds> prepare(std::vector<pollfd>& fds);
  // Dispatches the sources that are ready, given what the sleep saw on the descriptors.
  void dispatch(std::span<const pollfd> fds);

 private:
  GMainContext* context_;
  bool owned_ = false;
  bool prepared_ = false;
  int priority_ = 0;
  int count_ = 0;
  // GLib's own records of the descriptors, kept between prepare and dispatch.
  std::vector<GPollFD> records_;
};

}  // namespace dunvel
