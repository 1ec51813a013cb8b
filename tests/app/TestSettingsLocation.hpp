#pragma once
// A settings place of the test's own (a file on POSIX, a registry key on Windows), so tests
// never touch the user's settings.
#include <string>

namespace quillorn::test {

// A fresh, empty place.
std::string FreshSettingsLocation();
// A place that can be neither opened nor created.
std::string UnusableSettingsLocation();
void RemoveSettingsLocation(const std::string& location);
// Stores a value that is not an unsigned 32-bit number (a text) under name.
void WriteTextValue(const std::string& location, const std::string& name, const std::string& text);

}  // namespace quillorn::test
