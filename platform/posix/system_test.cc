// What only the POSIX system side has to get right: arguments reach the
// program in Windows-1251, stop signals never end it, named locks live where
// no other account can reach them, and the headless console (fed through a
// pipe) writes UTF-8 and never takes the end of its input for a key.
#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gtest/gtest.h"
#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/system_posix.h"

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

// A temporary directory with the entries the lock cases need, removed after.
class LockDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qv-locks.XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    base_ = tmpl;
    // "readable": others could hold a lock in it read-only.
    for (const auto& [name, mode] : {std::pair{"xdg", 0700}, {"open", 0777}, {"readable", 0755}}) {
      ASSERT_EQ(::mkdir(at(name).c_str(), 0700), 0);
      ASSERT_EQ(::chmod(at(name).c_str(), mode), 0);
    }
    ASSERT_EQ(::symlink(at("xdg").c_str(), at("link").c_str()), 0);
  }
  void TearDown() override { EXPECT_EQ(std::system(("rm -rf '" + base_ + "'").c_str()), 0); }
  std::string at(const std::string& name) const { return base_ + "/" + name; }
  // Inode of a path, or of an open descriptor; 0 when there is none.
  static ino_t inode(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  }
  static ino_t inode(int fd) {
    struct stat st;
    return fd >= 0 && ::fstat(fd, &st) == 0 ? st.st_ino : 0;
  }
  std::string base_;
};

// The lock directory is the runtime directory only when it is the account's
// own, not a link and closed to everyone else; otherwise the account's own
// 0700 directory, which is refused in turn when it is anything else.
TEST_F(LockDirTest, OnlyADirectoryNoOtherAccountCanWriteIsTaken) {
  enum Own { kFresh, kMode755, kLinkToXdg, kForeignOwner };
  struct Case {
    const char* runtime;  // under the test directory; "-" for a relative path
    Own own;
    const char* chosen;  // "xdg", "own" or "" for none
  } cases[] = {
      {"xdg", kFresh, "xdg"},      {"link", kFresh, "own"},   {"open", kFresh, "own"},
      {"readable", kFresh, "own"}, {nullptr, kFresh, "own"},  {"-", kFresh, "own"},
      {nullptr, kMode755, ""},     {nullptr, kLinkToXdg, ""}, {"open", kForeignOwner, ""},
  };
  int n = 0;
  for (const Case& c : cases) {
    if (c.own == kForeignOwner && ::geteuid() != 0) continue;  // needs root to give it away
    const std::string temp = at("t" + std::to_string(++n));
    ASSERT_EQ(::mkdir(temp.c_str(), 01777), 0);
    const std::string own = temp + "/quorvane-" + std::to_string(::geteuid());
    if (c.own == kMode755) {
      ASSERT_EQ(::mkdir(own.c_str(), 0755), 0);
    } else if (c.own == kLinkToXdg) {
      ASSERT_EQ(::symlink(at("xdg").c_str(), own.c_str()), 0);
    } else if (c.own == kForeignOwner) {
      ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
      ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
    }
    std::string runtime = c.runtime == nullptr ? "" : c.runtime[0] == '-' ? "xdg" : at(c.runtime);
    int fd = open_lock_directory(c.runtime == nullptr ? nullptr : runtime.c_str(), temp);
    const std::string chosen = c.chosen;
    const ino_t expected = chosen.empty() ? 0 : inode(chosen == "xdg" ? at("xdg") : own);
    EXPECT_EQ(inode(fd), expected) << n;
    if (chosen == "own") {
      struct stat st;
      ASSERT_EQ(::lstat(own.c_str(), &st), 0);
      EXPECT_EQ(st.st_mode & 07777, 0700u) << n;
    }
    if (fd >= 0) ::close(fd);
  }
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

// Written at once, unfinished line or not; control bytes are characters like
// any other (their glyphs) and only a line break ends a line.
TEST_F(HeadlessTest, TranscriptIsUtf8WithGlyphsWrittenOutAtOnce) {
  EXPECT_FALSE(console_->interactive());
  console_->transcript("Файл ─"_oem);
  EXPECT_EQ(output(), "Файл ─") << "an unfinished line waited for its end";
  console_->transcript("\n\r\x1b\x07\x7f");
  console_->transcript_line_break();
  EXPECT_EQ(output(), "◙♪←•⌂\n");
  console_->transcript("tail");
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
