#include "state/SnapshotJson.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <vector>

#include "state/OneLine.h"

namespace dunvel {

namespace {

using Json = nlohmann::json;

// RFC 6901: "~" becomes "~0" and "/" becomes "~1". Keys may hold control characters; the path
// goes into a one-line message, so those are shown as \u00XX.
void appendPointerToken(std::string& path, std::string_view token) {
  std::string escaped;
  escaped.reserve(token.size());
  for (char c : token) {
    if (c == '~') {
      escaped += "~0";
    } else if (c == '/') {
      escaped += "~1";
    } else {
      escaped += c;
    }
  }
  // A pointer is quoted in one-line errors: a key's controls must not break or forge the line.
  path += '/';
  path += oneLine(escaped);
}

// "[json.exception.parse_error.101] parse error at line 1, column 4: syntax error ..." → the
// part after the last prefix, since we give our own line and column.
std::string reasonOf(const std::string& what) {
  std::string_view reason = what;
  if (!reason.empty() && reason.front() == '[') {
    const auto close = reason.find("] ");
    if (close != std::string_view::npos) reason.remove_prefix(close + 2);
  }
  if (reason.starts_with("parse error")) {
    const auto colon = reason.find(": ");
    if (colon != std::string_view::npos) reason.remove_prefix(colon + 2);
  }
  // The reason quotes the token read last, which can be a whole megabyte-long string: keep the
  // line readable, cutting on a character boundary.
  constexpr std::size_t kMaxReason = 160;
  if (reason.size() > kMaxReason) {
    std::size_t cut = kMaxReason;
    while (cut > 0 && (static_cast<unsigned char>(reason[cut]) & 0xC0) == 0x80) --cut;
    return std::string(reason.substr(0, cut)) + "...";
  }
  return std::string(reason);
}

// Line and column (both from 1) of the byte at `position` as the JSON lexer counts: the number
// of bytes read, the offending one included.
std::string lineAndColumn(std::string_view json, std::size_t position) {
  const std::size_t index = std::min(position == 0 ? 0 : position - 1, json.size());
  const std::string_view before = json.substr(0, index);
  const auto line = 1 + std::count(before.begin(), before.end(), '\n');
  const auto lastNewline = before.rfind('\n');
  const std::size_t column =
      lastNewline == std::string_view::npos ? index + 1 : index - lastNewline;
  return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Builds the context dictionary straight from the parser's events. The containers being filled
// sit on an explicit stack, so no part of reading recurses on the input, and the depth check
// stops the parse as soon as a container would open below maxDepth.
class SnapshotBuilder {
 public:
  SnapshotBuilder(std::string_view json, int maxDepth) : json_(json), maxDepth_(maxDepth) {
    frames_.reserve(static_cast<std::size_t>(std::clamp(maxDepth, 0, 256)) + 1);
  }

  bool null() {
    if (frames_.empty()) return fail("the top level is not a JSON object");
    return fail(currentPath() + ": null is not allowed (the link cannot carry it)");
  }
  bool boolean(bool value) { return add(ContextValue(value)); }
  bool number_integer(Json::number_integer_t value) {
    return add(ContextValue(static_cast<std::int64_t>(value)));
  }
  bool number_unsigned(Json::number_unsigned_t value) {
    if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return add(ContextValue(static_cast<std::int64_t>(value)));
    }
    return add(ContextValue(static_cast<std::uint64_t>(value)));
  }
  bool number_float(Json::number_float_t value, const std::string& literal) {
    // The parser hands over integer literals beyond both 64-bit ranges as rounded doubles. Taken
    // as such, -9223372036854775809 would round to -2^63 and pass for an integer it is not; an
    // integer the link cannot carry is refused instead, like null.
    if (literal.find_first_of(".eE") == std::string::npos) {
      return fail(currentPath() + ": integer " + literal + " is beyond the 64-bit range");
    }
    return add(ContextValue(static_cast<double>(value)));
  }
  bool string(std::string& value) { return add(ContextValue(std::move(value))); }
  bool binary(Json::binary_t&) { return fail("binary values are not JSON"); }

  bool start_object(std::size_t) { return open(Frame::Kind::dictionary); }
  bool key(std::string& key) {
    frames_.back().key = std::move(key);
    return true;
  }
  bool end_object() { return close(); }
  bool start_array(std::size_t) { return open(Frame::Kind::array); }
  bool end_array() { return close(); }

  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) {
    return fail(lineAndColumn(json_, position) + ": " + reasonOf(e.what()));
  }

  JsonReadResult result() && {
    JsonReadResult result;
    if (!error_.empty()) {
      result.error = std::move(error_);
    } else if (!root_) {
      result.error = "no JSON object";
    } else {
      result.dictionary = std::move(*root_);
    }
    return result;
  }

