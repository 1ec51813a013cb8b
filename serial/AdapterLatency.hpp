#pragma once
// A USB-serial adapter holds the bytes it receives for up to its latency timer before passing
// them to the PC; every request of ours then waits that long for its echo and its reply. This
// asks the platform, read-only, what it knows about that setting for one device.
#include <cstdint>
#include <optional>
#include <string>

namespace quillorn {

// Where a user changes the setting.
enum class TLatencySetting {
  Unknown,        // the platform cannot tell (not a USB adapter it knows, a virtual port)
  DeviceManager,  // Windows: the adapter driver's advanced port settings
  SysfsFile,      // Linux: the usb-serial driver's latency_timer file
};

struct TAdapterLatency {
  TLatencySetting setting = TLatencySetting::Unknown;
  std::optional<uint32_t> timerMs;  // the value in force, when it could be read
  std::string location;             // the file that holds it (Linux); empty otherwise
};

// devicePath as the port map gives it ("\\.\COM3", "/dev/ttyUSB0" or a link to it). Never
// fails: what cannot be found stays unknown.
TAdapterLatency QueryAdapterLatency(const std::string& devicePath);

}  // namespace quillorn
