#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <utility>

#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/win32/win32_util.h"

namespace qv {
namespace {

// A fresh directory under the system's temporary directory, as CP866.
class Win32FileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t tmp[MAX_PATH];
    GetTempPathW(MAX_PATH, tmp);
    std::wstring dir = std::wstring(tmp) + L"qvfs" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                       std::to_wstring(GetTickCount64());
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), nullptr));
    wdir_ = dir;
    std::string oem;
    ASSERT_TRUE(win32::narrow_to_cp866(dir, oem));
    dir_ = oem;
    fs_ = make_real_file_system();
  }
  void TearDown() override {
    std::error_code ec;  // read-only files would stop the clean-up
    for (const auto& e : std::filesystem::recursive_directory_iterator(wdir_, ec))
      SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(wdir_, ec);
  }
  Text path(std::string_view name) { return Text(dir_ + "\\" + std::string(name)); }
  void write(std::string_view name, std::string_view content) {
    Error err;
    auto f = fs_->create_new(path(name), err);
    ASSERT_TRUE(f) << error_name(err);
    ASSERT_EQ(f->write(content.data(), static_cast<int64_t>(content.size())),
              static_cast<int64_t>(content.size()));
    ASSERT_EQ(f->close(), Error::kNone);
  }

  std::wstring wdir_;
  std::string dir_;
  std::unique_ptr<FileSystem> fs_;
};

// The cases every backend shares are in tests/backend_contract_test.cc; these
// are the Windows-only ones.
TEST_F(Win32FileSystemTest, AnExclusiveHolderShutsOutEveryLaterOpen) {
  write("a.dat", "data");
  Error err;
  auto held = fs_->open_exclusive(path("a.dat"), err);
  ASSERT_TRUE(held) << error_name(err);
  EXPECT_FALSE(fs_->open_read(path("a.dat"), err));
  EXPECT_EQ(err, Error::kLocked);
  EXPECT_EQ(fs_->remove(path("a.dat")), Error::kLocked);
}

TEST_F(Win32FileSystemTest, DirectoriesAndDevicesAreNeverOpenedAsFiles) {
  ASSERT_EQ(fs_->make_dir(path("SUB")), Error::kNone);
  for (auto [name, want] :
       {std::pair{path("SUB"), Error::kIsDirectory}, {Text("NUL"), Error::kNotRegular}}) {
    Error err;
    EXPECT_FALSE(fs_->open_read(name, err)) << name.str();
    EXPECT_EQ(err, want) << name.str();
  }
}

TEST_F(Win32FileSystemTest, ListingSkipsDotsAndNamesCp866CannotHold) {
  write("Отчёт.txt"_oem, "1");
  ASSERT_EQ(fs_->make_dir(path("SUB")), Error::kNone);
  HANDLE h = CreateFileW((wdir_ + L"\\\x20AC.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  Error err;
  auto reader = fs_->open_dir(Text(dir_ + "/"), err);
  ASSERT_TRUE(reader) << error_name(err);
  std::set<std::string> names;
  for (RawEntry e; reader->next(e);) {
    names.insert(e.name.str());
    FileInfo st;
    ASSERT_EQ(fs_->stat(path(e.name.view()), st), Error::kNone);
    EXPECT_EQ(std::tuple(e.info.index, e.info.size, e.info.attributes & kAttrDirectory),
              std::tuple(st.index, st.size, st.attributes & kAttrDirectory))
        << e.name.str();  // one file, one identity
  }
  EXPECT_EQ(names, (std::set<std::string>{std::string("Отчёт.txt"_oem), "SUB"}));
}

TEST_F(Win32FileSystemTest, AReadOnlyFileTakesATimeAndRefusesRemoval) {
  write("dst", "d");
  const int64_t stamp = 1'234'567'890'123'456'700;
  ASSERT_EQ(fs_->set_attributes(path("dst"), kAttrReadOnly | kAttrArchive), Error::kNone);
  ASSERT_EQ(fs_->set_mtime(path("dst"), stamp), Error::kNone);
  FileInfo dst;
  ASSERT_EQ(fs_->stat(path("dst"), dst), Error::kNone);
  EXPECT_EQ(dst.mtime_ns, stamp);
  EXPECT_EQ(fs_->remove(path("dst")), Error::kAccessDenied);
  ASSERT_EQ(fs_->set_attributes(path("dst"), kAttrArchive), Error::kNone);
  EXPECT_EQ(fs_->remove(path("dst")), Error::kNone);
}

TEST_F(Win32FileSystemTest, DriveQueriesByKindOfPath) {
  DriveSpace here = fs_->drive_space(Text(dir_));
  ASSERT_EQ(here.status, DriveSpace::kOk);
  EXPECT_TRUE(here.total > 0 && here.free <= here.total);
  EXPECT_EQ(fs_->drive_space("relative\\dir").status, DriveSpace::kIncorrectName);
  DWORD drives = GetLogicalDrives();
  char unused = 0;
  for (char c = 'Y'; c >= 'D' && !unused; --c)
    if (!(drives & (1u << (c - 'A')))) unused = c;
  ASSERT_NE(unused, 0);
  EXPECT_EQ(fs_->drive_space(Text(std::string(1, unused) + ":\\IN")).status, DriveSpace::kNotExist);
}

}  // namespace
}  // namespace qv

#endif  // _WIN32
