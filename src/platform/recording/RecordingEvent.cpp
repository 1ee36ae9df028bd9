#include "platform/recording/RecordingEvent.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "state/SnapshotJson.h"

namespace dunvel {

namespace {

struct KindName {
  RecordingEvent::Kind kind;
  const char* name;
};

constexpr KindName kKinds[] = {
    {RecordingEvent::Kind::start, "start"},
    {RecordingEvent::Kind::connect, "connect"},
    {RecordingEvent::Kind::disconnect, "disconnect"},
    {RecordingEvent::Kind::frame, "frame"},
    {RecordingEvent::Kind::tap, "tap"},
    {RecordingEvent::Kind::command, "command"},
    {RecordingEvent::Kind::haptic, "haptic"},
    {RecordingEvent::Kind::screen, "screen"},
};

// A week in milliseconds: longer than any night, and short enough that a replay can run the
// question clock's ticks all the way (one a second) in moments.
constexpr double kMaxTimeMs = 7 * 24 * 3600 * 1000.0;
// 9999-12-31T23:59:59Z.
constexpr double kLastWallSecond = 253402300799.0;

std::string jsonText(std::string_view text) {
  return nlohmann::json(std::string(text))
      .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

const char* RecordingEvent::hapticName(int type) {
  // The enumeration's underlying type is int: any raw value is one of its values.
  return dunvel::hapticName(static_cast<HapticType>(type));
}

std::string millisText(double t) {
  char text[48];
  std::snprintf(text, sizeof text, "%.3f ms", t);
  return text;
}

namespace {

const std::string* textEntry(const ContextDictionary& object, std::string_view key) {
  const auto found = object.find(key);
  return found == object.end() ? nullptr : found->second.get_if<std::string>();
}

// A number of either form, as a double.
std::optional<double> numberEntry(const ContextDictionary& object, std::string_view key) {
  const auto found = object.find(key);
  if (found == object.end()) return std::nullopt;
  if (const auto* integer = found->second.get_if<std::int64_t>()) {
    return static_cast<double>(*integer);
  }
  if (const auto* floating = found->second.get_if<double>()) return *floating;
  return std::nullopt;
}

bool fail(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

}  // namespace

const char* RecordingEvent::kindName(Kind kind) {
  for (const KindName& entry : kKinds) {
    if (entry.kind == kind) return entry.name;
  }
  return "unknown";
}

std::string recordingWallText(Date date) {
  const double seconds = date.timeIntervalSince1970;
  if (!std::isfinite(seconds) || seconds < 0 || seconds > kLastWallSecond) return {};
  auto whole = static_cast<std::int64_t>(std::floor(seconds));
  auto micros = static_cast<std::int64_t>(std::llround((seconds - std::floor(seconds)) * 1e6));
  if (micros >= 1000000) {
    ++whole;
    micros -= 1000000;
  }
  const std::time_t asTime = static_cast<std::time_t>(whole);
  std::tm parts{};
  if (gmtime_r(&asTime, &parts) == nullptr) return {};
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", parts.tm_year + 1900,
                parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                static_cast<int>(micros));
  return text;
}

std::optional<Date> parseRecordingWallText(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SS[.f{1,9}]Z, digits only where digits belong.
  auto digits = [&](std::size_t at, std::size_t count) -> std::optional<int> {
    if (at + count > text.size()) return std::nullopt;
    int value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      value = value * 10 + (text[i] - '0');
    }
    return value;
  };
  const auto year = digits(0, 4), month = digits(5, 2), day = digits(8, 2), hour = digits(11, 2),
             minute = digits(14, 2), second = digits(17, 2);
  if (!year || !month || !day || !hour || !minute || !second || text.size() < 20 ||
      text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':') {
    return std::nullopt;
  }
  if (*year < 1970 || *month < 1 || *month > 12 || *day < 1 || *day > 31 || *hour > 23 ||
      *minute > 59 || *second > 60) {
    return std::nullopt;
  }
  double fraction = 0;
  std::size_t at = 19;
  if (text[at] == '.') {
    ++at;
    double scale = 0.1;
    const std::size_t first = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - first < 9) {
      fraction += (text[at] - '0') * scale;
      scale /= 10;
      ++at;
    }
    if (at == first) return std::nullopt;
  }
  if (at + 1 != text.size() || text[at] != 'Z') return std::nullopt;
  std::tm parts{};
  parts.tm_year = *year - 1900;
  parts.tm_mon = *month - 1;
  parts.tm_mday = *day;
  parts.tm_hour = *hour;
  parts.tm_min = *minute;
  parts.tm_sec = *second;
  const std::time_t seconds = timegm(&parts);
  return Date{static_cast<double>(seconds) + fraction};
}

std::string RecordingEvent::line() const {
  char time[48];
  // Fixed to the microsecond. A time that is not a count of milliseconds at all is written as 0;
  // one past the week a reader takes is still written as it is, for the reader to refuse.
  std::snprintf(time, sizeof time, "%.3f", std::isfinite(t) && t >= 0 && t <= 1e15 ? t : 0);
  std::string out = R"({"t":)";
  out.append(time).append(R"(,"wall":)").append(jsonText(wall));
  out.append(R"(,"event":")").append(kindName(kind)).append("\"");
  switch (kind) {
    case Kind::start:
      out.append(R"(,"recorder":)").append(jsonText(recorder));
      break;
    case Kind::connect:
    case Kind::disconnect:
      break;
    case Kind::frame:
      out.append(R"(,"frame":)").append(frameJson);
      break;
    case Kind::tap:
      out.append(R"(,"control":)").append(jsonText(control));
      if (teamId) out.append(R"(,"teamId":)").append(jsonText(*teamId));
      break;
    case Kind::command:
      out.append(R"(,"message":)").append(writeContextJson(message));
      break;
    case Kind::haptic:
      out.append(R"(,"haptic":")").append(hapticName(haptic)).append(R"(","type":)");
      out.append(std::to_string(haptic));
      break;
    case Kind::screen:
      out.append(R"(,"screen":)").append(jsonText(screen));
      out.append(R"(,"shows":)").append(jsonText(shows));
      break;
  }
  out.append("}\n");
  return out;
}

