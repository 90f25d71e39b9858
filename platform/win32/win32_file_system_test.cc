#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/win32/win32_operator_path.h"
#include "platform/win32/win32_util.h"

namespace qv {
namespace {

// What only the Windows file system has to get right: share modes, moves and
// removals through handles, holds and links. Each test works in a directory
// of its own, reached through the real backend and checked by name through
// the plain Windows API.
class Win32FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    wchar_t tmp[MAX_PATH];
    ASSERT_NE(GetTempPathW(MAX_PATH, tmp), 0u);
    root_ = std::wstring(tmp) + L"qvfs" + std::to_wstring(GetCurrentProcessId()) + L"_" +
            std::to_wstring(serial++);
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    fs_ = make_real_file_system();
    dir_ = open_dir(L"");
    ASSERT_TRUE(dir_);
  }
  void TearDown() override {
    dir_.reset();
    remove_tree(root_);
  }

  std::wstring at(std::wstring_view name) const { return root_ + L"\\" + std::wstring(name); }
  static Text oem(const std::wstring& wide) {
    std::string out;
    win32::narrow_to_cp866(wide, out);
    return Text(out);
  }
  std::unique_ptr<Dir> open_dir(std::wstring_view sub) {
    Error err = Error::kNone;
    auto d = fs_->open_dir(oem(sub.empty() ? root_ : at(sub)), err);
    EXPECT_TRUE(d) << error_name(err);
    return d;
  }
  void put(std::wstring_view name, std::string_view content, DWORD attributes = 0) {
    HANDLE h = CreateFileW(at(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD put = 0;
    WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &put, nullptr);
    CloseHandle(h);
    if (attributes) SetFileAttributesW(at(name).c_str(), attributes);
  }
  // The content under a name, or "-" when nothing is there.
  std::string content(std::wstring_view name) const {
    HANDLE h = CreateFileW(at(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return GetLastError() == ERROR_SHARING_VIOLATION ? "locked" : "-";
    char buf[256];
    DWORD got = 0;
    ReadFile(h, buf, sizeof buf, &got, nullptr);
    CloseHandle(h);
    return std::string(buf, got);
  }
  bool exists(std::wstring_view name) const {
    return GetFileAttributesW(at(name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  // The names in a directory of the test, sorted.
  std::vector<std::wstring> names(std::wstring_view sub = L"") const {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW d;
    HANDLE f = FindFirstFileW(((sub.empty() ? root_ : at(sub)) + L"\\*").c_str(), &d);
    if (f == INVALID_HANDLE_VALUE) return out;
    do {
      std::wstring n = d.cFileName;
      if (n != L"." && n != L"..") out.push_back(n);
    } while (FindNextFileW(f, &d));
    FindClose(f);
    std::sort(out.begin(), out.end());
    return out;
  }
  static void remove_tree(const std::wstring& path) {
    WIN32_FIND_DATAW d;
    HANDLE f = FindFirstFileW((path + L"\\*").c_str(), &d);
    if (f != INVALID_HANDLE_VALUE) {
      do {
        std::wstring n = d.cFileName, p = path + L"\\" + n;
        if (n == L"." || n == L"..") continue;
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        bool dir = (d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                   !(d.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
        if (dir)
          remove_tree(p);
        else
          DeleteFileW(p.c_str());
      } while (FindNextFileW(f, &d));
      FindClose(f);
    }
    RemoveDirectoryW(path.c_str());
  }

  std::wstring root_;
  std::unique_ptr<FileSystem> fs_;
  std::unique_ptr<Dir> dir_;
};

TEST_F(Win32FileSystemTest, ATakenSourceKeepsEveryOtherOpenOut) {
  put(L"f", "data");
  HANDLE writer = CreateFileW(at(L"f").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  Error err = Error::kNone;
  EXPECT_FALSE(dir_->open_source("f", err)) << "taken while another program writes it";
  EXPECT_EQ(err, Error::kLocked);
  CloseHandle(writer);

  auto src = dir_->open_source("f", err);
  ASSERT_TRUE(src) << error_name(err);
  EXPECT_FALSE(dir_->open_read("f", err));
  EXPECT_EQ(err, Error::kLocked);
  EXPECT_FALSE(dir_->open_source("f", err));
  EXPECT_EQ(err, Error::kLocked);
  EXPECT_FALSE(DeleteFileW(at(L"f").c_str()));
  EXPECT_FALSE(MoveFileExW(at(L"f").c_str(), at(L"g").c_str(), 0));
  put(L"other", "new");
  EXPECT_FALSE(MoveFileExW(at(L"other").c_str(), at(L"f").c_str(), MOVEFILE_REPLACE_EXISTING))
      << "another file renamed over the taken one";
  EXPECT_TRUE(src->held());
  src.reset();
  EXPECT_EQ(content(L"f"), "data");
}

// Moves and publications go through the file's own handle, and replace an
// existing name only when asked.
TEST_F(Win32FileSystemTest, MovesAndPublicationsReplaceOnlyWhenAsked) {
  ASSERT_TRUE(CreateDirectoryW(at(L"out").c_str(), nullptr));
  auto out = open_dir(L"out");
  struct Case {
    bool publish;  // a file in flight published, else a taken source moved
    bool existing;
    bool replace;
    Error want;
    const char* want_target;  // content under the final name afterwards
  } cases[] = {
      {false, false, false, Error::kNone, "new"}, {false, true, false, Error::kExists, "old"},
      {false, true, true, Error::kNone, "new"},   {true, false, false, Error::kNone, "new"},
      {true, true, false, Error::kExists, "old"}, {true, true, true, Error::kNone, "new"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "publish " << c.publish << " existing " << c.existing
                                    << " replace " << c.replace);
    remove_tree(at(L"out"));
    CreateDirectoryW(at(L"out").c_str(), nullptr);
    out = open_dir(L"out");
    if (c.existing) put(L"out\\f", "old");
    Error err = Error::kNone;
    std::unique_ptr<File> file;
    if (c.publish) {
      file = out->create_temp(err);
      ASSERT_TRUE(file) << error_name(err);
      file->write("new", 3);
      EXPECT_EQ(out->publish(*file, "f", c.replace), c.want);
    } else {
      put(L"f", "new");
      file = dir_->open_source("f", err);
      ASSERT_TRUE(file) << error_name(err);
      EXPECT_EQ(file->move_to(*out, "f", c.replace), c.want);
      EXPECT_EQ(exists(L"f"), c.want != Error::kNone) << "the source's old name";
    }
    file.reset();
    EXPECT_EQ(content(L"out\\f"), c.want_target);
  }
}

// A read-only source loses its read-only bit only for the removal: when
// the removal is refused (here: another program has the file mapped), the
// bit is back.
TEST_F(Win32FileSystemTest, RemovingASourceClearsReadOnlyOnlyForTheRemoval) {
  struct Case {
    bool read_only;
    bool mapped;
    Error want;
  } cases[] = {{true, true, Error::kAccessDenied},
               {true, false, Error::kNone},
               {false, true, Error::kAccessDenied},
               {false, false, Error::kNone}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "read-only " << c.read_only << " mapped " << c.mapped);
    put(L"f", "data", c.read_only ? FILE_ATTRIBUTE_READONLY : 0);
    HANDLE mapping = nullptr;
    if (c.mapped) {
      HANDLE h = CreateFileW(at(L"f").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
      mapping = CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr);
      CloseHandle(h);
      ASSERT_NE(mapping, nullptr);
    }
    Error err = Error::kNone;
    auto src = dir_->open_source("f", err);
    ASSERT_TRUE(src) << error_name(err);
    EXPECT_EQ(src->remove(), c.want);
    src.reset();
    if (mapping) CloseHandle(mapping);
    EXPECT_EQ(exists(L"f"), c.want != Error::kNone);
    if (exists(L"f")) {
      bool read_only = (GetFileAttributesW(at(L"f").c_str()) & FILE_ATTRIBUTE_READONLY) != 0;
      EXPECT_EQ(read_only, c.read_only);
      SetFileAttributesW(at(L"f").c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(at(L"f").c_str());
    }
  }
}

// Files in flight that a crash left behind go; one a transfer still holds,
// and everything that is not a file in flight, stays.
TEST_F(Win32FileSystemTest, LeftoversGoOnlyWhenNoTransferHoldsThem) {
  put(L"data.txt", "d");
  put(L".~qvT1", "not a file in flight");
  Error err = Error::kNone;
  auto live = dir_->create_temp(err);
  ASSERT_TRUE(live) << error_name(err);
  std::vector<std::wstring> before = names();
  // A file in flight dropped by a live run is deleted at close; a crash
  // leaves its name, read-only when it came after the stamping.
  put(L".~qvP00000001crashed", "left by a crash", FILE_ATTRIBUTE_READONLY);
  ASSERT_EQ(names().size(), before.size() + 1);
  dir_->remove_leftovers();
  EXPECT_EQ(names(), before);
}

TEST_F(Win32FileSystemTest, ADirKeepsItsDirectoryFromBeingRenamedOrRemoved) {
  ASSERT_TRUE(CreateDirectoryW(at(L"in").c_str(), nullptr));
  auto in = open_dir(L"in");
  EXPECT_FALSE(MoveFileExW(at(L"in").c_str(), at(L"moved").c_str(), 0));
  EXPECT_FALSE(RemoveDirectoryW(at(L"in").c_str()));
  in.reset();
  EXPECT_TRUE(MoveFileExW(at(L"in").c_str(), at(L"moved").c_str(), 0));
}

// A hold keeps every other hold out until its Dir goes; a taken file put
// into the hold directory goes back under its own name, never replacing.
TEST_F(Win32FileSystemTest, HoldsExcludeEachOtherAndATakenFileGoesBack) {
  put(L"f", "data");
  Text name;
  Error err = Error::kNone;
  auto hold = dir_->make_hold_dir(name, err);
  ASSERT_TRUE(hold) << error_name(err);
  EXPECT_EQ(name.view().substr(0, kHoldPrefix.size()), kHoldPrefix);
  auto src = dir_->open_source("f", err);
  ASSERT_TRUE(src);
  ASSERT_EQ(src->move_to(*hold, "f", false), Error::kNone);
  src.reset();

  auto again = dir_->open_dir(name, err);
  ASSERT_TRUE(again) << error_name(err);
  EXPECT_FALSE(again->hold()) << "two holds on one directory";
  hold.reset();  // the taker is gone
  EXPECT_TRUE(again->hold());
  put(L"f", "newer");
  EXPECT_EQ(again->rename("f", *dir_, "f"), Error::kExists);
  EXPECT_EQ(again->rename("f", *dir_, "f.back"), Error::kNone);
  EXPECT_EQ(dir_->remove_dir(name), Error::kNone) << "while this process still holds it";
  EXPECT_EQ(names(), (std::vector<std::wstring>{L"f", L"f.back"}));
  EXPECT_EQ(content(L"f.back"), "data");
}

// A name inside a Dir is one plain name: nothing reaches below or beside.
TEST_F(Win32FileSystemTest, NamesInsideADirAreSinglePlainNames) {
  ASSERT_TRUE(CreateDirectoryW(at(L"a").c_str(), nullptr));
  put(L"a\\b", "below");
  for (const char* bad : {"a\\b", "a/b", "a:b", ".", "..", "\x01x", "*", "b?", ""}) {
    SCOPED_TRACE(bad);
    Error err = Error::kNone;
    FileInfo info;
    EXPECT_EQ(dir_->stat(bad, info), Error::kBadName);
    EXPECT_FALSE(dir_->open_source(bad, err));
    EXPECT_EQ(err, Error::kBadName);
    EXPECT_FALSE(dir_->open_read(bad, err));
    EXPECT_EQ(err, Error::kBadName);
    EXPECT_EQ(dir_->make_dir(bad), Error::kBadName);
  }
  EXPECT_EQ(content(L"a\\b"), "below");
}

TEST(Win32OperatorPath, RootsOfFullPaths) {
  struct Case {
    const wchar_t* path;
    std::size_t want;
  } cases[] = {{L"C:\\x\\y", 3},
               {L"\\\\srv\\share\\x", 12},
               {L"\\\\srv\\share", 11},
               {L"\\\\?\\C:\\x", 7},
               {L"\\\\?\\UNC\\srv\\share\\x", 18},
               {L"\\\\?\\Volume{1}\\x", 14},
               {L"\\\\.\\CON", 0},
               {L"\\\\srv", 0},
               {L"\\\\srv\\\\x", 0},
               {L"x\\y", 0}};
  for (const Case& c : cases) EXPECT_EQ(win32::root_length(c.path), c.want) << c.path;
}

// Runs a shell command of the machine under Wine and waits until it has
// touched `done` (Wine does not let a Windows program wait for the end of a
// program of the machine). False when it did not finish.
bool run_unix(const std::string& command, const std::wstring& done, const std::string& unix_done) {
  std::wstring line =
      L"/bin/sh -c \"" + win32::widen(command + " && touch '" + unix_done + "'") + L"\"";
  STARTUPINFOW si = {sizeof si};
  PROCESS_INFORMATION pi;
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  for (int i = 0; i < 1000 && GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
    Sleep(10);
  return DeleteFileW(done.c_str());
}

// The machine's own path of a Windows path, under Wine; empty elsewhere.
std::string unix_path_of(const std::wstring& path) {
  using Fn = char*(CDECL*)(const wchar_t*);
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (fn == nullptr) return {};
  char* p = fn(path.c_str());
  std::string out = p ? p : "";
  if (p) HeapFree(GetProcessHeap(), 0, p);
  return out;
}

// A link on an operator's path is followed where only trusted accounts can
// have put it, and refused in a directory everyone may write; a link inside
// a Dir is never followed. Links are made from the machine's side, which
// only Wine offers to a test.
TEST_F(Win32FileSystemTest, LinksOnOperatorPathsAreFollowedOnlyWhereTrustedAccountsPutThem) {
  std::string root = unix_path_of(root_);
  if (root.empty()) GTEST_SKIP() << "links are made through Wine's host";
  put(L"target.txt", "t");
  ASSERT_TRUE(CreateDirectoryW(at(L"target").c_str(), nullptr));
  put(L"target\\f", "inside");
  ASSERT_TRUE(CreateDirectoryW(at(L"open").c_str(), nullptr));
  ASSERT_TRUE(run_unix("chmod 1777 '" + root + "/open' && ln -s '" + root + "/target' '" + root +
                           "/good' && ln -s '" + root + "/target' '" + root + "/open/bad'",
                       at(L"done"), root + "/done"));
  struct Case {
    const wchar_t* path;
    Error want;
  } cases[] = {{L"good", Error::kNone},
               {L"good\\f", Error::kNone},
               {L"open\\bad", Error::kUnsafeLink},
               {L"open\\bad\\f", Error::kUnsafeLink}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << oem(c.path).view());
    FileInfo info;
    EXPECT_EQ(fs_->stat(oem(at(c.path)), info), c.want);
    Error err = Error::kNone;
    bool dir = std::wstring_view(c.path).back() != L'f';
    if (dir)
      EXPECT_EQ(fs_->open_dir(oem(at(c.path)), err) != nullptr, c.want == Error::kNone);
    else
      EXPECT_EQ(fs_->open_read(oem(at(c.path)), err) != nullptr, c.want == Error::kNone);
    EXPECT_EQ(err, c.want);
  }
  Error err = Error::kNone;
  EXPECT_FALSE(dir_->open_dir("good", err));
  EXPECT_EQ(err, Error::kNotRegular);
  EXPECT_TRUE(
      run_unix("rm -f '" + root + "/good' '" + root + "/open/bad'", at(L"done"), root + "/done"));
}

}  // namespace
}  // namespace qv

#endif  // _WIN32
