// The user guide's table of messages names every text a user can be shown: each result code's
// message, the refusals' detail lines, the questions, the latency notice and the command-line
// client's own words. A message added without its row in the guide fails here.
#include <fstream>
#include <set>
#include <sstream>

#include "cli/CliTexts.hpp"
#include "jobs/IdentReport.hpp"
#include "jobs/JobLaunch.hpp"
#include "jobs/LatencyNotice.hpp"
#include "tests/image/HexLines.hpp"
#include "tests/image/ImageTestSupport.hpp"

namespace quillorn::test {
namespace {

constexpr const char* kGuide = "docs/ru/guide.md";
constexpr const char* kTableHeading = "\n# Сообщения программы";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f'); }

// What stays of a text when names and numbers may differ: «any name» becomes «», a number
// ("65 536", "0x1FF", "3") becomes #, runs of white space one space, and the guide's escaped
// "\|" a plain bar.
std::string FixedParts(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, 2, "«") == 0) {
      const size_t close = text.find("»", i);
      if (close != std::string::npos) {
        out += "«»";
        i = close + 2;
        continue;
      }
    }
    if (text.compare(i, 2, "\\|") == 0) {
      out += '|';
      i += 2;
      continue;
    }
    if (text.compare(i, 2, "0x") == 0 && i + 2 < text.size() && IsHexDigit(text[i + 2])) {
      for (i += 2; i < text.size() && IsHexDigit(text[i]);) ++i;
      out += '#';
      continue;
    }
    if (IsDigit(text[i])) {
      while (i < text.size() && IsDigit(text[i])) ++i;
      // "131 072": a group of three digits after a space belongs to the same number.
      while (i + 4 <= text.size() && text[i] == ' ' && IsDigit(text[i + 1]) && IsDigit(text[i + 2]) &&
             IsDigit(text[i + 3]) && (i + 4 == text.size() || !IsDigit(text[i + 4])))
        i += 4;
      out += '#';
      continue;
    }
    const bool space = text[i] == ' ' || text[i] == '\n' || text[i] == '\t' || text[i] == '\r';
    if (!space || (!out.empty() && out.back() != ' ')) out += space ? ' ' : text[i];
    ++i;
  }
  return out;
}

// The sentences of a message, each on its own: the guide may set them in rows and lines as it
// explains them.
std::vector<std::string> Sentences(const std::string& text) {
  std::vector<std::string> pieces;
  std::string fixed = FixedParts(text);
  size_t start = 0;
  while (start < fixed.size()) {
    size_t end = fixed.find(". ", start);
    if (end == std::string::npos) end = fixed.size();
    std::string piece = fixed.substr(start, end - start);
    while (!piece.empty() && (piece.back() == ' ' || piece.back() == '.')) piece.pop_back();
    while (!piece.empty() && piece.front() == ' ') piece.erase(0, 1);
    if (!piece.empty()) pieces.push_back(piece);
    start = end + 2;
  }
  return pieces;
}

