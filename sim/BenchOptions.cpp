#include "sim/BenchOptions.hpp"

#include <cerrno>
#include <cstdlib>

namespace quillorn::sim {

namespace {

struct TModelName {
  const char* name;
  TEcuModel model;
};

constexpr TModelName kModels[] = {
    {"january5", TEcuModel::January5}, {"vs51", TEcuModel::Vs51},       {"january72", TEcuModel::January72},
    {"mikas7", TEcuModel::Mikas7},     {"mikas76", TEcuModel::Mikas76}, {"m797", TEcuModel::M797},
    {"m10", TEcuModel::M10},
};

constexpr const char* kPrefix = "sim:";

bool Fail(std::string* error, const std::string& text) {
  if (error) *error = text;
  return false;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

bool ParseUnsigned(const std::string& text, uint64_t limit, uint64_t* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);  // 0x.. accepted
  if (errno != 0 || end == text.c_str() || *end != '\0' || parsed > limit) return false;
  *value = parsed;
  return true;
}

bool ParseProbability(const std::string& text, double* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double parsed = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !(parsed >= 0.0 && parsed <= 1.0)) return false;
  *value = parsed;
  return true;
}

bool ParseModel(const std::string& name, TEcuModel* model) {
  for (const auto& entry : kModels) {
    if (name == entry.name) {
      *model = entry.model;
      return true;
    }
  }
  return false;
}

std::string ModelList() {
  std::string list;
  for (const auto& entry : kModels) {
    if (!list.empty()) list += ", ";
    list += entry.name;
  }
  return list;
}

bool BadValue(std::string* error, const std::string& key, const std::string& value, const char* expected) {
  return Fail(error, "bench option " + key + ": bad value \"" + value + "\" (expected " + expected + ")");
}

bool NoValue(std::string* error, const std::string& key, const std::string& value) {
  return Fail(error, "bench option " + key + " takes no value (got \"" + value + "\")");
}

// A flag accepts no value, "1" or "0".
bool ParseFlag(const std::string& key, const std::string& value, bool hasValue, bool* flag, std::string* error) {
  if (!hasValue || value == "1") {
    *flag = true;
    return true;
  }
  if (value == "0") {
    *flag = false;
    return true;
  }
  return NoValue(error, key, value);
}

bool ApplyOption(const std::string& key, const std::string& value, bool hasValue, TBenchOptions* options,
                 std::string* error) {
  uint64_t number = 0;
  auto needValue = [&]() {
    if (hasValue && !value.empty()) return true;
    Fail(error, "bench option " + key + " needs a value (" + key + "=...)");
    return false;
  };
  if (key == "erase-fail") return ParseFlag(key, value, hasValue, &options->eraseFail, error);
  if (key == "eeprom-nack") return ParseFlag(key, value, hasValue, &options->eepromNack, error);
  if (key == "no-programmer") return ParseFlag(key, value, hasValue, &options->noProgrammer, error);
  if (key == "no-ecu") return ParseFlag(key, value, hasValue, &options->noEcu, error);
  if (!needValue()) return false;
  if (key == "programmer") {
    if (value == "zhv2") options->programmer = TProgrammerModel::Zhv2;
    else if (value == "zhv4") options->programmer = TProgrammerModel::Zhv4;
    else return BadValue(error, key, value, "zhv2 or zhv4");
    return true;
  }
  if (key == "flash") return (options->flashFile = value, true);
  if (key == "eeprom") return (options->eepromFile = value, true);
  if (key == "pace") {
    if (value == "line") options->pace = true;
    else if (value == "none") options->pace = false;
    else return BadValue(error, key, value, "line or none");
    return true;
  }
  if (key == "latency") {
    if (!ParseUnsigned(value, 10000, &number)) return BadValue(error, key, value, "milliseconds, 0 to 10000");
    options->latencyMs = static_cast<uint32_t>(number);
    return true;
  }
  if (key == "noise" || key == "drop") {
    double probability = 0;
    if (!ParseProbability(value, &probability)) return BadValue(error, key, value, "a probability from 0 to 1");
    (key == "noise" ? options->noise : options->drop) = probability;
    return true;
  }
  if (key == "seed") {
    if (!ParseUnsigned(value, 0xFFFFFFFFu, &number)) return BadValue(error, key, value, "a 32-bit number");
    options->seed = static_cast<uint32_t>(number);
    return true;
  }
  if (key == "program-fail") {
    if (!ParseUnsigned(value, 0x7FFFF, &number)) return BadValue(error, key, value, "a flash address below 0x80000");
    options->programFailAddress = static_cast<uint32_t>(number);
    return true;
  }
  if (key == "power-loss-after") {
    if (!ParseUnsigned(value, 0xFFFFFFFFu, &number)) return BadValue(error, key, value, "a number of frames");
    options->powerLossAfterFrames = static_cast<uint32_t>(number);
    return true;
  }
  if (key == "tamper") {
    if (!ParseUnsigned(value, 0xFFFFFFFFu, &number) || number == 0) {
      return BadValue(error, key, value, "the number of a flash write request, from 1");
    }
    options->tamperWrite = static_cast<uint32_t>(number);
    return true;
  }
  if (key == "erase-time") {
    if (!ParseUnsigned(value, 60000, &number)) return BadValue(error, key, value, "milliseconds, 0 to 60000");
    options->eraseTimeMs = static_cast<uint32_t>(number);
    return true;
  }
  if (key == "program-time") {
    if (!ParseUnsigned(value, 1000, &number)) return BadValue(error, key, value, "microseconds, 0 to 1000");
    options->programTimeUs = static_cast<uint32_t>(number);
    return true;
  }
  if (key == "eeprom-write-time") {
    if (!ParseUnsigned(value, 100, &number)) return BadValue(error, key, value, "milliseconds, 0 to 100");
    options->eepromWriteTimeMs = static_cast<uint32_t>(number);
    return true;
  }
  return Fail(error, "unknown bench option \"" + key + "\"");
}

}  // namespace

