// What only the POSIX system side has to get right: arguments reach the
// program in Windows-1251, and named locks live where no other account can
// reach them.
#ifndef _WIN32

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "gtest/gtest.h"
#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"
#include "platform/posix/system_posix.h"
#include "tests/fake_platform.h"

namespace qv::posix {
namespace {

TEST(PosixArguments, ArriveInWindows1251UnlessACharacterHasNoPlaceThere) {
  const char* cases[][2] = {{"/ПОМОЩЬ", "/\xCF\xCE\xCC\xCE\xD9\xDC"},
                            {"Ёё", "\xA8\xB8"},
                            {"\xFF\xFE", "\xFF\xFE"},  // not UTF-8: bytes as given
                            {"/О日", "/О日"}};         // one unmappable character keeps all
  for (const auto& [in, out] : cases) EXPECT_EQ(argument_to_1251(in), out) << in;
}

// The lock directory is the runtime directory only when it is the account's
// own, not a link and closed to everyone else; otherwise the account's own
// 0700 directory, which is refused in turn when it is anything else.
TEST(PosixLocks, OnlyADirectoryNoOtherAccountCanWriteIsTaken) {
  char tmpl[] = "/tmp/qv-locks.XXXXXX";
  ASSERT_NE(::mkdtemp(tmpl), nullptr);
  const std::string base = tmpl;
  auto at = [&](const std::string& name) { return base + "/" + name; };
  auto inode = [](const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  // "readable": others could hold a lock in it read-only.
  for (const auto& [name, mode] : {std::pair{"xdg", 0700}, {"open", 0777}, {"readable", 0755}}) {
    ASSERT_EQ(::mkdir(at(name).c_str(), 0700), 0);
    ASSERT_EQ(::chmod(at(name).c_str(), mode), 0);
  }
  ASSERT_EQ(::symlink(at("xdg").c_str(), at("link").c_str()), 0);
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
    struct stat st {};
    EXPECT_EQ(fd >= 0 && ::fstat(fd, &st) == 0 ? st.st_ino : 0,
              chosen.empty() ? 0 : inode(chosen == "xdg" ? at("xdg") : own))
        << n;
    EXPECT_TRUE(chosen != "own" || (::lstat(own.c_str(), &st) == 0 && (st.st_mode & 07777) == 0700))
        << n;
    if (fd >= 0) ::close(fd);
  }
  EXPECT_EQ(std::system(("rm -rf '" + base + "'").c_str()), 0);
}

// Two locks of one name exclude each other, even inside one process; the
// name becomes a plain file name.
TEST(PosixLocks, TwoLocksOfOneNameExcludeEachOther) {
  EXPECT_EQ(lock_file_name("Global\\Time_Unic-2"), "quorvane-Global_Time_Unic-2.lock");
  fake::FakeEnvironment env;
  PosixProcess process(env);
  auto first = process.named_lock("qv-unit-test"), second = process.named_lock("qv-unit-test");
  ASSERT_TRUE(first->lock_within(1000));
  EXPECT_FALSE(second->lock_within(10));
  first->unlock();
  EXPECT_TRUE(second->lock_within(1000));
  second->unlock();
}

}  // namespace
}  // namespace qv::posix

#endif  // _WIN32
