#include "serial/OpenFailure.hpp"

#include <utility>

namespace quillorn {

namespace {
thread_local std::string noted;
}  // namespace

void NoteOpenFailure(std::string reason) { noted = std::move(reason); }

std::string TakeOpenFailure() { return std::exchange(noted, std::string()); }

}  // namespace quillorn
