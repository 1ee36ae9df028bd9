#include "platform/runloop/TerminationSignals.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/signal_set.hpp>
#include <csignal>
#include <thread>

namespace dunvel {

namespace net = boost::asio;
using ErrorCode = boost::system::error_code;

class TerminationSignals::Impl {
 public:
  explicit Impl(std::function<void(int)> onSignal)
      : onSignal_(std::move(onSignal)), signals_(io_, SIGINT, SIGTERM, SIGHUP) {
    wait();
    thread_ = std::thread([this] { io_.run(); });
  }

  ~Impl() {
    // Cancelling the wait leaves the io_context without work, so run() returns.
    net::post(io_, [this] {
      ErrorCode ignored;
      signals_.cancel(ignored);
    });
    thread_.join();
  }

 private:
  void wait() {
    signals_.async_wait([this](ErrorCode error, int signalNumber) {
      if (error) return;
      onSignal_(signalNumber);
      wait();
    });
  }

  std::function<void(int)> onSignal_;
  net::io_context io_;
  net::signal_set signals_;
  std::thread thread_;
};

TerminationSignals::TerminationSignals(std::function<void(int signalNumber)> onSignal)
    : impl_(std::make_unique<Impl>(std::move(onSignal))) {}

TerminationSignals::~TerminationSignals() = default;

}  // namespace dunvel
