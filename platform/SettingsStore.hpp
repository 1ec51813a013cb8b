#pragma once
// Where the window keeps the user's choices between runs: unsigned 32-bit values by name.
// Windows: the current user's registry key "\Software\Orvik\Quillorn", REG_DWORD values.
// POSIX: the text file $XDG_CONFIG_HOME/Orvik/Quillorn.conf (~/.config/... by default) of
// "Name=value" lines, replaced in one step when it is written so a crash never leaves half a
// file. On POSIX the same file carries the port-map overrides ("Port7=/dev/ttyUSB3").
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace quillorn {

class ISettingsStore {
 public:
  virtual ~ISettingsStore() = default;

  // Opens the store, creating it when missing; false when it can be neither opened nor created.
  virtual bool Open() = 0;
  // The value, or nothing when it is absent or is not an unsigned 32-bit number (a registry
  // value of another type, a line that does not read as one).
  virtual std::optional<uint32_t> ReadValue(const std::string& name) = 0;
  // False when the value could not be written (the store is not open, the write failed).
  virtual bool WriteValue(const std::string& name, uint32_t value) = 0;
  // Ends the session; for the file store this is when the file is replaced. False when the
  // written values could not be kept.
  virtual bool Close() = 0;

  // Port numbers the user mapped to device paths; empty where the platform has "COM" n itself.
  // Reads the store on its own, without Open.
  virtual std::map<uint8_t, std::string> PortOverrides() = 0;
};

// The store of the current user. location replaces the default place (a registry key path
// under HKEY_CURRENT_USER, or a file path), for tests and a second installation.
std::unique_ptr<ISettingsStore> CreateUserSettingsStore(const std::string& location = {});

// The default place as text, for messages and documentation.
std::string DefaultSettingsLocation();

}  // namespace quillorn
