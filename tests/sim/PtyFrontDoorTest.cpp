// The stand-alone bench: quillorn-sim prints its pseudo-terminal, the POSIX serial backend
// opens it like any port, the box echoes and the boot loader answers; SIGTERM saves and ends.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

#include "serial/PortMap.hpp"
#include "serial/SerialDevice.hpp"

namespace {

struct TChild {
  pid_t pid = -1;
  std::string firstLine;
};

TChild Launch(const std::vector<std::string>& arguments) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    std::vector<char*> argv;
    static std::string program = QUILLORN_SIM_EXECUTABLE;
    argv.push_back(program.data());
    std::vector<std::string> copies = arguments;
    for (auto& word : copies) argv.push_back(word.data());
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  TChild child;
  child.pid = pid;
  FILE* output = fdopen(pipeFds[0], "r");
  char line[256] = {};
  if (output && std::fgets(line, sizeof line, output)) child.firstLine = line;
  if (!child.firstLine.empty() && child.firstLine.back() == '\n') child.firstLine.pop_back();
  if (output) std::fclose(output);
  return child;
}

int Terminate(pid_t pid) {
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(PtyFrontDoor, SyncThroughThePosixBackendThenSaveOnSigterm) {
  const auto flashFile = std::filesystem::temp_directory_path() / ("quillorn-pty-" + std::to_string(getpid()) + ".bin");
  std::filesystem::remove(flashFile);
  TChild child = Launch({"--model", "january5", "--flash", flashFile.string()});
  ASSERT_GT(child.pid, 0);
  ASSERT_EQ(child.firstLine.rfind("/dev/pts/", 0), 0u) << child.firstLine;

  quillorn::TPortMap::Instance().SetOverride(203, child.firstLine);
  int32_t error = 0;
  auto device = quillorn::OpenSerialDevice("COM203", &error);
  ASSERT_TRUE(device) << error;
  quillorn::TDcb dcb;
  device->GetState(dcb, nullptr);
  dcb.BaudRate = 57600;
  dcb.StopBits = quillorn::kTwoStopBits;
  ASSERT_TRUE(device->SetState(dcb, nullptr));
  quillorn::TCommTimeouts timeouts;
  timeouts.ReadTotalTimeoutConstant = 2000;
  device->SetTimeouts(timeouts, nullptr);
  EXPECT_FALSE(device->Escape(quillorn::kSetDtr)) << "a pseudo-terminal has no modem lines";

  const uint8_t sync = 0x00;
  uint32_t done = 0;
  ASSERT_TRUE(device->Write(&sync, 1, &done, nullptr));
  uint8_t back[2] = {};
  uint32_t got = 0;
  ASSERT_TRUE(device->Read(back, 2, &got, nullptr));
  ASSERT_EQ(got, 2u);
  EXPECT_EQ(back[0], 0x00) << "the echo";
  EXPECT_EQ(back[1], 0x55) << "the boot loader";
  device.reset();
  quillorn::TPortMap::Instance().SetOverride(203, "");

  EXPECT_EQ(Terminate(child.pid), 0);
  EXPECT_EQ(std::filesystem::file_size(flashFile), 131072u) << "saved on exit";
  std::filesystem::remove(flashFile);
}

// With --latency the box's answers reach the PC that much later, as through a USB adapter
// (only a lower bound is checked: a busy machine can add to it, never take away).
TEST(PtyFrontDoor, LatencyHoldsBackWhatReachesThePc) {
  TChild child = Launch({"--model", "january5", "--latency", "16"});
  ASSERT_GT(child.pid, 0);
  quillorn::TPortMap::Instance().SetOverride(204, child.firstLine);
  int32_t error = 0;
  auto device = quillorn::OpenSerialDevice("COM204", &error);
  ASSERT_TRUE(device) << error;
  quillorn::TCommTimeouts timeouts;
  timeouts.ReadTotalTimeoutConstant = 2000;
  device->SetTimeouts(timeouts, nullptr);

  const uint8_t sync = 0x00;
  uint32_t done = 0;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(device->Write(&sync, 1, &done, nullptr));
  uint8_t echo = 0xAA;
  uint32_t got = 0;
  ASSERT_TRUE(device->Read(&echo, 1, &got, nullptr));
  ASSERT_EQ(got, 1u);
  EXPECT_EQ(echo, 0x00);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(16));
  device.reset();
  quillorn::TPortMap::Instance().SetOverride(204, "");
  EXPECT_EQ(Terminate(child.pid), 0);
}

TEST(PtyFrontDoor, BadArgumentsEndWithAMessageAndNoTerminal) {
  TChild child = Launch({"--model", "nosuch"});
  ASSERT_GT(child.pid, 0);
  EXPECT_TRUE(child.firstLine.empty());
  int status = 0;
  waitpid(child.pid, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
