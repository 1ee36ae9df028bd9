// Bytes as a host sends them on the socket link → line splitting → frame → snapshot, the path the
// socket session takes with every read. The input is the byte stream of one connection. Any
// stream must leave every step crash-free and sanitizer-clean, and the invariants below must hold;
// a broken invariant aborts so the fuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "state/ContextDecoding.h"
#include "state/GameState.h"
#include "wire/LineSplitter.h"
#include "wire/LinkFrame.h"

namespace {

using dunvel::LinkFrame;

void require(bool condition) {
  if (!condition) std::abort();
}

struct Split {
  std::vector<std::string> lines;
  int overlong = 0;
  friend bool operator==(const Split&, const Split&) = default;
};

// Reads arrive in pieces of any size; the pieces here come from a small generator seeded with the
// stream's length, so one input always splits the same way.
Split split(std::string_view stream, std::size_t limit, bool inPieces) {
  dunvel::LineSplitter splitter(limit);
  Split result;
  auto onLine = [&](std::string_view line) { result.lines.emplace_back(line); };
  auto onOverlong = [&] { ++result.overlong; };
  std::uint32_t state = static_cast<std::uint32_t>(stream.size()) * 2654435761u + 1;
  while (!stream.empty()) {
    std::size_t piece = stream.size();
    if (inPieces) {
      state = state * 1103515245u + 12345u;
      piece = std::min<std::size_t>(piece, 1 + (state >> 16) % 97);
    }
    splitter.feed(stream.substr(0, piece), onLine, onOverlong);
    stream.remove_prefix(piece);
  }
  for (const std::string& line : result.lines) {
    require(!line.empty());
    require(line.size() <= limit);
    require(line.find('\n') == std::string::npos);
  }
  return result;
}

// What the session does with one line, checked against what the other end would read back.
void handleLine(std::string_view line) {
  const auto [parsed, problem] = LinkFrame::parse(line);
  if (!parsed) {
    require(!problem.empty());
    require(problem.find('\n') == std::string::npos);
    // The answer to a refused line is itself a well-formed error frame.
    const std::string answer = LinkFrame::errorLine(problem);
    require(answer.find('\n') == answer.size() - 1);
    const std::optional<LinkFrame> echoed = LinkFrame::parse(answer).frame;
    require(echoed && echoed->type == LinkFrame::Type::error);
    return;
  }
  const LinkFrame& frame = *parsed;
  switch (frame.type) {
    case LinkFrame::Type::context:
    case LinkFrame::Type::message: {
      const dunvel::GameState state = dunvel::decodeGameState(frame.payload);
      require(state == dunvel::decodeGameState(frame.payload));
      // A payload the companion accepted goes back out (a command, say) as a line that reads
      // back to the same payload.
      const std::string again = frame.type == LinkFrame::Type::context
                                    ? LinkFrame::contextLine(frame.payload)
                                    : LinkFrame::messageLine(frame.payload);
      require(again.find('\n') == again.size() - 1);
      const std::optional<LinkFrame> reread = LinkFrame::parse(again).frame;
      require(reread && reread->type == frame.type);
      require(reread->payload == frame.payload);
      break;
    }
    case LinkFrame::Type::reachability: {
      const std::optional<LinkFrame> reread =
          LinkFrame::parse(LinkFrame::reachabilityLine(frame.reachable)).frame;
      require(reread && reread->type == LinkFrame::Type::reachability);
      require(reread->reachable == frame.reachable);
      break;
    }
    case LinkFrame::Type::error:
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view stream(reinterpret_cast<const char*>(data), size);

  // The line limit as the companion runs, and a small one so that overlong lines, and the lines
  // after them, are reached by small inputs too.
  const Split whole = split(stream, dunvel::kMaxLinkLineBytes, false);
  require(split(stream, dunvel::kMaxLinkLineBytes, true) == whole);
  const Split small = split(stream, 64, false);
  require(split(stream, 64, true) == small);
  require(small.lines.size() + static_cast<std::size_t>(small.overlong) >= whole.lines.size());

  for (const std::string& line : whole.lines) handleLine(line);
  return 0;
}
