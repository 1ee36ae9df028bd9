#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/link/LinkTestSupport.h"
#include "platform/recording/RecordingReader.h"
#include "platform/recording/RecordingWriter.h"
#include "platform/runloop/ManualRunLoop.h"

namespace dunvel {
namespace {

using testing::TempFolder;

std::string readAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Read {
  std::vector<RecordingEvent> events;
  std::vector<std::size_t> lines;
  std::vector<std::string> warnings;
};

Read readRecording(const std::string& text) {
  std::istringstream in(text);
  Read read;
  RecordingReader reader(in, "night.jsonl",
                         [&](const std::string& warning) { read.warnings.push_back(warning); });
  RecordingEvent event;
  while (reader.next(event)) {
    read.events.push_back(event);
    read.lines.push_back(reader.line());
  }
  return read;
}

TEST(RecordingFile, TheWriterAppendsWholeLinesThatReadBackAsWritten) {
  TempFolder folder;
  const auto path = folder.path() / "night.jsonl";
  // An earlier recorder was killed in the middle of a line.
  std::ofstream(path) << R"({"t":0,"wall":"2025-06-01T20:00:00Z","event":"start"})" << '\n'
                      << R"({"t":5,"wall":"2025-06-01T20:00:00Z","ev)";
  const std::string before = readAll(path);

  ManualRunLoop loop(Date{1748808000.25});
  std::ostringstream log;
  RecordingWriter writer(
      loop, [&loop] { return loop.uptime(); }, log);
  ASSERT_EQ(writer.open(path, "test"), "");
  loop.advance(1.5);
  writer.hostConnected();
  writer.frame(R"({"type":"context","payload":{"screen":"question","questionOpenedAt":1.5}})");
  writer.tap("award", "t2");
  writer.command({{"action", "award"}, {"teamId", "t2"}});
  writer.haptic(HapticType::success);
  loop.advance(0.000250);
  writer.screen("scoreboard", "scoreboard: ليلة | الصقور | 10");
  writer.hostDisconnected();

  const std::string after = readAll(path);
  ASSERT_EQ(after.substr(0, before.size()), before) << "appended, never truncated";
  EXPECT_EQ(after[before.size()], '\n') << "the cut line is ended before anything new";
  EXPECT_EQ(after.back(), '\n');

  Read read = readRecording(after);
  ASSERT_EQ(read.warnings.size(), 1u);
  EXPECT_EQ(read.warnings[0].rfind("night.jsonl:2: ", 0), 0u) << read.warnings[0];
  ASSERT_EQ(read.events.size(), 9u);
  const RecordingEvent& start = read.events[1];
  EXPECT_EQ(start.kind, RecordingEvent::Kind::start);
  EXPECT_EQ(start.recorder, "test");
  EXPECT_EQ(start.wall, "2025-06-01T20:00:00.250000Z");
  EXPECT_EQ(start.startWall.timeIntervalSince1970, 1748808000.25);
  EXPECT_EQ(read.events[2].kind, RecordingEvent::Kind::connect);
  EXPECT_EQ(read.events[2].t, 1500.0);
  EXPECT_EQ(read.events[2].wall, "2025-06-01T20:00:01.750000Z");
  EXPECT_EQ(read.events[3].frame.type, LinkFrame::Type::context);
  EXPECT_EQ(read.events[3].frame.payload,
            (ContextDictionary{{"screen", "question"}, {"questionOpenedAt", 1.5}}));
  EXPECT_EQ(read.events[4].control, "award");
  EXPECT_EQ(read.events[4].teamId, "t2");
  EXPECT_EQ(read.events[5].message, (ContextDictionary{{"action", "award"}, {"teamId", "t2"}}));
  EXPECT_EQ(read.events[6].haptic, 3);
  EXPECT_EQ(read.events[7].t, 1500.25) << "to the microsecond";
  EXPECT_EQ(read.events[7].shows, "scoreboard: ليلة | الصقور | 10");
  EXPECT_EQ(read.events[8].kind, RecordingEvent::Kind::disconnect);
  EXPECT_EQ(log.str(), "");

  // A folder cannot be recorded to; the reason names it.
  RecordingWriter refused(
      loop, [&loop] { return loop.uptime(); }, log);
  const std::string problem = refused.open(folder.path(), "test");
  EXPECT_NE(problem.find(folder.path().string()), std::string::npos) << problem;
  EXPECT_FALSE(refused.isRecording());
}

TEST(RecordingFile, TheReaderSkipsWhatItCannotUseWithAWarningNamingTheLine) {
  const std::string start = R"({"t":0,"wall":"2025-06-01T20:00:00.5Z","event":"start"})";
  const std::string haptic = R"({"t":900,"wall":"","event":"haptic","type":0})";
  std::string text;
  text += R"({"t":1,"wall":"","event":"connect"})"
          "\n";           // 1: before any start
  text += start + "\n";   // 2
  text += "\n";           // 3: blank, no warning
  text += "{not json\n";  // 4
  text += R"({"t":5,"wall":"","event":"dance"})"
          "\n";  // 5
  text += R"({"t":6,"wall":"","event":"tap"})"
          "\n";  // 6: no control
  text += R"({"t":1e300,"wall":"","event":"connect"})"
          "\n";  // 7: beyond a week
  text += R"({"t":1000,"wall":"","event":"connect"})"
          "\n";                                                  // 8
  text += haptic + "\n";                                         // 9: earlier than line 8
  text += std::string(kMaxRecordingLineBytes + 10, 'x') + "\n";  // 10: too long
  text += R"({"t":1200,"wall":"","event":"frame","frame":{"type":"error"}})"
          "\n";  // 11
  text += R"({"t":1300,"wall":"","event":"disconnect"})"
          "\n";                                                           // 12
  text += R"({"t":1400,"wall":"","event":"screen","screen":"idle","sh)";  // 13: cut short

  Read read = readRecording(text);
  ASSERT_EQ(read.events.size(), 4u);
  EXPECT_EQ(read.lines, (std::vector<std::size_t>{2, 8, 9, 12}));
  EXPECT_EQ(read.events[0].startWall.timeIntervalSince1970, 1748808000.5);
  EXPECT_EQ(read.events[2].kind, RecordingEvent::Kind::haptic);
  EXPECT_EQ(read.events[2].t, 1000.0) << "a time going backwards is taken as the one before";

  const std::vector<std::string> where = {
      "night.jsonl:1: ",  "night.jsonl:4: ",  "night.jsonl:5: ",
      "night.jsonl:6: ",  "night.jsonl:7: ",  "night.jsonl:9: ",
      "night.jsonl:10: ", "night.jsonl:11: ", "night.jsonl:13: "};
  ASSERT_EQ(read.warnings.size(), where.size());
  for (std::size_t i = 0; i < where.size(); ++i) {
    EXPECT_EQ(read.warnings[i].rfind(where[i], 0), 0u) << read.warnings[i];
    EXPECT_EQ(read.warnings[i].find('\n'), std::string::npos) << "one line";
  }
  EXPECT_NE(read.warnings[2].find("unknown event \"dance\""), std::string::npos);
  EXPECT_NE(read.warnings[5].find("earlier than the line before"), std::string::npos);
  EXPECT_NE(read.warnings[8].find("cut short"), std::string::npos);

  // A flood of bad lines is reported a few at a time: the rest are counted.
  std::string garbage = start + "\n";
  for (int i = 0; i < 1000; ++i) garbage += "nonsense\n";
  Read flood = readRecording(garbage);
  EXPECT_EQ(flood.warnings.size(), RecordingReader::kMaxWarningsShown + 1);
}

}  // namespace
}  // namespace dunvel
