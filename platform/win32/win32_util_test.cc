#ifdef _WIN32

#include "platform/win32/win32_util.h"

#include <gtest/gtest.h>

#include "platform/cp866.h"
#include "platform/win32/win32_system.h"

namespace qv::win32 {
namespace {

TEST(Win32Util, ErrorsMapOntoThePortableSpace) {
  const std::pair<DWORD, Error> cases[] = {{ERROR_SUCCESS, Error::kNone},
                                           {ERROR_FILE_NOT_FOUND, Error::kNotFound},
                                           {ERROR_PATH_NOT_FOUND, Error::kNotFound},
                                           {ERROR_INVALID_DRIVE, Error::kNotFound},
                                           {ERROR_ACCESS_DENIED, Error::kAccessDenied},
                                           {ERROR_SHARING_VIOLATION, Error::kLocked},
                                           {ERROR_LOCK_VIOLATION, Error::kLocked},
                                           {ERROR_FILE_EXISTS, Error::kExists},
                                           {ERROR_ALREADY_EXISTS, Error::kExists},
                                           {ERROR_DISK_FULL, Error::kNoSpace},
                                           {ERROR_HANDLE_DISK_FULL, Error::kNoSpace},
                                           {ERROR_DIRECTORY, Error::kNotDirectory},
                                           {ERROR_INVALID_NAME, Error::kBadName},
                                           {ERROR_FILENAME_EXCED_RANGE, Error::kBadName},
                                           {ERROR_NOT_SAME_DEVICE, Error::kCrossDevice},
                                           {ERROR_DIR_NOT_EMPTY, Error::kExists},
                                           {ERROR_DELETE_PENDING, Error::kNotFound},
                                           {ERROR_CANT_RESOLVE_FILENAME, Error::kNotRegular},
                                           {ERROR_CRC, Error::kIo}};
  for (const auto& [code, want] : cases) EXPECT_EQ(error_from_win32(code), want) << code;
}

// Names cross between CP866 and UTF-16 both ways; a character CP866 cannot
// hold refuses the name. Arguments arrive as Windows-1251.
TEST(Win32Util, NamesCrossBetweenCp866AndUtf16AndArgumentsArriveAsWindows1251) {
  std::string oem("Z:/Архив/Файл ╔═╗.txt"_oem);
  EXPECT_EQ(widen_path(oem),
            L"Z:\\\x0410\x0440\x0445\x0438\x0432\\\x0424\x0430\x0439\x043B \x2554\x2550\x2557.txt");
  std::string back;
  EXPECT_TRUE(narrow_to_cp866(widen(oem), back));
  EXPECT_EQ(back, oem);
  const std::wstring euro = L"a\u20ACb";  // the euro sign has no CP866 byte
  EXPECT_FALSE(narrow_to_cp866(euro, back));
  EXPECT_EQ(back, "ab");
  EXPECT_FALSE(narrow_to_cp866(L"x\xD83D\xDE00", back));  // neither has a surrogate pair
  EXPECT_EQ(narrow_lossy(euro).view(), "a?b");
  EXPECT_EQ(arguments_of(L"prog.exe /H \"a b\" /\x041F\x041E\x041C\x041E\x0429\x042C"),
            (std::vector<std::string>{"/H", "a b", "/\xCF\xCE\xCC\xCE\xD9\xDC"}));
  EXPECT_TRUE(arguments_of(L"prog.exe").empty());
}

}  // namespace
}  // namespace qv::win32

#endif  // _WIN32
