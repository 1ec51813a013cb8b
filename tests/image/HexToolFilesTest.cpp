// Hex files written by an independent tool (Debian's srecord package) must load byte for byte
// into a memory of eight 64 KiB banks.
#include <cstdlib>

#include "image/HexReader.hpp"
#include "tests/RequiredTool.hpp"
#include "tests/image/ImageTestSupport.hpp"

namespace quillorn::test {
namespace {

constexpr size_t kBank = 0x10000;

class ToolHexFiles : public ImageTest {
 protected:
  void SetUp() override {
    const std::string version = PathOf("version.txt");
    std::system(("srec_cat -VERSion > \"" + version + "\" 2>&1").c_str());
    const auto text = ReadFile(version);
    QUILLORN_REQUIRE_TOOL(std::string(text.begin(), text.end()).rfind("srec_cat", 0) == 0, "srec_cat (srecord)");
  }

  // Converts a binary of the given size with srec_cat and returns the hex file's path.
  std::string Convert(const std::vector<uint8_t>& image, const std::string& format, int blockSize) {
    const std::string binary = WriteFile("image.bin", image);
    const std::string hex = PathOf("image.hex");
    const std::string command = "srec_cat \"" + binary + "\" -Binary -o \"" + hex + "\" " + format +
                                " -Output_Block_Size " + std::to_string(blockSize);
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return hex;
  }

  // Replays the recorded writes into the banked memory; fullAddressOf undoes the bank split.
  std::vector<uint8_t> Replay(uint32_t (*fullAddressOf)(const TRecordedCall&)) {
    std::vector<uint8_t> memory(8 * kBank, 0);
    for (const auto& write : driver.Writes) {
      EXPECT_LE(write.Bytes.size(), 32u);
      const uint32_t start = fullAddressOf(write);
      for (size_t i = 0; i < write.Bytes.size(); ++i) {
        if (start + i >= memory.size()) {
          ADD_FAILURE() << "write beyond the memory at " << start + i;
          return memory;
        }
        memory[start + i] = write.Bytes[i];
      }
    }
    return memory;
  }

  static uint32_t Banked16(const TRecordedCall& w) { return (uint32_t{w.Bank} << 16) | w.Address; }

  void ExpectLoadsAsImage(const std::string& format, int blockSize, uint32_t (*fullAddressOf)(const TRecordedCall&),
                          size_t size = 8 * kBank) {
    driver.Writes.clear();
    auto image = RandomBytes(size, static_cast<uint32_t>(blockSize * 131 + format.size()));
    image.resize(8 * kBank, 0);
    const std::string hex = Convert(std::vector<uint8_t>(image.begin(), image.begin() + size), format, blockSize);
    ASSERT_EQ(CheckHexFile(hex), kOk) << format << " " << blockSize;
    ASSERT_EQ(driver.LoadSRecordFile(hex), kOk) << format << " " << blockSize;
    EXPECT_TRUE(Replay(fullAddressOf) == image) << format << " with records of " << blockSize << " bytes";
  }
};

TEST_F(ToolHexFiles, S19LoadsOneBankExactly) {
  ExpectLoadsAsImage("-Motorola -Address_Length=2", 16, Banked16, kBank);
  ExpectLoadsAsImage("-Motorola -Address_Length=2", 64, Banked16, kBank);
}

TEST_F(ToolHexFiles, S28LoadsEightBanks) {
  ExpectLoadsAsImage("-Motorola -Address_Length=3", 16, Banked16);
  ExpectLoadsAsImage("-Motorola -Address_Length=3", 32, Banked16);
  ExpectLoadsAsImage("-Motorola -Address_Length=3", 250, Banked16);
}

TEST_F(ToolHexFiles, S37LoadsEightBanks) {
  ExpectLoadsAsImage("-Motorola -Address_Length=4", 32, Banked16);
  ExpectLoadsAsImage("-Motorola -Address_Length=4", 64, Banked16);
}

TEST_F(ToolHexFiles, IntelWithExtendedLinearAddressesLoadsEightBanks) {
  for (int blockSize : {16, 32, 64, 255}) ExpectLoadsAsImage("-Intel", blockSize, Banked16);
}

}  // namespace
}  // namespace quillorn::test
