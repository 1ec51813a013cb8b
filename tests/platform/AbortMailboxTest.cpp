#include <gtest/gtest.h>

#include <thread>

#include "platform/AbortMailbox.hpp"

using namespace quillorn;

TEST(AbortMailbox, APostIsTakenOnceAndOnlyByItsOwnThread) {
  std::atomic<TAbortMailbox*> jobMailbox{nullptr};
  std::atomic<bool> posted{false}, seenOnce{false}, seenTwice{true};
  std::thread job([&] {
    jobMailbox = &ThisThreadAbortMailbox();
    while (!posted) std::this_thread::yield();
    seenOnce = PeekAbortMessage();
    seenTwice = PeekAbortMessage();
  });
  while (jobMailbox == nullptr) std::this_thread::yield();
  jobMailbox.load()->Post();
  EXPECT_FALSE(PeekAbortMessage()) << "the window's own mailbox must stay empty";
  posted = true;
  job.join();
  EXPECT_TRUE(seenOnce);
  EXPECT_FALSE(seenTwice) << "looking consumes the request";
}
