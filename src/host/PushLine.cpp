#include "host/PushLine.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>

#include "host/HostConnection.h"
#include "host/WebSocketHostLink.h"

namespace dunvel {

namespace {

std::string seconds(std::chrono::milliseconds duration) {
  const double value = static_cast<double>(duration.count()) / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "%g s", value);
  return text;
}

// What the connection reports, from its thread to the one waiting for the push.
struct PushOutcome {
  std::mutex mutex;
  std::condition_variable changed;
  bool connected = false;
  // The companion's first error frame: later ones follow from it.
  std::optional<std::string> refusal;
  std::optional<HostDisconnect> ended;
  std::string reason;
};

}  // namespace

std::string pushLine(const std::string& link, std::string_view line,
                     std::chrono::milliseconds answerWithin) {
  const auto deadline = std::chrono::steady_clock::now() + answerWithin;
  std::string framed(line);
  if (framed.empty() || framed.back() != '\n') framed.push_back('\n');
  PushOutcome outcome;
  HostConnection* connection = nullptr;
  HostConnection::Handlers handlers;
  handlers.connected = [&] {
    {
      std::lock_guard lock(outcome.mutex);
      outcome.connected = true;
    }
    connection->send(framed);
    connection->finishSending();
  };
  handlers.problem = [&](HostProblem kind, const std::string& text) {
    std::lock_guard lock(outcome.mutex);
    if (kind == HostProblem::companionError && !outcome.refusal) outcome.refusal = text;
  };
  handlers.disconnected = [&](HostDisconnect how, const std::string& reason) {
    std::lock_guard lock(outcome.mutex);
    outcome.ended = how;
    outcome.reason = reason;
    outcome.changed.notify_all();
  };
  HostConnection push(link, Reconnect::never, std::move(handlers));
  connection = &push;
  push.start();
  {
    std::unique_lock lock(outcome.mutex);
    outcome.changed.wait_until(lock, deadline, [&] { return outcome.ended.has_value(); });
  }
  // No handler runs after this, so the outcome is read without the lock.
  push.stop();

  if (outcome.refusal) return "the companion refused it: " + *outcome.refusal;
  const std::string shown = shownLink(link);
  if (!outcome.ended) {
    if (!outcome.connected) {
      return "the companion on " + shown + " took no connection within " + seconds(answerWithin) +
             " (--timeout)";
    }
    return "no answer from the companion on " + shown + " within " + seconds(answerWithin) +
           " (--timeout)";
  }
  if (*outcome.ended == HostDisconnect::companionClosed) return {};
  return outcome.reason;
}

}  // namespace dunvel
