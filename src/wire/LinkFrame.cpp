#include "wire/LinkFrame.h"

#include <nlohmann/json.hpp>

#include "state/SnapshotJson.h"

namespace dunvel {

namespace {

std::string jsonText(std::string_view text) {
  // Replacement characters rather than an exception for text that is not UTF-8: an error line
  // quoting a bad input must still go out.
  return nlohmann::json(std::string(text))
      .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::string payloadLine(std::string_view type, const ContextDictionary& payload) {
  std::string json = writeContextJson(payload);
  while (!json.empty() && (json.back() == '\n' || json.back() == '\r')) json.pop_back();
  std::string line;
  line.reserve(json.size() + 40);
  line.append(R"({"type":)").append(jsonText(type)).append(R"(,"payload":)");
  line.append(json).append("}\n");
  return line;
}

}  // namespace

LinkFrame::Parsed LinkFrame::parse(std::string_view line) {
  const auto refused = [](std::string problem) { return Parsed{std::nullopt, std::move(problem)}; };
  const auto accepted = [](LinkFrame frame) { return Parsed{std::move(frame), {}}; };
  JsonReadResult json = readSnapshotJson(line, kMaxSnapshotDepth + 1);
  if (!json.ok()) return refused(std::move(json.error));
  ContextDictionary& object = json.dictionary;
  const auto typeEntry = object.find("type");
  const std::string* type =
      typeEntry == object.end() ? nullptr : typeEntry->second.get_if<std::string>();
  if (type == nullptr) return refused(R"(/type: a frame needs a "type" text)");

  LinkFrame frame;
  if (*type == "context" || *type == "message") {
    const auto payloadEntry = object.find("payload");
    if (payloadEntry == object.end()) {
      return refused("/payload: a " + *type + " frame needs a payload object");
    }
    auto* payload = payloadEntry->second.get_if<ContextDictionary>();
    if (payload == nullptr) {
      return refused("/payload: the payload of a " + *type + " frame must be an object");
    }
    frame.type = *type == "context" ? Type::context : Type::message;
    frame.payload = std::move(*payload);
    return accepted(std::move(frame));
  }
  if (*type == "reachability") {
    const auto entry = object.find("reachable");
    const bool* reachable = entry == object.end() ? nullptr : entry->second.get_if<bool>();
    if (reachable == nullptr) {
      return refused("/reachable: a reachability frame needs \"reachable\": true or false");
    }
    frame.type = Type::reachability;
    frame.reachable = *reachable;
    return accepted(std::move(frame));
  }
  if (*type == "error") {
    const auto entry = object.find("message");
    const std::string* message =
        entry == object.end() ? nullptr : entry->second.get_if<std::string>();
    frame.type = Type::error;
    frame.message = message != nullptr ? *message : std::string("(no message)");
    return accepted(std::move(frame));
  }
  return refused("/type: unknown frame type " + jsonText(*type) +
                 R"( (expected "context", "message" or "reachability"))");
}

std::string LinkFrame::contextLine(const ContextDictionary& payload) {
  return payloadLine("context", payload);
}

std::string LinkFrame::messageLine(const ContextDictionary& payload) {
  return payloadLine("message", payload);
}

std::string LinkFrame::reachabilityLine(bool reachable) {
  return reachable ? "{\"type\":\"reachability\",\"reachable\":true}\n"
                   : "{\"type\":\"reachability\",\"reachable\":false}\n";
}

std::string LinkFrame::errorLine(std::string_view message) {
  return R"({"type":"error","message":)" + jsonText(message) + "}\n";
}

}  // namespace dunvel