std::string MessageTable() {
  std::ifstream in(kGuide, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string guide = text.str();
  const size_t start = guide.find(kTableHeading);
  if (start == std::string::npos) return "";
  const size_t end = guide.find("\n# ", start + 1);
  return FixedParts(guide.substr(start, end == std::string::npos ? std::string::npos : end - start));
}

class GuideMessages : public ImageTest {
 protected:
  void ExpectDocumented(const std::string& message, const std::string& where) {
    for (const std::string& sentence : Sentences(message))
      EXPECT_NE(table.find(sentence), std::string::npos) << where << ": not in the guide's table: " << sentence;
  }
  // What a front end says when it launches this job: the refusal, or else the questions.
  void ExpectLaunchDocumented(const char* what, TLaunchChoice choice) {
    const TLaunch launch = PrepareLaunch(choice);
    ASSERT_TRUE(launch.Refused || !launch.Questions.empty()) << what << " neither refused nor asked";
    if (launch.Refused) ExpectDocumented(launch.Refusal.caption + ". " + launch.Refusal.text, what);
    for (const TLaunchQuestion& q : launch.Questions) ExpectDocumented(q.CaptionUtf8 + ". " + q.TextUtf8, what);
  }

  std::string table = MessageTable();
};

TEST_F(GuideMessages, EveryResultCodeAndTheIdentificationReportHaveARow) {
  ASSERT_FALSE(table.empty()) << kGuide << " has no section \"" << kTableHeading + 1 << "\" (run from the source tree)";
  std::set<std::string> texts;
  for (ResultCode code = 0; code < 1024; ++code) {
    const TResultMessage m = MessageForJobResult(code);
    if (texts.insert(m.text).second) ExpectDocumented(m.caption + ". " + m.text, ErrorCaption(code));
    const TResultMessage ident = MessageForIdentificationResult(code, "");
    if (texts.insert(ident.caption + ident.text).second) ExpectDocumented(ident.caption + ". " + ident.text, "identification");
  }
  ExpectDocumented(DefaultIdentReportUtf8(), "identification without a family");
}

TEST_F(GuideMessages, EveryRefusalDetailAndQuestionHasARow) {
  using F = TEcuFamily;
  using A = TJobAction;
  auto file = [&](const std::string& name, const std::string& text) {
    return WriteFile(name, std::vector<uint8_t>(text.begin(), text.end()));
  };
  std::string program(65536, '\x5A');
  program[0] = '\x02';
  std::filesystem::create_directories(folder / "folder");
  struct TCase {
    const char* what;
    F family;
    A action;
    bool flash, dual;
    std::string path;
  };
  const TCase cases[] = {
      {"missing", F::January5, A::Write, true, false, PathOf("missing.bin")},
      {"folder", F::January5, A::Write, true, false, PathOf("folder")},
      {"empty", F::January5, A::Write, true, false, file("empty.bin", "")},
      {"damaged record", F::January5, A::Write, true, false, file("bad.hex", "S104001001EB\n")},
      {"named .hex, no records", F::January5, A::Write, true, false, file("text.hex", "hello\n")},
      {"flash too large", F::January5, A::Write, true, false, file("big.bin", program + program)},
      {"EEPROM too large", F::January5, A::Write, false, false, file("big.eep", std::string(513, '\1'))},
      {"outside both pages", F::January5, A::Write, true, false, file("p2.hex", Lines({S2(0x020000, {7})}))},
      {"outside one page", F::Mikas7, A::Write, true, false, file("p1.hex", Lines({S2(0x010000, {7})}))},
      {"outside the banks", F::M797, A::Write, true, false, file("b0.hex", Lines({S1(0x0010, {7})}))},
      {"outside the EEPROM", F::Vs51, A::Write, false, false, file("e.hex", Lines({S1(0x0000, {7})}))},
      {"written twice", F::January5, A::Write, true, false, file("twice.hex", Lines({S1(0x10, {1, 2}), S1(0x11, {3})}))},
      {"no data", F::January5, A::Write, true, false, file("none.hex", "S9030000FC\n")},
      {"Микас double image", F::Mikas7, A::Write, true, true, file("fw.bin", program)},
      {"EEPROM of eight banks", F::M10, A::Write, false, false, file("immo.eep", std::string(512, '\1'))},
      {"read into a folder", F::January5, A::Read, true, false, PathOf("folder")},
      {"read into no folder", F::January5, A::Read, true, false, PathOf("no/such/dump.bin")},
      {"clear a Микас EEPROM", F::Mikas7, A::ClearEeprom, false, false, ""},
      {"short and not code", F::January5, A::Write, true, false, file("short.bin", "\xFF\xFF")},
      {"short EEPROM", F::January5, A::Write, false, false, file("short.eep", "\1")},
  };
  for (const TCase& c : cases) {
    TLaunchChoice choice;
    choice.Family = c.family;
    choice.Action = c.action;
    choice.Flash = c.flash;
    choice.DualProg = c.dual;
    choice.File = c.path;
    ExpectLaunchDocumented(c.what, choice);
  }

  TJobRequest write, read;
  write.FileName = file("fw.bin", program);
  read.FileName = file("dump.bin", "old");
  read.JobKind = kJobRead;
  file("dump.bin.part", "");
  ExpectDocumented(TraceConflict(write, write.FileName), "trace over the input");
  ExpectDocumented(TraceConflict(read, read.FileName), "trace over the target");
  ExpectDocumented(TraceConflict(read, read.FileName + ".part"), "trace over the read's .part file");
}

TEST_F(GuideMessages, TheLatencyNoticeAndTheCommandLinesOwnWordsHaveARow) {
  const std::string sysfs = "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
  const TLatencyFacts facts[] = {
      {"COM3", 16000, {TLatencySetting::DeviceManager, 16, ""}},
      {"/dev/ttyUSB0", 16000, {TLatencySetting::SysfsFile, 16, sysfs}},
      {"COM3", 16000, {TLatencySetting::DeviceManager, 1, ""}},
      {"COM3", 16000, {TLatencySetting::DeviceManager, std::nullopt, ""}},
      {"/dev/ttyUSB0", 16000, {TLatencySetting::SysfsFile, std::nullopt, sysfs}},
      {"/dev/ttyUSB0", 16000, {TLatencySetting::Unknown, std::nullopt, ""}},
  };
  for (const TLatencyFacts& f : facts) ExpectDocumented(LatencyNotice(f), "latency notice on " + f.portName);
  for (const char* text : cli_text::kAll) ExpectDocumented(text, "command line");
}

}  // namespace
}  // namespace quillorn::test
