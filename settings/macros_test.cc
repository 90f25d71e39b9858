#include "settings/macros.h"

#include <gtest/gtest.h>

#include <utility>

#include "platform/cp866.h"
#include "script/text_utils.h"
#include "settings/settings_table.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// Expands `text` after the clock was set to `t` and read (year 0: never read).
std::string expand_at(fake::FakePlatform& fp, Run& run, const LocalTime& t, std::string_view text) {
  if (t.year != 0) {
    fp.clock.set(t);
    macro_refresh(run);
  }
  return expand_macros(run, Text(text)).str();
}

// Before the first refresh (while the settings load) the clock fields are zero.
TEST(Macros, ExpandAtAFixedDateAndBeforeTheFirstRefresh) {
  const LocalTime kDec{.year = 2026, .month = 12, .day = 5, .hour = 14, .minute = 7, .second = 9};
  const LocalTime kOct{.year = 2026, .month = 10, .day = 31, .hour = 23}, kNone{};
  struct Case {
    LocalTime at;
    std::string_view in, out;
  } cases[] = {
      {kNone, "[<YEAR>]<MONTH><DAY><HOUR><MIN><SEC>", "[]0000000000"},
      {kNone, "<MONTH_CHAR><DAY_CHAR><HOUR_CHAR> <NUMBER_FILE>", "000 1234"},
      {kDec, "D:\\IN\\<MONTH>_<YEAR>\\<DAY>\\<MIN>_<SEC>\\", "D:\\IN\\12_26\\05\\07_09\\"},
      {kDec, "<ГОД>-<МЕСЯЦ>-<ДЕНЬ> <ЧАС>:<МИН>:<СЕК>"_oem, "26-12-05 14:07:09"},
      {kDec, "<МЕСЯЦ_СИМВ><ДЕНЬ_СИМВ><ЧАС_СИМВ>"_oem, "C5E"},
      {kOct, "<MONTH_CHAR><DAY_CHAR><HOUR_CHAR>", "AVN"},
      {kDec, "<year><DAY><DAY><YEAR><OTHER>", "<year>050526<OTHER>"},
      {kDec, "<NUMBER_FILE>/<НОМЕР_ФАЙЛА>"_oem, "1234/1234"},
      {kDec, "<PROGRAMM_PATH>|<КАТАЛОГ_ПРОГРАММЫ>"_oem, "C:\\QV|C:\\QV"},
      {kDec, "<START_PATH>|<СТАРТОВЫЙ_КАТАЛОГ>"_oem, "C:\\WORK|C:\\WORK"},
  };
  for (const Case& c : cases) {
    fake::FakePlatform fp;
    qv::Run run(fp.platform);
    store_startup_dirs(run);
    run.state.found_files = 1234;
    EXPECT_EQ(expand_at(fp, run, c.at, c.in), c.out) << cp866_to_utf8(c.in);
  }
  EXPECT_EQ(char_code(35).str() + char_code(36).str() + char_code(-1).str(), "Z");
}

// The refresh expands the settings once but not the language; a result is
// cut at 255 bytes and a value is never expanded again.
TEST(Macros, RefreshExpandsSettingsOnceAndResultsAreCut) {
  fake::FakePlatform fp;
  fp.env.exe = std::string("C:\\<PROGRAMM_PATH>") + std::string(30, 'D') + "\\Q.EXE";
  qv::Run run(fp.platform);
  store_startup_dirs(run);
  set_defaults(run.settings);
  run.settings.create_dir = "<DAY>";
  run.settings.language = "<DAY>";
  const std::string dir = "C:\\<PROGRAMM_PATH>" + std::string(30, 'D');
  const std::string out = expand_at(fp, run, {.year = 2026, .month = 12, .day = 5, .second = 9},
                                    std::string(235, 'x') + "<PROGRAMM_PATH>");
  const Settings& s = run.settings;
  EXPECT_EQ(s.log_name.str() + "|" + s.name_batnik.str() + "|" + s.create_dir.str() + "|" +
                s.language.str(),
            dir + "\\Quorvane.log|" + dir + "\\Quorvane.bat|05|<DAY>");
  EXPECT_EQ(out, std::string(235, 'x') + dir.substr(0, 20));
  EXPECT_EQ(std::pair(run.clock.get().year, run.clock.get().second), std::pair(2026, 9));
}

}  // namespace
}  // namespace qv
