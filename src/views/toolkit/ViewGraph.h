#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "link/MainQueue.h"
#include "views/toolkit/Element.h"
#include "views/toolkit/EnvironmentValues.h"
#include "views/toolkit/Node.h"

namespace dunvel {

// Evaluates a root description into an Element tree and keeps what lives at each place between
// evaluations: view-local state, onReceive subscriptions, the previous onChange values. Main
// thread only.
//
// Re-evaluation happens on the main queue, one block for any number of reasons queued before it
// runs: after each announcement of an observable object in the environment (announcements come
// before the assignment, so the block sees the stored value) and after a State changes value.
// What is shown is brought up to date before time moves on: when a timer of the root
// environment's scheduler falls due while a re-evaluation waits, the re-evaluation runs first,
// so a tick handler never judges a snapshot its screen has not taken in (and a screen that the
// change removes gets no tick). After an evaluation, the places that were not reached are
// discarded: their states are dropped and their subscriptions cancelled (a timer with no
// subscriber left stops).
class ViewGraph {
 public:
  ViewGraph(Node root, EnvironmentValues environment, MainQueue& mainQueue);
  ~ViewGraph();
  ViewGraph(const ViewGraph&) = delete;
  ViewGraph& operator=(const ViewGraph&) = delete;

  // Evaluates now. Called while an evaluation runs (from a body), it queues one instead.
  void evaluate();
  // Replaces the root description (as when the app's scene is rebuilt); places that stay keep
  // their state. Takes effect at the next evaluation.
  void setRoot(Node root);

  // The tree of the last evaluation (an empty group before the first). References into it stay
  // valid until the next evaluation starts (which drops it first).
  const Element& tree() const;

  // Called after every evaluation with the new tree.
  void onEvaluated(std::function<void(const Element&)> listener);

  // What the graph has done since it was made, for tests and benchmarks.
  struct Stats {
    std::size_t evaluations = 0;
  };
  Stats stats() const;
  // Whether a re-evaluation is owed: its block waits on the main queue, unless a timer that
  // falls due first has it run sooner.
  bool isEvaluationQueued() const;

 private:
  struct Impl;
  std::shared_ptr<Impl> impl_;
};

}  // namespace dunvel
