#include "platform/accessibility/GlibMainContextWait.h"

#include <glib-unix.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

namespace dunvel {
namespace {

using std::chrono::milliseconds;

// One sleep of a loop that serves the context: prepare, poll as the window does, dispatch.
std::optional<milliseconds> sleepOnce(GlibMainContextWait& wait, int ceilingMs = 5000) {
  std::vector<pollfd> fds;
  const auto limit = wait.prepare(fds);
  const int timeout = limit ? static_cast<int>(limit->count()) : ceilingMs;
  poll(fds.data(), fds.size(), std::min(timeout, ceilingMs));
  wait.dispatch(fds);
  return limit;
}

struct Context {
  GMainContext* context = g_main_context_new();
  ~Context() { g_main_context_unref(context); }
  void attach(GSource* source, GSourceFunc callback, gpointer data) {
    g_source_set_callback(source, callback, data, nullptr);
    g_source_attach(source, context);
    g_source_unref(source);
  }
};

gboolean countOnce(gpointer calls) {
  ++*static_cast<int*>(calls);
  return G_SOURCE_REMOVE;
}

TEST(GlibMainContextWait, AQuietContextSetsNoLimitAndATimeoutBoundsTheSleepUntilItIsDispatched) {
  Context c;
  GlibMainContextWait wait(c.context);
  ASSERT_TRUE(wait.owned());
  std::vector<pollfd> fds;
  // GLib's own wake-up descriptor is watched, and nothing else bounds the sleep.
  EXPECT_EQ(wait.prepare(fds), std::nullopt);
  EXPECT_EQ(fds.size(), 1u);
  wait.dispatch(fds);

  int calls = 0;
  c.attach(g_timeout_source_new(30), countOnce, &calls);
  const auto limit = sleepOnce(wait);
  ASSERT_TRUE(limit.has_value());
  EXPECT_LE(limit->count(), 30);
  // A sleep may end just before GLib counts the timeout due; the next one dispatches it.
  for (int i = 0; i < 3 && calls == 0; ++i) sleepOnce(wait);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(sleepOnce(wait, 0), std::nullopt);
}

TEST(GlibMainContextWait, ADescriptorSourceIsPolledAndDispatchedWhenReadableAndAnIdleOneAtOnce) {
  Context c;
  GlibMainContextWait wait(c.context);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  int calls = 0;
  // A descriptor source calls back with the descriptor and its condition; GLib takes every
  // callback as a GSourceFunc (G_SOURCE_FUNC casts through a function of no arguments too).
  GUnixFDSourceFunc readable = [](gint, GIOCondition, gpointer calls) { return countOnce(calls); };
  c.attach(g_unix_fd_source_new(pipeFds[0], G_IO_IN),
           reinterpret_cast<GSourceFunc>(reinterpret_cast<void (*)()>(readable)), &calls);
  std::vector<pollfd> fds;
  EXPECT_EQ(wait.prepare(fds), std::nullopt);
  ASSERT_EQ(fds.size(), 2u);
  EXPECT_TRUE(fds[0].fd == pipeFds[0] || fds[1].fd == pipeFds[0]);
  poll(fds.data(), fds.size(), 0);
  wait.dispatch(fds);
  EXPECT_EQ(calls, 0);

  ASSERT_EQ(write(pipeFds[1], "x", 1), 1);
  sleepOnce(wait);
  EXPECT_EQ(calls, 1);

  int idles = 0;
  c.attach(g_idle_source_new(), countOnce, &idles);
  EXPECT_EQ(sleepOnce(wait), milliseconds(0));
  EXPECT_EQ(idles, 1);
  close(pipeFds[0]);
  close(pipeFds[1]);
}

TEST(GlibMainContextWait, ASourceAddedFromAnotherThreadEndsTheSleep) {
  Context c;
  GlibMainContextWait wait(c.context);
  int calls = 0;
  std::vector<pollfd> fds;
  ASSERT_EQ(wait.prepare(fds), std::nullopt);
  std::thread other([&] { c.attach(g_idle_source_new(), countOnce, &calls); });
  // Without the wake-up this sleep would last the whole ceiling and dispatch nothing.
  poll(fds.data(), fds.size(), 10000);
  other.join();
  wait.dispatch(fds);
  for (int i = 0; i < 2 && calls == 0; ++i) sleepOnce(wait, 0);
  EXPECT_EQ(calls, 1);
}

TEST(GlibMainContextWait, AContextOwnedByAnotherThreadIsLeftAlone) {
  Context c;
  std::thread([&] { ASSERT_TRUE(g_main_context_acquire(c.context)); }).join();
  GlibMainContextWait wait(c.context);
  EXPECT_FALSE(wait.owned());
  std::vector<pollfd> fds;
  EXPECT_EQ(wait.prepare(fds), std::nullopt);
  EXPECT_TRUE(fds.empty());
}

}  // namespace
}  // namespace dunvel
