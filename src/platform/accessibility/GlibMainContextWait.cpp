#include "platform/accessibility/GlibMainContextWait.h"

#include <glib.h>

#include <algorithm>

namespace dunvel {

GlibMainContextWait::GlibMainContextWait(GMainContext* context)
    : context_(g_main_context_ref(context)), owned_(g_main_context_acquire(context) == TRUE) {}

GlibMainContextWait::~GlibMainContextWait() {
  if (owned_) g_main_context_release(context_);
  g_main_context_unref(context_);
}

std::optional<std::chrono::milliseconds> GlibMainContextWait::prepare(std::vector<pollfd>& fds) {
  if (!owned_) return std::nullopt;
  const bool ready = g_main_context_prepare(context_, &priority_) == TRUE;
  int timeout = -1;
  // The context says how many records it needs; asked again when they did not fit.
  for (;;) {
    const int capacity = static_cast<int>(records_.size());
    count_ = g_main_context_query(context_, priority_, &timeout, records_.data(), capacity);
    if (count_ <= capacity) break;
    records_.resize(static_cast<std::size_t>(count_));
  }
  prepared_ = true;
  for (int i = 0; i < count_; ++i) {
    const GPollFD& record = records_[static_cast<std::size_t>(i)];
    fds.push_back(pollfd{record.fd, static_cast<short>(record.events), 0});
  }
  if (ready) return std::chrono::milliseconds(0);
  if (timeout < 0) return std::nullopt;
  return std::chrono::milliseconds(timeout);
}

void GlibMainContextWait::dispatch(std::span<const pollfd> fds) {
  if (!prepared_) return;
  prepared_ = false;
  const std::size_t seen = std::min(fds.size(), static_cast<std::size_t>(count_));
  for (std::size_t i = 0; i < static_cast<std::size_t>(count_); ++i) {
    records_[i].revents = i < seen ? static_cast<gushort>(fds[i].revents) : 0;
  }
  if (g_main_context_check(context_, priority_, records_.data(), count_) == TRUE) {
    g_main_context_dispatch(context_);
  }
}

}  // namespace dunvel
