// The cost of one re-evaluation of a screen-sized tree: what each snapshot (possibly ten a
// second) costs before any painting.
#include <benchmark/benchmark.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/runloop/ManualRunLoop.h"
#include "views/toolkit/ElementJson.h"
#include "views/toolkit/Node.h"
#include "views/toolkit/State.h"
#include "views/toolkit/ViewGraph.h"

namespace dunvel {
namespace {

struct Row {
  std::string name;
  long long points;
  State<int> taps = 0;
  auto states() { return std::tie(taps); }
  Node body() const {
    return Button([self = *this] { self.taps.set(self.taps.get() + 1); },
                  HStack(VerticalAlignment::center, std::nullopt,
                         {Circle().foregroundColor(Color::gray().opacity(0.4)).frame(8, 8),
                          Text(Verbatim{name}).font(Font::body()).lineLimit(1), Spacer(),
                          Text(LocalizedStringKey::integer(points))
                              .font(Font::body().monospacedDigit().bold())}))
        .padding(8)
        .background(Color::sRGB(0.2, 0.26, 0.42).opacity(0.6))
        .clipShape(RoundedRectangle(10, RoundedCornerStyle::continuous));
  }
};

struct Board {
  const std::vector<std::string>* teams;
  Node body() const {
    return ScrollView(Axis::vertical, ShowsIndicators::yes,
                      VStack(HorizontalAlignment::leading, 6,
                             {Text(Verbatim{"Quiz night"}).font(Font::headline()).lineLimit(1),
                              ForEach(
                                  *teams, [](const std::string& id) { return id; },
                                  [](const std::string& id) {
                                    return View(Row{id, 42});
                                  })})
                          .padding(Edges::horizontal, 4));
  }
};

std::vector<std::string> teamIds(std::size_t count) {
  std::vector<std::string> ids;
  for (std::size_t i = 0; i < count; ++i) ids.push_back("team-" + std::to_string(i));
  return ids;
}

void BM_ReEvaluateBoard(benchmark::State& state) {
  ManualRunLoop loop;
  auto teams = teamIds(static_cast<std::size_t>(state.range(0)));
  ViewGraph graph(View(Board{&teams}), EnvironmentValues{}, loop);
  graph.evaluate();
  for (auto _ : state) {
    graph.evaluate();
    benchmark::DoNotOptimize(graph.tree());
  }
}
BENCHMARK(BM_ReEvaluateBoard)->Arg(4)->Arg(20);

void BM_ElementTreeToJson(benchmark::State& state) {
  ManualRunLoop loop;
  auto teams = teamIds(static_cast<std::size_t>(state.range(0)));
  ViewGraph graph(View(Board{&teams}), EnvironmentValues{}, loop);
  graph.evaluate();
  for (auto _ : state) benchmark::DoNotOptimize(elementToJson(graph.tree()).dump());
}
BENCHMARK(BM_ElementTreeToJson)->Arg(4);

}  // namespace
}  // namespace dunvel
