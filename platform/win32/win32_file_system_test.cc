#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>

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
  void TearDown() override { remove_tree(wdir_); }
  // Removes a directory with everything in it.
  static void remove_tree(const std::wstring& dir) {
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &d);
    while (h != INVALID_HANDLE_VALUE) {
      std::wstring n = d.cFileName;
      std::wstring full = dir + L"\\" + n;
      if (n != L"." && n != L"..") {
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
          remove_tree(full);
        else
          DeleteFileW(full.c_str());
      }
      if (!FindNextFileW(h, &d)) break;
    }
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
    RemoveDirectoryW(dir.c_str());
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
  std::string read(std::string_view name) {
    Error err;
    auto f = fs_->open_read(path(name), err);
    if (!f) return "<" + std::string(error_name(err)) + ">";
    std::string out;
    char buf[64];
    for (int64_t n; (n = f->read(buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    return out;
  }

  std::wstring wdir_;
  std::string dir_;
  std::unique_ptr<FileSystem> fs_;
};

TEST_F(Win32FileSystemTest, AFileHeldOpenIsNotTakenExclusively) {
  write("a.dat", "data");
  Error err;
  auto reader = fs_->open_read(path("a.dat"), err);
  ASSERT_TRUE(reader);
  EXPECT_FALSE(fs_->open_exclusive(path("a.dat"), err));
  EXPECT_EQ(err, Error::kLocked);
  reader.reset();
  auto held = fs_->open_exclusive(path("a.dat"), err);
  ASSERT_TRUE(held) << error_name(err);
  EXPECT_FALSE(fs_->open_read(path("a.dat"), err));  // and later openers are refused
  EXPECT_EQ(err, Error::kLocked);
}

TEST_F(Win32FileSystemTest, OpensRefuseWhatIsNoRegularFile) {
  write("a.dat", "x");
  ASSERT_EQ(fs_->make_dir(path("SUB")), Error::kNone);
  Error err;
  EXPECT_FALSE(fs_->create_new(path("a.dat"), err));
  EXPECT_EQ(err, Error::kExists);
  EXPECT_FALSE(fs_->open_read(path("SUB"), err));
  EXPECT_EQ(err, Error::kIsDirectory);
  EXPECT_FALSE(fs_->open_read("NUL", err));
  EXPECT_EQ(err, Error::kNotRegular);
  EXPECT_FALSE(fs_->open_read(path("none"), err));
  EXPECT_EQ(err, Error::kNotFound);
  EXPECT_EQ(fs_->remove(path("none")), Error::kNotFound);
  EXPECT_EQ(fs_->make_dir(path("SUB")), Error::kExists);
}

TEST_F(Win32FileSystemTest, ListingSkipsDotsAndNamesCp866CannotHold) {
  write("Отчёт.txt"_oem, "1");
  write("b.dat", "22");
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
    EXPECT_EQ(e.info.index, st.index) << e.name.str();  // one file, one identity
    EXPECT_EQ(e.info.size, st.size);
    EXPECT_EQ(e.info.attributes & kAttrDirectory, st.attributes & kAttrDirectory);
  }
  EXPECT_EQ(names, (std::set<std::string>{std::string("Отчёт.txt"_oem), "b.dat", "SUB"}));
  EXPECT_FALSE(fs_->open_dir(path("none"), err));
  EXPECT_EQ(err, Error::kNotFound);
}

TEST_F(Win32FileSystemTest, RenameReplacesOnlyWhenAsked) {
  write("new", "new");
  write("old", "old");
  EXPECT_EQ(fs_->rename(path("new"), path("old"), false), Error::kExists);
  EXPECT_EQ(read("old"), "old");
  EXPECT_EQ(fs_->rename(path("new"), path("old"), true), Error::kNone);
  EXPECT_EQ(read("old"), "new");
  EXPECT_EQ(read("new"), "<" + std::string(error_name(Error::kNotFound)) + ">");
}

TEST_F(Win32FileSystemTest, TimeAndAttributesCarryOver) {
  write("src", "s");
  write("dst", "d");
  const int64_t stamp = 1'234'567'890'123'456'700;
  ASSERT_EQ(fs_->set_mtime(path("src"), stamp), Error::kNone);
  ASSERT_EQ(fs_->set_attributes(path("src"), kAttrReadOnly | kAttrArchive), Error::kNone);
  ASSERT_EQ(fs_->copy_attributes(path("src"), path("dst")), Error::kNone);
  ASSERT_EQ(fs_->set_mtime(path("dst"), stamp), Error::kNone);  // read-only still takes a time
  FileInfo src, dst;
  ASSERT_EQ(fs_->stat(path("src"), src), Error::kNone);
  ASSERT_EQ(fs_->stat(path("dst"), dst), Error::kNone);
  EXPECT_EQ(dst.mtime_ns, stamp);
  EXPECT_EQ(dst.attributes & kAttrReadOnly, uint32_t{kAttrReadOnly});
  EXPECT_NE(src.index, dst.index);
  EXPECT_EQ(fs_->remove(path("dst")), Error::kAccessDenied);
  ASSERT_EQ(fs_->set_attributes(path("dst"), kAttrArchive), Error::kNone);
  EXPECT_EQ(fs_->remove(path("dst")), Error::kNone);
}

TEST_F(Win32FileSystemTest, OpenFileReportsSizeAndIdentity) {
  write("f", std::string(5000, 'x'));
  Error err;
  auto f = fs_->open_read(path("f"), err);
  ASSERT_TRUE(f);
  FileInfo open_info, name_info;
  ASSERT_EQ(f->info(open_info), Error::kNone);
  ASSERT_EQ(fs_->stat(path("f"), name_info), Error::kNone);
  EXPECT_EQ(open_info.size, 5000u);
  EXPECT_EQ(open_info.index, name_info.index);
  EXPECT_EQ(open_info.device, name_info.device);
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_EQ(f->read(&err, 1), -1);  // closed: further calls fail
}

TEST_F(Win32FileSystemTest, DriveQueriesByKindOfPath) {
  DriveSpace here = fs_->drive_space(Text(dir_));
  ASSERT_EQ(here.status, DriveSpace::kOk);
  EXPECT_GT(here.total, 0u);
  EXPECT_LE(here.free, here.total);
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