bool IsBoschModel(TEcuModel model) { return model == TEcuModel::M797 || model == TEcuModel::M10; }

uint32_t FlashSize(TEcuModel model) {
  if (IsBoschModel(model)) return 8 * kPageSize;
  if (model == TEcuModel::Mikas7) return kPageSize;
  return 2 * kPageSize;
}

TFlashChipKind FlashChipKindOf(TEcuModel model) {
  return model == TEcuModel::Vs51 || model == TEcuModel::January72 ? TFlashChipKind::ByteMode51
                                                                   : TFlashChipKind::Normal20;
}

TI2cWiring EepromWiringOf(TEcuModel model) {
  if (model == TEcuModel::January72) return TI2cWiring::Second;
  if (model == TEcuModel::Vs51) return TI2cWiring::Third;
  return TI2cWiring::First;
}

const char* ModelName(TEcuModel model) {
  for (const auto& entry : kModels) {
    if (entry.model == model) return entry.name;
  }
  return "?";
}

bool IsBenchPath(const std::string& path) { return path.rfind(kPrefix, 0) == 0; }

bool ParseBenchPath(const std::string& path, TBenchOptions* options, std::string* error) {
  if (!IsBenchPath(path)) return Fail(error, "not a bench path (expected sim:<model>[,key=value...]): " + path);
  TBenchOptions parsed;
  const std::vector<std::string> parts = Split(path.substr(4), ',');
  if (!ParseModel(parts[0], &parsed.model)) {
    return Fail(error, "unknown bench model \"" + parts[0] + "\" (models: " + ModelList() + ")");
  }
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part.empty()) return Fail(error, "empty bench option in " + path);
    const size_t equals = part.find('=');
    const std::string key = part.substr(0, equals);
    const bool hasValue = equals != std::string::npos;
    const std::string value = hasValue ? part.substr(equals + 1) : std::string();
    if (!ApplyOption(key, value, hasValue, &parsed, error)) return false;
  }
  if (options) *options = parsed;
  return true;
}

bool BenchPathFromArguments(const std::vector<std::string>& words, std::string* path, std::string* error) {
  std::string model;
  std::string options;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (word.rfind("--", 0) != 0 || word.size() == 2) return Fail(error, "unexpected argument \"" + word + "\"");
    const std::string key = word.substr(2);
    const bool hasValue = i + 1 < words.size() && words[i + 1].rfind("--", 0) != 0;
    const std::string value = hasValue ? words[++i] : std::string();
    if (value.find(',') != std::string::npos) return Fail(error, "--" + key + ": a value may not contain ','");
    if (key == "model") {
      if (!hasValue) return Fail(error, "--model needs a value (" + ModelList() + ")");
      model = value;
      continue;
    }
    options += "," + key + (hasValue ? "=" + value : std::string());
  }
  if (model.empty()) return Fail(error, "--model is missing (" + ModelList() + ")");
  const std::string candidate = std::string(kPrefix) + model + options;
  if (!ParseBenchPath(candidate, nullptr, error)) return false;
  *path = candidate;
  return true;
}

}  // namespace quillorn::sim
