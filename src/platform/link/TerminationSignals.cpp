#include "platform/link/TerminationSignals.h"

#include <asio.hpp>
#include <csignal>
#include <thread>

namespace dunvel {

class TerminationSignals::Impl {
 public:
  explicit Impl(std::function<void(int)> onSignal)
      : onSignal_(std::move(onSignal)), signals_(io_, SIGINT, SIGTERM, SIGHUP) {
    wait();
    thread_ = std::thread([this] { io_.run(); });
  }

  ~Impl() {
    // Cancelling the wait leaves the io_context without work, so run() returns.
    asio::post(io_, [this] {
      std::error_code ignored;
      signals_.cancel(ignored);
    });
    thread_.join();
  }

 private:
  void wait() {
    signals_.async_wait([this](std::error_code error, int signalNumber) {
      if (error) return;
      onSignal_(signalNumber);
      wait();
    });
  }

  std::function<void(int)> onSignal_;
  asio::io_context io_;
  asio::signal_set signals_;
  std::thread thread_;
};

TerminationSignals::TerminationSignals(std::function<void(int signalNumber)> onSignal)
    : impl_(std::make_unique<Impl>(std::move(onSignal))) {}

TerminationSignals::~TerminationSignals() = default;

}  // namespace dunvel
