#pragma once
// The window checks the chosen port once when it opens; the command-line client does the same
// before a job, and says which port failed and why, in the system's (or the bench's) words.
#include <cstdint>
#include <string>

namespace quillorn {

// Opens the port once with the job's line settings and closes it. False when it cannot be
// used, with "Коммуникационный порт COM99 занят или отсутствует (reason). ..." on standard
// error, naming the port as the user did (COMn, a device path, a "sim:" path).
bool CheckCommandPort(const std::string& userPort, uint8_t portNumber, int baud);

}  // namespace quillorn
