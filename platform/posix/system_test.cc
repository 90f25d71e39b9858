// The POSIX environment, process, named locks, stop signals and the
// headless console (fed through a pipe).
#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "gtest/gtest.h"
#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/system_posix.h"

namespace qv::posix {
namespace {

TEST(PosixEnvironmentTest, ArgumentsComeInWindows1251AndValuesAndPathsInCp866) {
  struct Case {
    std::string in, out;
  } cases[] = {{"/HELP", "/HELP"},       {"/ПОМОЩЬ", "/\xCF\xCE\xCC\xCE\xD9\xDC"},
               {"/п", "/\xEF"},          {"Ёё", "\xA8\xB8"},
               {"\xFF\xFE", "\xFF\xFE"},  // not UTF-8: bytes as given
               {"日本", "日本"},          // UTF-8 that 1251 cannot hold
               {"/О日", "/О日"}};         // one unmappable character keeps all
  for (const Case& c : cases) EXPECT_EQ(argument_to_1251(c.in), c.out) << c.in;
  char prog[] = "quorvane", a1[] = "/?", a2[] = "/О";
  char* argv[] = {prog, a1, a2, nullptr};
  PosixEnvironment env(3, argv);
  EXPECT_EQ(env.arguments(), (std::vector<std::string>{"/?", "/\xCE"}));
  ::setenv("QV_TEST_VALUE", "Путь/файл", 1);
  EXPECT_EQ(env.get("QV_TEST_VALUE").value_or(Text("<unset>")).view(), "Путь/файл"_oem);
  ::unsetenv("QV_TEST_VALUE");
  EXPECT_FALSE(env.get("QV_TEST_VALUE").has_value());
  FileInfo info;
  EXPECT_EQ(make_real_file_system()->stat(env.executable_path(), info), Error::kNone);
  EXPECT_EQ(info.attributes & kAttrDirectory, 0u);
}

TEST(PosixProcessTest, CommandsRunThroughComspecWithSlashCOrTheShellAndAreWaitedFor) {
  EXPECT_EQ(command_argv(Text("/usr/bin/cmd"), Text("run.bat x")),
            (std::vector<std::string>{"/usr/bin/cmd", "/C", "run.bat x"}));
  EXPECT_EQ(command_argv(std::nullopt, Text("Пуск"_oem)),
            (std::vector<std::string>{"/bin/sh", "-c", "Пуск"}));
  EXPECT_EQ(command_argv(Text(""), Text("x"))[0], "/bin/sh");
  char tmpl[] = "/tmp/qvrun-XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  std::string dir = tmpl;
  char prog[] = "quorvane";
  char* argv[] = {prog, nullptr};
  PosixEnvironment env(1, argv);
  PosixProcess process(env);
  const char* saved = ::getenv("COMSPEC");
  std::string saved_value = saved ? saved : "";
  ::unsetenv("COMSPEC");
  EXPECT_TRUE(process.run_command(Text("sleep 0; echo done > '" + dir + "/out'")));
  EXPECT_EQ(::access((dir + "/out").c_str(), F_OK), 0) << "returned before the command ended";
  ::setenv("COMSPEC", (dir + "/no-such-interpreter").c_str(), 1);
  EXPECT_FALSE(process.run_command(Text("echo x")));
  if (saved)
    ::setenv("COMSPEC", saved_value.c_str(), 1);
  else
    ::unsetenv("COMSPEC");
  ASSERT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

TEST(PosixLocks, NamedLockHoldsAFlockOnASafeFileName) {
  std::string path = lock_file_path("Time_Unic");
  EXPECT_EQ(path.substr(path.rfind('/')), "/quorvane-Time_Unic.lock");
  std::string odd = lock_file_path("../Hint x");
  EXPECT_EQ(odd.substr(odd.rfind('/')), "/quorvane-___Hint_x.lock");

  char prog[] = "quorvane";
  char* argv[] = {prog, nullptr};
  PosixEnvironment env(1, argv);
  PosixProcess process(env);
  auto lock = process.named_lock("QvTestLock");
  int other = ::open(lock_file_path("QvTestLock").c_str(), O_RDONLY);
  ASSERT_GE(other, 0);
  lock->lock();
  EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0) << "another holder got the lock";
  lock->unlock();
  EXPECT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
  ::close(other);
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
  int in_[2], out_[2];
  std::atomic<bool> stop_{false};
  std::unique_ptr<ConsoleDevice> console_;
};

TEST_F(HeadlessTest, TranscriptIsUtf8WrittenOutAtEachLineEnd) {
  EXPECT_FALSE(console_->interactive());
  console_->transcript("Файл "_oem);
  console_->transcript(std::string_view("\xC4", 1));
  EXPECT_EQ(output(), "") << "a line was written before it ended";
  console_->transcript("\n");
  EXPECT_EQ(output(), "Файл ─\n");
  console_->transcript("tail");
  console_.reset();  // at the end what is left is written out
  EXPECT_EQ(output(), "tail");
}

TEST_F(HeadlessTest, AStopEndsTheWaitAndAByteOnInputIsAKeyThatStaysWaiting) {
  stop_.store(true);
  console_->wait_key();  // input open and empty: only the stop ends it
  EXPECT_FALSE(console_->key_waiting());
  stop_.store(false);
  ASSERT_EQ(::write(in_[1], "q", 1), 1);
  EXPECT_TRUE(console_->key_waiting());
  EXPECT_TRUE(console_->key_waiting()) << "the key was consumed";
  console_->wait_key();  // returns at once: a key is waiting
}

TEST_F(HeadlessTest, EndOfInputIsNoKeyAndEndsTheWait) {
  ::close(in_[1]);
  in_[1] = -1;
  console_->wait_key();  // would hang if end of input were not seen
  EXPECT_FALSE(console_->key_waiting());
}

}  // namespace
}  // namespace qv::posix

#endif  // _WIN32
