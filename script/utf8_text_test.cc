#include "script/utf8_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/startup.h"
#include "platform/cp866.h"
#include "script/line_reader.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// The lines of a file as the readers see them, joined by '|'.
std::string read_lines(const std::string& content, bool utf8_allowed) {
  fake::FakePlatform fp;
  fp.fs.add_file("C:\\F.TXT", content);
  Error err = Error::kNone;
  auto reader = LineReader::open(fp.fs, Text("C:\\F.TXT"), err, utf8_allowed);
  EXPECT_NE(reader, nullptr);
  std::string out;
  Text line;
  while (reader && !reader->at_end() && reader->next(line)) out += line.str() + "|";
  return out;
}

std::string oem(std::string_view s) {
  std::string out;
  utf8_to_cp866(s, out);
  return out;
}

// Valid UTF-8 with non-ASCII characters reads as CP866 where allowed; a CP866
// file, a file that is not valid UTF-8 to its end (or its Ctrl-Z), an
// overlong form and any file where UTF-8 is not allowed read byte for byte.
TEST(Utf8Text, Utf8TextReadsAsCp866AndEverythingElseAsItStands) {
  std::string zhe300;
  for (int i = 0; i < 300; ++i) zhe300 += "Ж";
  const std::string ascii_4094(4094, 'a');  // then a line end: Ж spans bytes 4096 and 4097
  struct Case {
    const char* name;
    std::string content;
    bool allowed;
    std::string lines;
  } cases[] = {
      {"Cyrillic UTF-8", "C:\\Входящие\r\nMask: *.*\n", true, oem("C:\\Входящие|Mask: *.*|")},
      {"UTF-8 not allowed", "Входящие\n", false, "Входящие|"},
      {"CP866 file", oem("Входящие\n"), true, oem("Входящие|")},
      {"byte-order mark dropped",
       "\xEF\xBB\xBF"
       "Да\n",
       true, oem("Да|")},
      {"character CP866 lacks", "a€b\n", true, "a?b|"},
      {"overlong form is no UTF-8", "\xC0\x80Ж\n", true, "\xC0\x80Ж|"},
      {"surrogate is no UTF-8", "\xED\xA0\x80Ж\n", true, "\xED\xA0\x80Ж|"},
      {"cut at 255 characters, not bytes", zhe300 + "\n", true, oem(zhe300.substr(0, 510)) + "|"},
      {"only up to Ctrl-Z counts", "Ж\n\x1A\xFF", true, oem("Ж") + "|"},
      {"sequence split between reads", ascii_4094 + "\nЖ\n", true,
       ascii_4094.substr(0, 255) + "|" + oem("Ж") + "|"},
      {"file ends inside a sequence", "Ж\n\xD0", true, "Ж|\xD0|"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(read_lines(c.content, c.allowed), c.lines) << c.name;
  }
}

// A settings file and a task script in UTF-8 with Cyrillic words and
// directory names work where the system's text is UTF-8; elsewhere the same
// settings file holds a Boolean value that is no word of the table.
TEST(Utf8Text, SettingsAndScriptInUtf8MoveFilesWhereTextIsUtf8) {
  for (bool utf8 : {true, false}) {
    SCOPED_TRACE(utf8);
    fake::FakePlatform fp;
    fp.env.utf8_text = utf8;
    fp.fs.add_file("C:\\QV\\Quorvane.cfg",
                   "VALID_CYCLE_FULL_RUN 1\nCODE_RETURN_CYCLE 3\nDELAY_INTERPR 0\n"
                   "DELAY_COPY 0\nANALIS_SOPR Нет --// без сопроводительных\n");
    fp.fs.add_file("C:\\QV\\Quorvane.Qvr",
                   "C:\\Входящие\nMask: *.*\nC:\\Архив\\Исходящие\nCommand: DO\n");
    fp.fs.add_file(oem("C:\\Входящие\\Отчёт.txt"), "data");
    EXPECT_EQ(run_program(fp.platform), utf8 ? 3 : 8);
    EXPECT_EQ(fp.fs.exists(oem("C:\\Архив\\Исходящие\\Отчёт.txt")), utf8);
    EXPECT_EQ(fp.fs.exists(oem("C:\\Входящие\\Отчёт.txt")), !utf8);
  }
}

}  // namespace
}  // namespace qv
