#pragma once
// The launch policy's questions on a terminal. A question is only asked of a person: without a
// terminal on standard input and standard error nobody is there to answer, and a job that
// needs an answer is refused rather than started on a guess.
#include <vector>

#include "jobs/PreFlight.hpp"

namespace quillorn {

enum class TAnswer { Yes, No, NoTerminal };

// Yes when every question was answered yes (all of them at once with assumeYes).
TAnswer AskLaunchQuestions(const std::vector<TLaunchQuestion>& questions, bool assumeYes);

}  // namespace quillorn
