#pragma once
// What a bench is made of: the ECU model, the programmer box and the faults to inject, read
// from a device path "sim:<model>[,key=value...]" or from command-line words
// "--model <m> [--key value ...]". Errors are one line of text naming the bad word.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillorn::sim {

enum class TEcuModel { January5, Vs51, January72, Mikas7, Mikas76, M797, M10 };
enum class TProgrammerModel { Zhv2, Zhv4 };
enum class TFlashChipKind { Normal20, ByteMode51 };
enum class TI2cWiring { First, Second, Third };

inline constexpr uint32_t kEepromSize = 512;
inline constexpr uint32_t kPageSize = 65536;

struct TBenchOptions {
  TEcuModel model = TEcuModel::January5;
  TProgrammerModel programmer = TProgrammerModel::Zhv2;
  std::string flashFile;
  std::string eepromFile;
  bool pace = true;          // bytes travel at the line rate
  uint32_t latencyMs = 0;    // adapter-like delay of every byte towards the PC
  double noise = 0;          // probability that a byte between box and ECU has one bit flipped
  double drop = 0;           // probability that such a byte is lost
  uint32_t seed = 1;
  bool eraseFail = false;
  std::optional<uint32_t> programFailAddress;  // linear flash address
  bool eepromNack = false;
  std::optional<uint32_t> powerLossAfterFrames;
  std::optional<uint32_t> tamperWrite;  // 1-based: this flash write request arrives changed
  bool noProgrammer = false;
  bool noEcu = false;
  uint32_t eraseTimeMs = 1000;     // chip erase (the whole memory of a Bosch ECU)
  uint32_t programTimeUs = 10;     // one byte
  uint32_t eepromWriteTimeMs = 5;  // one EEPROM write cycle
};

// Facts fixed by the model.
bool IsBoschModel(TEcuModel model);
uint32_t FlashSize(TEcuModel model);  // 131,072 / 65,536 / 524,288
TFlashChipKind FlashChipKindOf(TEcuModel model);
TI2cWiring EepromWiringOf(TEcuModel model);
const char* ModelName(TEcuModel model);

// "sim:january5,programmer=zhv4,noise=0.01". False with *error set on a bad path.
bool ParseBenchPath(const std::string& path, TBenchOptions* options, std::string* error);
bool IsBenchPath(const std::string& path);

// {"--model", "m797", "--erase-fail", "--seed", "7"} -> "sim:m797,erase-fail,seed=7". A word
// "--key" followed by another "--word" or by nothing is a flag. False with *error set.
bool BenchPathFromArguments(const std::vector<std::string>& words, std::string* path, std::string* error);

}  // namespace quillorn::sim
