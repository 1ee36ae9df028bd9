#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "state/ContextValue.h"

namespace dunvel {

// The error the companion sends to a host that connects while another host holds the link,
// just before it closes that connection.
inline constexpr std::string_view kLinkTakenMessage =
    "another host is already connected to this companion; one host at a time";

// One line of the socket link, either way:
//   {"type":"context","payload":{…}}        host → companion, the application context
//   {"type":"message","payload":{…}}        either way, a message
//   {"type":"reachability","reachable":b}   host → companion, the host app left or regained the
//                                           foreground
//   {"type":"error","message":"…"}          back to the sender of a refused line
struct LinkFrame {
  enum class Type { context, message, reachability, error };
  struct Parsed;

  Type type = Type::message;
  ContextDictionary payload;  // context and message
  bool reachable = false;     // reachability
  std::string message;        // error

  // Reads one line. A payload is read with the snapshot reader's rules (no null, bounded
  // nesting); its own nesting limit applies, the frame's object adding one level around it.
  static Parsed parse(std::string_view line);

  // The frame as one line, newline included.
  static std::string contextLine(const ContextDictionary& payload);
  static std::string messageLine(const ContextDictionary& payload);
  static std::string reachabilityLine(bool reachable);
  static std::string errorLine(std::string_view message);
};

// What LinkFrame::parse made of a line: the frame, or else one line naming what is wrong and
// where.
struct LinkFrame::Parsed {
  std::optional<LinkFrame> frame;
  std::string problem;
};

}  // namespace dunvel
