#ifdef _WIN32

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/win32/win32_util.h"

namespace qv {
namespace {

// What only the Windows file system has to get right (the cases every backend
// shares are in tests/backend_contract_test.cc): a file another program holds
// open for writing is refused, and an exclusive holder shuts out every later
// open, read or removal.
TEST(Win32FileSystem, AFileHeldOpenElsewhereIsRefusedAndAnExclusiveHolderShutsOutTheRest) {
  wchar_t tmp[MAX_PATH];
  GetTempPathW(MAX_PATH, tmp);
  std::wstring wide = std::wstring(tmp) + L"qvheld" + std::to_wstring(GetCurrentProcessId());
  HANDLE writer = CreateFileW(wide.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  std::string oem;
  ASSERT_TRUE(win32::narrow_to_cp866(wide, oem));
  Text path(oem);
  auto fs = make_real_file_system();
  Error err = Error::kNone;
  EXPECT_FALSE(fs->open_exclusive(path, err)) << "taken while another program writes it";
  EXPECT_EQ(err, Error::kLocked);
  CloseHandle(writer);
  auto held = fs->open_exclusive(path, err);
  ASSERT_TRUE(held) << error_name(err);
  EXPECT_FALSE(fs->open_read(path, err));
  EXPECT_EQ(err, Error::kLocked);
  EXPECT_EQ(fs->remove(path), Error::kLocked);
  held.reset();
  EXPECT_EQ(fs->remove(path), Error::kNone) << "the holder outlived its close";
}

}  // namespace
}  // namespace qv

#endif  // _WIN32
