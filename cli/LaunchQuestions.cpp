#include "cli/LaunchQuestions.hpp"

#include <cstdio>
#include <string>

#include "cli/CliTexts.hpp"
#include "platform/Console.hpp"

namespace quillorn {

namespace {

std::string OneLine(std::string text) {
  for (char& c : text)
    if (c == '\n') c = ' ';
  return text;
}

bool IsYes(const std::string& answer) {
  for (const char* yes : {"y", "Y", "yes", "д", "Д", "да", "Да"})
    if (answer == yes) return true;
  return false;
}

bool Ask(const TLaunchQuestion& question) {
  std::fprintf(stderr, "%s: %s [y/N] ", question.CaptionUtf8.c_str(), OneLine(question.TextUtf8).c_str());
  std::fflush(stderr);
  char line[64] = {};
  if (std::fgets(line, sizeof line, stdin) == nullptr) return false;
  std::string answer(line);
  while (!answer.empty() && (answer.back() == '\n' || answer.back() == '\r')) answer.pop_back();
  return IsYes(answer);
}

}  // namespace

TAnswer AskLaunchQuestions(const std::vector<TLaunchQuestion>& questions, bool assumeYes) {
  if (questions.empty() || assumeYes) return TAnswer::Yes;
  if (!IsInputTerminal() || !IsTerminal(true)) {
    std::fprintf(stderr, "quillorn: %s\nquillorn: %s\n", OneLine(questions.front().TextUtf8).c_str(),
                 cli_text::kNobodyToAsk);
    return TAnswer::NoTerminal;
  }
  for (const TLaunchQuestion& question : questions)
    if (!Ask(question)) return TAnswer::No;
  return TAnswer::Yes;
}

}  // namespace quillorn
