// What only the POSIX system side has to get right: arguments reach the
// program in Windows-1251, stop signals never end it, and the headless
// console (fed through a pipe) writes UTF-8 and never takes the end of its
// input for a key.
#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <string>

#include "gtest/gtest.h"
#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"

namespace qv::posix {
namespace {

TEST(PosixArguments, ArriveInWindows1251UnlessACharacterHasNoPlaceThere) {
  const char* cases[][2] = {{"/ПОМОЩЬ", "/\xCF\xCE\xCC\xCE\xD9\xDC"},
                            {"Ёё", "\xA8\xB8"},
                            {"\xFF\xFE", "\xFF\xFE"},  // not UTF-8: bytes as given
                            {"/О日", "/О日"}};         // one unmappable character keeps all
  for (const auto& [in, out] : cases) EXPECT_EQ(argument_to_1251(in), out) << in;
}

TEST(PosixSignals, StopSignalsSetTheFlagAndNeverEndTheProgram) {
  install_signal_handlers();
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGIO}) {
    stop_flag().store(false);
    ASSERT_EQ(::raise(sig), 0);
    bool stops = sig == SIGINT || sig == SIGTERM || sig == SIGHUP;
    EXPECT_EQ(stop_flag().load(), stops) << sig;
  }
  stop_flag().store(false);
  struct sigaction dfl {};
  dfl.sa_handler = SIG_DFL;
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(sig, &dfl, nullptr);
}

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(::pipe(in_), 0);
    ASSERT_EQ(::pipe2(out_, O_NONBLOCK), 0);
    console_ = make_headless_console(in_[0], out_[1], stop_);
  }
  void TearDown() override {
    console_.reset();
    for (int fd : {in_[0], in_[1], out_[0], out_[1]})
      if (fd >= 0) ::close(fd);
  }
  std::string output() {
    std::string got;
    char buf[256];
    for (ssize_t n; (n = ::read(out_[0], buf, sizeof buf)) > 0;) got.append(buf, n);
    return got;
  }
  void close_input() {
    ::close(in_[1]);
    in_[1] = -1;
  }
  int in_[2], out_[2];
  std::atomic<bool> stop_{false};
  std::unique_ptr<ConsoleDevice> console_;
};

TEST_F(HeadlessTest, TranscriptIsUtf8WrittenOutAtEachLineEnd) {
  EXPECT_FALSE(console_->interactive());
  console_->transcript("Файл ─"_oem);
  EXPECT_EQ(output(), "") << "a line was written before it ended";
  console_->transcript("\n");
  EXPECT_EQ(output(), "Файл ─\n");
  console_->transcript("tail");
  console_.reset();  // at the end what is left is written out
  EXPECT_EQ(output(), "tail");
}

TEST_F(HeadlessTest, EndOfInputIsNeverAKeyButAStopOrTheEndEndsTheWait) {
  stop_.store(true);
  console_->wait_key();  // input open and empty: only the stop ends it
  EXPECT_FALSE(console_->key_waiting());
  stop_.store(false);
  close_input();
  console_->wait_key();  // would hang if the end of input were not seen
  EXPECT_FALSE(console_->key_waiting());
}

TEST_F(HeadlessTest, AByteOnInputIsAKeyThatStaysWaiting) {
  ASSERT_EQ(::write(in_[1], "q", 1), 1);
  close_input();  // the byte still counts before the end
  EXPECT_TRUE(console_->key_waiting());
  EXPECT_TRUE(console_->key_waiting()) << "looking consumed the key";
  console_->wait_key();  // returns at once: a key is waiting
}

}  // namespace
}  // namespace qv::posix

#endif  // _WIN32
