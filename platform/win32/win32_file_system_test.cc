#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/backend.h"
#include "platform/win32/win32_operator_path.h"
#include "platform/win32/win32_util.h"

namespace qv {
namespace {

namespace stdfs = std::filesystem;

// What only the Windows file system has to get right (the shared rules are
// in tests/backend_contract_test.cc): share modes, the read-only bit around a
// removal, and links. Each test works in a directory
// of its own, checked by name through the plain Windows API.
class Win32FileSystemTest : public testing::Test {
 protected:
  void SetUp() override {
    static int serial = 0;
    root_ = stdfs::temp_directory_path().wstring() + L"qvfs" +
            std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(serial++);
    ASSERT_TRUE(CreateDirectoryW(root_.c_str(), nullptr));
    Error err = Error::kIo;
    dir_ = fs_->open_dir(oem(root_), err);
    ASSERT_TRUE(dir_) << error_name(err);
  }
  void TearDown() override {
    dir_.reset();
    std::error_code ec;  // read-only files would stop the clean-up
    for (const auto& e : stdfs::recursive_directory_iterator(root_, ec))
      SetFileAttributesW(e.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    stdfs::remove_all(root_, ec);
  }
  std::wstring at(std::wstring_view name) const { return root_ + L"\\" + std::wstring(name); }
  static Text oem(const std::wstring& wide) {
    std::string out;
    win32::narrow_to_cp866(wide, out);
    return Text(out);
  }
  void put(std::wstring_view name, std::string_view content, DWORD attributes = 0) {
    std::ofstream(stdfs::path(at(name)), std::ios::binary) << content;
    if (attributes) SetFileAttributesW(at(name).c_str(), attributes);
  }
  bool exists(std::wstring_view name) const {
    return GetFileAttributesW(at(name).c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  std::unique_ptr<File> take(const Text& name) {
    Error err = Error::kIo;
    auto src = dir_->open_source(name, err);
    EXPECT_TRUE(src) << error_name(err);
    return src;
  }

  std::wstring root_;
  std::unique_ptr<FileSystem> fs_ = make_real_file_system();
  std::unique_ptr<Dir> dir_;
};

// Not taken while another program writes it; once taken, nothing else opens
// or deletes it (renames by name are kept out too: the contract test).
TEST_F(Win32FileSystemTest, ATakenSourceKeepsEveryOtherOpenOut) {
  put(L"f", "data");
  HANDLE writer = CreateFileW(at(L"f").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  Error err = Error::kNone;
  EXPECT_FALSE(dir_->open_source("f", err));
  EXPECT_EQ(err, Error::kLocked);
  CloseHandle(writer);
  auto src = take("f");
  EXPECT_FALSE(dir_->open_read("f", err));
  EXPECT_EQ(err, Error::kLocked);
  EXPECT_FALSE(DeleteFileW(at(L"f").c_str()));
  EXPECT_TRUE(src->held());
}

// A read-only source loses its read-only bit only for the removal: when the
// removal is refused (another program has the file mapped), the bit is back.
TEST_F(Win32FileSystemTest, RemovingASourceClearsReadOnlyOnlyForTheRemoval) {
  for (bool read_only : {true, false}) {
    for (bool mapped : {true, false}) {
      SCOPED_TRACE(testing::Message() << "read-only " << read_only << " mapped " << mapped);
      put(L"f", "data", read_only ? FILE_ATTRIBUTE_READONLY : 0);
      HANDLE h = CreateFileW(at(L"f").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, 0, nullptr);
      HANDLE mapping =
          mapped ? CreateFileMappingW(h, nullptr, PAGE_READONLY, 0, 0, nullptr) : nullptr;
      CloseHandle(h);
      EXPECT_EQ(take("f")->remove(), mapped ? Error::kAccessDenied : Error::kNone);
      if (mapping) CloseHandle(mapping);
      EXPECT_EQ(exists(L"f"), mapped);
      DWORD attributes = GetFileAttributesW(at(L"f").c_str());
      EXPECT_TRUE(!mapped || ((attributes & FILE_ATTRIBUTE_READONLY) != 0) == read_only);
      SetFileAttributesW(at(L"f").c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(at(L"f").c_str());
    }
  }
}

TEST(Win32OperatorPath, RootsOfFullPaths) {
  const std::pair<const wchar_t*, std::size_t> cases[] = {{L"C:\\x\\y", 3},
                                                          {L"\\\\srv\\share\\x", 12},
                                                          {L"\\\\srv\\share", 11},
                                                          {L"\\\\?\\C:\\x", 7},
                                                          {L"\\\\?\\UNC\\srv\\share\\x", 18},
                                                          {L"\\\\?\\Volume{1}\\x", 14},
                                                          {L"\\\\.\\CON", 0},
                                                          {L"\\\\srv", 0},
                                                          {L"\\\\srv\\\\x", 0},
                                                          {L"x\\y", 0}};
  for (const auto& [path, want] : cases) EXPECT_EQ(win32::root_length(path), want) << path;
}

// The machine's own path of a Windows path, under Wine; empty elsewhere.
std::string unix_path_of(const std::wstring& path) {
  using Fn = char*(CDECL*)(const wchar_t*);
  auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* p = fn ? fn(path.c_str()) : nullptr;
  std::string out = p ? p : "";
  if (p) HeapFree(GetProcessHeap(), 0, p);
  return out;
}

// Runs a shell command of the machine under Wine and waits until it has
// touched `done` (Wine does not let a Windows program wait for the end of a
// program of the machine). False when it did not finish.
bool run_unix(const std::string& command, const std::wstring& done) {
  std::wstring line =
      L"/bin/sh -c \"" + win32::widen(command + " && touch '" + unix_path_of(done) + "'") + L"\"";
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

// A link on an operator's path is followed where only trusted accounts can
// have put it and refused in a directory everyone may write; a link inside a
// Dir is never followed. Links are made from the machine's side, which only
// Wine offers to a test.
TEST_F(Win32FileSystemTest, LinksOnOperatorPathsAreFollowedOnlyWhereTrustedAccountsPutThem) {
  const std::string root = unix_path_of(root_);
  if (root.empty()) GTEST_SKIP() << "links are made through Wine's host";
  ASSERT_TRUE(CreateDirectoryW(at(L"target").c_str(), nullptr));
  put(L"target\\f", "inside");
  ASSERT_TRUE(CreateDirectoryW(at(L"open").c_str(), nullptr));
  ASSERT_TRUE(run_unix("chmod 1777 '" + root + "/open' && ln -s '" + root + "/target' '" + root +
                           "/good' && ln -s '" + root + "/target' '" + root + "/open/bad'",
                       at(L"done")));
  const std::pair<const wchar_t*, Error> cases[] = {{L"good", Error::kNone},
                                                    {L"good\\f", Error::kNone},
                                                    {L"open\\bad", Error::kUnsafeLink},
                                                    {L"open\\bad\\f", Error::kUnsafeLink}};
  for (const auto& [path, want] : cases) {
    SCOPED_TRACE(oem(path).str());
    FileInfo info;
    EXPECT_EQ(fs_->stat(oem(at(path)), info), want);
    Error err = Error::kNone;
    const bool opened = std::wstring_view(path).back() == L'f'
                            ? fs_->open_read(oem(at(path)), err) != nullptr
                            : fs_->open_dir(oem(at(path)), err) != nullptr;
    EXPECT_EQ(opened, want == Error::kNone);
    EXPECT_EQ(err, want);
  }
  Error err = Error::kNone;
  EXPECT_FALSE(dir_->open_dir("good", err));
  EXPECT_EQ(err, Error::kNotRegular);
  EXPECT_TRUE(run_unix("rm -f '" + root + "/good' '" + root + "/open/bad'", at(L"done")));
}

}  // namespace
}  // namespace qv

#endif  // _WIN32