namespace {

// The frame of a frame event, read with the link's own rules.
bool readFrame(const ContextDictionary& object, RecordingEvent& event, std::string& error) {
  const auto found = object.find("frame");
  const auto* frame = found == object.end() ? nullptr : found->second.get_if<ContextDictionary>();
  if (frame == nullptr) return fail(error, "/frame: a frame event needs the frame object");
  // Read with the link's own rules, so a replay sends only what the link would take.
  event.frameJson = writeContextJson(*frame);
  LinkFrame::Parsed parsed = LinkFrame::parse(event.frameJson);
  if (!parsed.frame) return fail(error, "/frame" + parsed.problem);
  event.frame = std::move(*parsed.frame);
  if (event.frame.type == LinkFrame::Type::error) {
    return fail(error, "/frame/type: an error frame is not something a host plays");
  }
  return true;
}

// The fields of the event's kind, past the time and wall-clock fields every line has.
bool readKindFields(const ContextDictionary& object, RecordingEvent& event, std::string& error) {
  using Kind = RecordingEvent::Kind;
  switch (event.kind) {
    case Kind::start: {
      const std::string* wall = textEntry(object, "wall");
      const std::optional<Date> start = wall ? parseRecordingWallText(*wall) : std::nullopt;
      if (!start) {
        return fail(
            error,
            R"(/wall: a start line needs the wall-clock time, as "2025-06-01T20:15:03.123456Z")");
      }
      event.startWall = *start;
      const std::string* recorder = textEntry(object, "recorder");
      event.recorder = recorder != nullptr ? *recorder : std::string();
      return true;
    }
    case Kind::connect:
    case Kind::disconnect:
      return true;
    case Kind::frame:
      return readFrame(object, event, error);
    case Kind::tap: {
      const std::string* control = textEntry(object, "control");
      if (control == nullptr) return fail(error, R"(/control: a tap needs the "control" text)");
      event.control = *control;
      const auto found = object.find("teamId");
      if (found != object.end()) {
        const std::string* team = found->second.get_if<std::string>();
        if (team == nullptr) return fail(error, "/teamId: the team id must be a text");
        event.teamId = *team;
      }
      return true;
    }
    case Kind::command: {
      const auto found = object.find("message");
      const auto* message =
          found == object.end() ? nullptr : found->second.get_if<ContextDictionary>();
      if (message == nullptr) return fail(error, "/message: a command needs the message object");
      event.message = *message;
      return true;
    }
    case Kind::haptic: {
      const auto found = object.find("type");
      const auto* type = found == object.end() ? nullptr : found->second.get_if<std::int64_t>();
      if (type == nullptr || *type < 0 || *type > 1000) {
        return fail(error, "/type: a haptic needs its raw type, a small whole number");
      }
      event.haptic = static_cast<int>(*type);
      return true;
    }
    case Kind::screen: {
      const std::string* screen = textEntry(object, "screen");
      const std::string* shows = textEntry(object, "shows");
      if (screen == nullptr || shows == nullptr) {
        return fail(error, R"(a screen event needs the "screen" and "shows" texts)");
      }
      event.screen = *screen;
      event.shows = *shows;
      return true;
    }
  }
  return fail(error, "/event: unknown event");
}

bool parseInto(std::string_view line, RecordingEvent& event, std::string& error) {
  // The object, its frame and the frame's payload: two levels more than a snapshot may use.
  JsonReadResult read = readSnapshotJson(line, kMaxSnapshotDepth + 2);
  if (!read.ok()) return fail(error, read.error);
  const ContextDictionary& object = read.dictionary;

  const std::string* kind = textEntry(object, "event");
  if (kind == nullptr) return fail(error, R"(/event: a line needs an "event" text)");
  bool known = false;
  for (const KindName& entry : kKinds) {
    if (*kind == entry.name) {
      event.kind = entry.kind;
      known = true;
    }
  }
  if (!known) return fail(error, "/event: unknown event " + jsonText(*kind));

  const std::optional<double> t = numberEntry(object, "t");
  if (!t || !std::isfinite(*t) || *t < 0 || *t > kMaxTimeMs) {
    return fail(error,
                "/t: the time needs to be a number of milliseconds from 0 to a week (604800000)");
  }
  event.t = *t;
  const std::string* wall = textEntry(object, "wall");
  event.wall = wall != nullptr ? *wall : std::string();

  return readKindFields(object, event, error);
}

}  // namespace

RecordingEvent::Parsed RecordingEvent::parse(std::string_view line) {
  Parsed parsed;
  RecordingEvent event;
  if (parseInto(line, event, parsed.problem)) parsed.event = std::move(event);
  return parsed;
}

}  // namespace dunvel
