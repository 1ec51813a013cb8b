#pragma once
// A name the user gave (a file, a folder, a port, a word of the command line), set apart in a
// message the way Russian text sets it apart.
#include <string>

namespace quillorn {

inline std::string Quoted(const std::string& name) { return "«" + name + "»"; }

}  // namespace quillorn
