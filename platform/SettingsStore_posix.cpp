#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/SettingsStore.hpp"

namespace quillorn {

namespace {

constexpr const char* kFileName = "Quillorn.conf";
constexpr const char* kFolder = "Orvik";
constexpr const char* kPortPrefix = "Port";

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  const size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::optional<uint32_t> ParseUnsigned(const std::string& text, uint64_t limit) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  uint64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > limit) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash == 0 ? 1 : slash);
}

// mkdir -p, owner-only for the folders it creates.
bool MakeDirectories(const std::string& directory) {
  struct stat info {};
  if (stat(directory.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  const std::string parent = DirectoryOf(directory);
  if (parent != directory && !MakeDirectories(parent)) return false;
  return mkdir(directory.c_str(), 0700) == 0 || errno == EEXIST;
}

// One line of the file: a named value, or anything else kept as it was.
struct TLine {
  std::string name;  // empty: not a "Name=value" line
  std::string value;
  std::string raw;
};

class TFileSettingsStore final : public ISettingsStore {
 public:
  explicit TFileSettingsStore(std::string path) : path_(std::move(path)) {}

  bool Open() override {
    lines_.clear();
    dirty_ = false;
    open_ = false;
    if (!MakeDirectories(DirectoryOf(path_))) return false;
    if (!ReadLines()) return false;
    if (access(DirectoryOf(path_).c_str(), W_OK) != 0) return false;
    open_ = true;
    return true;
  }

  std::optional<uint32_t> ReadValue(const std::string& name) override {
    if (!open_) return std::nullopt;
    for (const TLine& line : lines_)
      if (line.name == name) return ParseUnsigned(line.value, 0xFFFFFFFFull);
    return std::nullopt;
  }

  bool WriteValue(const std::string& name, uint32_t value) override {
    if (!open_) return false;
    const std::string text = std::to_string(value);
    for (TLine& line : lines_) {
      if (line.name == name) {
        if (line.value != text) dirty_ = true;
        line.value = text;
        line.raw = name + "=" + text;
        return true;
      }
    }
    lines_.push_back({name, text, name + "=" + text});
    dirty_ = true;
    return true;
  }

  bool Close() override {
    const bool kept = !open_ || !dirty_ || ReplaceFile();
    open_ = false;
    dirty_ = false;
    return kept;
  }

  std::map<uint8_t, std::string> PortOverrides() override {
    std::map<uint8_t, std::string> overrides;
    const std::vector<TLine> saved = lines_;
    if (!ReadLines()) {
      lines_ = saved;
      return overrides;
    }
    for (const TLine& line : lines_) {
      if (line.name.rfind(kPortPrefix, 0) != 0 || line.value.empty()) continue;
      const auto number = ParseUnsigned(line.name.substr(4), 254);
      if (number && *number != 0) overrides[static_cast<uint8_t>(*number)] = line.value;
    }
    lines_ = saved;
    return overrides;
  }

 private:
  // A missing file reads as empty; an existing one that cannot be read is a failure.
  bool ReadLines() {
    lines_.clear();
    std::FILE* file = std::fopen(path_.c_str(), "r");
    if (file == nullptr) return errno == ENOENT;
    std::string current;
    int c;
    while ((c = std::fgetc(file)) != EOF) {
      if (c == '\n') {
        AddLine(current);
        current.clear();
      } else {
        current.push_back(static_cast<char>(c));
      }
    }
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (!current.empty()) AddLine(current);
    return !failed;
  }

  void AddLine(const std::string& raw) {
    TLine line{{}, {}, raw};
    const size_t equals = raw.find('=');
    const std::string trimmed = Trim(raw);
    if (equals != std::string::npos && !trimmed.empty() && trimmed[0] != '#') {
      line.name = Trim(raw.substr(0, equals));
      line.value = Trim(raw.substr(equals + 1));
    }
    lines_.push_back(line);
  }

  // Writes a temporary file beside the target and renames it over the target.
  bool ReplaceFile() {
    const std::string temporary = path_ + ".tmp" + std::to_string(getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    std::string text;
    for (const TLine& line : lines_) text += line.raw + "\n";
    bool written = true;
    for (size_t done = 0; written && done < text.size();) {
      const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
      if (n < 0 && errno == EINTR) continue;
      written = n > 0;
      if (written) done += static_cast<size_t>(n);
    }
    written = written && fsync(fd) == 0;
    written = (::close(fd) == 0) && written;
    if (!written || std::rename(temporary.c_str(), path_.c_str()) != 0) {
      std::remove(temporary.c_str());
      return false;
    }
    return true;
  }

  std::string path_;
  std::vector<TLine> lines_;
  bool open_ = false;
  bool dirty_ = false;
};

}  // namespace

std::string DefaultSettingsLocation() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
    base = std::string(home) + "/.config";
  } else {
    base = ".";
  }
  return base + "/" + kFolder + "/" + kFileName;
}

std::unique_ptr<ISettingsStore> CreateUserSettingsStore(const std::string& location) {
  return std::make_unique<TFileSettingsStore>(location.empty() ? DefaultSettingsLocation() : location);
}

}  // namespace quillorn
