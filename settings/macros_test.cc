#include "settings/macros.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/cp866.h"
#include "script/text_utils.h"
#include "settings/settings_table.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

class Macros : public ::testing::Test {
 protected:
  Macros() { store_startup_dirs(run); }
  // Sets the virtual clock and refreshes the clock fields from it.
  void at(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second) {
    LocalTime t;
    t.year = year, t.month = month, t.day = day, t.hour = hour, t.minute = minute,
    t.second = second;
    fp.clock.set(t);
    macro_refresh(run);
  }
  std::string expand(std::string_view text) { return expand_macros(run, Text(text)).str(); }

  fake::FakePlatform fp;
  qv::Run run{fp.platform};
};

TEST_F(Macros, TableAtAFixedDate) {
  at(2026, 12, 5, 14, 7, 9);
  run.state.found_files = 1234;
  struct Case {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"D:\\ARHIV\\INPUT\\<MONTH>_<YEAR>\\<DAY>\\<MIN>_<SEC>\\",
       "D:\\ARHIV\\INPUT\\12_26\\05\\07_09\\"},
      {"<MONTH_CHAR><DAY_CHAR><HOUR_CHAR>", "C5E"},
      {"<ГОД>-<МЕСЯЦ>-<ДЕНЬ> <ЧАС>:<МИН>:<СЕК>"_oem, "26-12-05 14:07:09"},
      {"<МЕСЯЦ_СИМВ><ДЕНЬ_СИМВ><ЧАС_СИМВ>"_oem, "C5E"},
      {"<year><Year>", "<year><Year>"},
      {"<DAY><DAY><HOUR>", "050514"},
      {"<NUMBER_FILE>/<НОМЕР_ФАЙЛА>"_oem, "1234/1234"},
      {"<PROGRAMM_PATH>|<КАТАЛОГ_ПРОГРАММЫ>"_oem, "C:\\QV|C:\\QV"},
      {"<START_PATH>|<СТАРТОВЫЙ_КАТАЛОГ>"_oem, "C:\\WORK|C:\\WORK"},
      {"<YEAR><OTHER>", "26<OTHER>"},
  };
  for (const Case& c : cases) EXPECT_EQ(expand(c.in), c.out) << c.in;
}

TEST_F(Macros, CharacterCodesAndClockFieldsAtZeroBeforeTheRefresh) {
  // While the settings load, the clock fields are still zero.
  EXPECT_EQ(expand("[<YEAR>]<MONTH><DAY><HOUR><MIN><SEC>"), "[]0000000000");
  EXPECT_EQ(expand("<MONTH_CHAR><DAY_CHAR><HOUR_CHAR> <NUMBER_FILE> <PROGRAMM_PATH>"),
            "000 0 C:\\QV");
  at(2026, 10, 31, 23, 0, 0);
  EXPECT_EQ(expand("<MONTH_CHAR><DAY_CHAR><HOUR_CHAR>"), "AVN");
  EXPECT_EQ(char_code(35).str() + char_code(36).str() + char_code(-1).str(), "Z");
}

TEST_F(Macros, RefreshExpandsTheSettingsOnceButNotTheLanguage) {
  set_defaults(run.settings);
  run.settings.create_dir = "<DAY>";
  run.settings.language = "<DAY>";
  at(2026, 12, 5, 14, 7, 9);
  const Settings& s = run.settings;
  EXPECT_EQ(s.log_name.str() + "|" + s.name_batnik.str() + "|" + s.create_dir.str() + "|" +
                s.language.str(),
            "C:\\QV\\Quorvane.log|C:\\QV\\Quorvane.bat|05|<DAY>");
  EXPECT_EQ(std::pair(run.clock.get().year, run.clock.get().second), std::pair(2026, 9));
}

TEST_F(Macros, ResultIsCutAt255AndValuesAreNotExpandedAgain) {
  fp.env.exe = Text(std::string("C:\\<PROGRAMM_PATH>") + std::string(30, 'D') + "\\Q.EXE");
  store_startup_dirs(run);
  EXPECT_EQ(expand("<PROGRAMM_PATH>\\a"), "C:\\<PROGRAMM_PATH>" + std::string(30, 'D') + "\\a");
  std::string out = expand(std::string(235, 'x') + "<PROGRAMM_PATH>");
  ASSERT_EQ(out.size(), 255u);
  EXPECT_EQ(out.substr(235), "C:\\<PROGRAMM_PATH>DD");
}

}  // namespace
}  // namespace qv
