#include "platform/File.hpp"

#include "tests/image/ImageTestSupport.hpp"

namespace quillorn::test {
namespace {

using FileAccess = ImageTest;

TEST_F(FileAccess, CyrillicPathsOpenMeasureAndSeek) {
  const std::string path = WriteFile("Образ ЭБУ (копия).bin", RandomBytes(300, 1));
  uint64_t length = 0;
  ASSERT_TRUE(GetFileLength(path, length));
  EXPECT_EQ(length, 300u);
  TFile file(path, "rb");
  ASSERT_TRUE(file.IsOpen());
  ASSERT_TRUE(SeekFileTo(file.Get(), 290));
  EXPECT_EQ(TellFile(file.Get()), 290u);
  uint8_t tail[16];
  EXPECT_EQ(std::fread(tail, 1, sizeof tail, file.Get()), 10u);
}

TEST_F(FileAccess, MissingFilesAndFoldersDoNotOpen) {
  uint64_t length = 0;
  EXPECT_FALSE(GetFileLength(PathOf("нет такого.bin"), length));
  EXPECT_EQ(OpenFileUtf8(PathOf("нет такого.bin"), "rb"), nullptr);
  EXPECT_EQ(OpenFileUtf8(FolderPath(), "rb"), nullptr);
  EXPECT_FALSE(GetFileLength(FolderPath(), length));
}

TEST_F(FileAccess, ReplaceSwapsInTheNewFileOrLeavesTheOldOne) {
  const std::string target = WriteFile("прошивка.bin", {1, 2, 3});
  const std::string partial = WriteFile("прошивка.bin.part", {4, 5, 6, 7});
  ASSERT_TRUE(ReplaceFileAtomically(partial, target));
  EXPECT_EQ(ReadFile(target), (std::vector<uint8_t>{4, 5, 6, 7}));
  uint64_t length = 0;
  EXPECT_FALSE(GetFileLength(partial, length));

  EXPECT_FALSE(ReplaceFileAtomically(PathOf("absent.part"), target));
  EXPECT_EQ(ReadFile(target), (std::vector<uint8_t>{4, 5, 6, 7}));
  EXPECT_TRUE(RemoveFileUtf8(target));
  EXPECT_FALSE(RemoveFileUtf8(target));
}

}  // namespace
}  // namespace quillorn::test