 private:
  struct Frame {
    enum class Kind { array, dictionary };
    Kind kind;
    ContextArray array;
    ContextDictionary dictionary;
    std::string key;  // the member whose value comes next
  };

  bool fail(std::string message) {
    if (error_.empty()) error_ = std::move(message);
    return false;
  }

  // The JSON pointer of the value about to be added.
  std::string currentPath() const {
    std::string path;
    for (const Frame& frame : frames_) {
      if (frame.kind == Frame::Kind::array) {
        appendPointerToken(path, std::to_string(frame.array.size()));
      } else {
        appendPointerToken(path, frame.key);
      }
    }
    return path;
  }

  bool open(Frame::Kind kind) {
    if (frames_.empty() && kind != Frame::Kind::dictionary) {
      return fail("the top level is not a JSON object");
    }
    if (static_cast<long long>(frames_.size()) >= maxDepth_) {
      const std::string path = frames_.empty() ? std::string("the top level") : currentPath();
      return fail(path + ": nesting deeper than " + std::to_string(maxDepth_) + " levels");
    }
    frames_.push_back(Frame{kind, {}, {}, {}});
    return true;
  }

  bool close() {
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    if (frames_.empty()) {
      root_ = std::move(frame.dictionary);
      return true;
    }
    if (frame.kind == Frame::Kind::array) return add(ContextValue(std::move(frame.array)));
    return add(ContextValue(std::move(frame.dictionary)));
  }

  bool add(ContextValue value) {
    if (frames_.empty()) return fail("the top level is not a JSON object");
    Frame& top = frames_.back();
    if (top.kind == Frame::Kind::array) {
      top.array.push_back(std::move(value));
    } else {
      // A key given twice keeps its last value, as most JSON readers do.
      top.dictionary.insert_or_assign(std::move(top.key), std::move(value));
    }
    return true;
  }

  std::string_view json_;
  int maxDepth_;
  std::vector<Frame> frames_;
  std::optional<ContextDictionary> root_;
  std::string error_;
};

std::string base64(const ContextData& data) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    const std::uint32_t n = (std::uint32_t{data[i]} << 16) | (std::uint32_t{data[i + 1]} << 8) |
                            std::uint32_t{data[i + 2]};
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += kAlphabet[(n >> 6) & 63];
    out += kAlphabet[n & 63];
  }
  const std::size_t rest = data.size() - i;
  if (rest > 0) {
    std::uint32_t n = std::uint32_t{data[i]} << 16;
    if (rest == 2) n |= std::uint32_t{data[i + 1]} << 8;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

Json toJson(const ContextValue& value);

Json toJson(const ContextDictionary& dictionary) {
  Json object = Json::object();
  for (const auto& [key, member] : dictionary) object[key] = toJson(member);
  return object;
}

// Dictionaries handed to the writer come from the depth-bounded reader or from code, so this
// recursion is as deep as 64 levels at most in practice.
Json toJson(const ContextValue& value) {
  struct Visitor {
    Json operator()(const std::string& text) const { return text; }
    Json operator()(std::int64_t integer) const { return integer; }
    Json operator()(std::uint64_t integer) const { return integer; }
    Json operator()(double floating) const { return floating; }
    Json operator()(bool boolean) const { return boolean; }
    Json operator()(const ContextDate& date) const { return date.secondsSince1970; }
    Json operator()(const ContextData& data) const { return base64(data); }
    Json operator()(const ContextArray& array) const {
      Json out = Json::array();
      for (const ContextValue& element : array) out.push_back(toJson(element));
      return out;
    }
    Json operator()(const ContextDictionary& dictionary) const { return toJson(dictionary); }
  };
  return std::visit(Visitor{}, value.storage());
}

}  // namespace

JsonReadResult readSnapshotJson(std::string_view json, int maxDepth) {
  // The parser takes a NUL byte for the end of its input, so "{...}<NUL>junk" would pass as the
  // object alone; JSON has no place for one anywhere.
  if (const std::size_t nul = json.find('\0'); nul != std::string_view::npos) {
    JsonReadResult refused;
    refused.error = lineAndColumn(json, nul + 1) + ": a NUL byte, which JSON does not allow";
    return refused;
  }
  SnapshotBuilder builder(json, maxDepth);
  Json::sax_parse(json.begin(), json.end(), &builder);
  return std::move(builder).result();
}

std::string writeContextJson(const ContextDictionary& dictionary) {
  // Texts are kept as received, so one may hold ill-formed UTF-8 (a dictionary built in code);
  // `replace` writes U+FFFD for such bytes instead of throwing.
  return toJson(dictionary).dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace dunvel
