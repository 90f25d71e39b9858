#ifdef _WIN32

#include "platform/win32/win32_util.h"

#include <gtest/gtest.h>

#include "platform/cp866.h"
#include "platform/win32/win32_system.h"

namespace qv::win32 {
namespace {

TEST(Win32Util, ErrorsMapOntoThePortableSpace) {
  struct Case {
    DWORD code;
    Error want;
  } cases[] = {{ERROR_SUCCESS, Error::kNone},
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
               {ERROR_CRC, Error::kIo}};
  for (const Case& c : cases) EXPECT_EQ(error_from_win32(c.code), c.want) << c.code;
}

TEST(Win32Util, TimeStampsKeepTheirHundredNanosecondStepsAndHoldAtTheEnds) {
  struct Case {
    int64_t ns;
    int64_t back;  // what survives a round trip
  } cases[] = {{0, 0},
               {1'700'000'000'123'456'700, 1'700'000'000'123'456'700},
               {1'700'000'000'123'456'789, 1'700'000'000'123'456'700},
               {-1, -100},  // before 1970 rounds down, not towards zero
               {-5'000'000'000'000'000'050, -5'000'000'000'000'000'100}};
  for (const Case& c : cases) EXPECT_EQ(filetime_to_ns(ns_to_filetime(c.ns)), c.back) << c.ns;
  // Stamps beyond the range of nanoseconds are held at its ends.
  EXPECT_EQ(filetime_to_ns(FILETIME{0, 0}), INT64_MIN);
  EXPECT_EQ(filetime_to_ns(FILETIME{0xFFFFFFFFu, 0x7FFFFFFFu}), INT64_MAX);
}

TEST(Win32Util, DriveRootOfPath) {
  struct Case {
    const char* path;
    const wchar_t* root;
  } cases[] = {{"C:\\DATA\\IN", L"C:\\"},
               {"d:", L"D:\\"},
               {"z:/data/x", L"Z:\\"},
               {"\\\\server\\share\\dir\\f", L"\\\\server\\share\\"},
               {"//server/share", L"\\\\server\\share\\"},
               {"\\\\server\\", L""},
               {"\\\\\\share", L""},
               {"DATA\\IN", L""},
               {"\\DATA", L""},
               {"1:\\", L""},
               {"", L""}};
  for (const Case& c : cases) EXPECT_EQ(drive_root_of(c.path), std::wstring(c.root)) << c.path;
}

TEST(Win32Util, NamesCrossBetweenCp866AndUtf16) {
  std::string oem("Z:/Архив/Файл ╔═╗.txt"_oem);
  std::wstring wide = widen_path(oem);
  EXPECT_EQ(wide,
            L"Z:\\\x0410\x0440\x0445\x0438\x0432\\\x0424\x0430\x0439\x043B \x2554\x2550\x2557.txt");
  std::string back;
  EXPECT_TRUE(narrow_to_cp866(widen(oem), back));
  EXPECT_EQ(back, oem);
  const std::wstring euro = L"a\u20ACb";  // the euro sign has no CP866 byte
  EXPECT_FALSE(narrow_to_cp866(euro, back));
  EXPECT_EQ(back, "ab");
  EXPECT_FALSE(narrow_to_cp866(L"x\xD83D\xDE00", back));  // neither has a surrogate pair
  EXPECT_EQ(narrow_lossy(euro).view(), "a?b");
}

TEST(Win32Util, ArgumentsArriveAsWindows1251) {
  EXPECT_EQ(to_windows_1251(L"/\x041F\x041E\x041C\x041E\x0429\x042C"), "/\xCF\xCE\xCC\xCE\xD9\xDC");
  std::vector<std::string> args = arguments_of(L"prog.exe /H \"a b\" /\x041F");
  std::vector<std::string> want = {"/H", "a b", "/\xCF"};
  EXPECT_EQ(args, want);
  EXPECT_TRUE(arguments_of(L"prog.exe").empty());
}

TEST(Win32Util, AttributeBits) {
  DWORD win = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE |
              FILE_ATTRIBUTE_NOT_CONTENT_INDEXED | FILE_ATTRIBUTE_TEMPORARY;
  EXPECT_EQ(dos_attributes(win), uint32_t{kAttrReadOnly | kAttrHidden | kAttrArchive});
  EXPECT_EQ(dos_attributes(FILE_ATTRIBUTE_DIRECTORY), uint32_t{kAttrDirectory});
  EXPECT_EQ(settable_attributes(0), DWORD{FILE_ATTRIBUTE_NORMAL});
  EXPECT_EQ(settable_attributes(kAttrDirectory | kAttrSystem), DWORD{FILE_ATTRIBUTE_SYSTEM});
  EXPECT_TRUE(is_irregular(FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_FALSE(is_irregular(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN));
}

}  // namespace
}  // namespace qv::win32

#endif  // _WIN32
