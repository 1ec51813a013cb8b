#pragma once
// The words of a command line the way command-line tools read them: "--opt=value" is the
// same as "--opt value" for an option that takes a value, and "--" ends the options, so a
// file may be called "-x".
#include <cstddef>
#include <set>
#include <string>
#include <vector>

namespace quillorn {

struct TArgumentWords {
  std::vector<std::string> words;  // inline values split off, the "--" that ended the options dropped
  size_t firstOperand = 0;         // words from here on are operands, however they look
};

// valueOptions: the options that take a value ("--port"); their value word is never read as
// "--" or split, so "--trace --" names a file "--".
TArgumentWords SplitArgumentWords(const std::vector<std::string>& args, const std::set<std::string>& valueOptions);

}  // namespace quillorn
