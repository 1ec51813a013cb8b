#include "cli/ArgumentWords.hpp"

namespace quillorn {

TArgumentWords SplitArgumentWords(const std::vector<std::string>& args, const std::set<std::string>& valueOptions) {
  TArgumentWords result;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (optionsEnded) {
      result.words.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      result.firstOperand = result.words.size();
      continue;
    }
    const size_t equals = word.find('=');
    const std::string name = word.substr(0, equals);
    if (equals != std::string::npos && word.rfind("--", 0) == 0 && valueOptions.count(name) != 0) {
      result.words.push_back(name);
      result.words.push_back(word.substr(equals + 1));
      continue;
    }
    result.words.push_back(word);
    // The next word is this option's value, whatever it looks like.
    if (valueOptions.count(word) != 0 && i + 1 < args.size()) result.words.push_back(args[++i]);
  }
  if (!optionsEnded) result.firstOperand = result.words.size();
  return result;
}

}  // namespace quillorn
