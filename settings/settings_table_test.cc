#include "settings/settings_table.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "platform/cp866.h"
#include "script/text_utils.h"
#include "settings/macros.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {
using namespace std::literals;

// Each text parses to its value or, marked "-", is refused; a Boolean word
// is read the same from either starting value.
TEST(SettingsTable, ParseIntegerAndBoolean) {
  std::string got;
  for (const char* in :
       {"1000", "$3e8", "+5", "-0", "  7", "2147483647", "$7FFFFFFF", "2147483648", "-1", "-$10",
        "$80000000", "$100000000", "1s", "5 ", "", "$", "$G", "99999999999999999999"}) {
    int32_t v = -7;
    got += parse_integer(Text(in), v) ? std::to_string(v) + " " : "- ";
  }
  EXPECT_EQ(got, "1000 1000 5 0 7 2147483647 2147483647 - - - - - - - - - - - ");
  got.clear();
  for (std::string_view in : {"up"sv, "да"_oem, "ПОДНЯТЬ"_oem, "1"sv, "DOWN"sv, "НЕТ"_oem,
                              "Низкий"_oem, "0"sv, "True"sv, "Ye"sv, "yes "sv, ""sv}) {
    for (bool before : {false, true}) {
      bool v = before;
      got += parse_boolean(Text(in), v) ? (v ? "1" : "0") : "-";
    }
  }
  EXPECT_EQ(got, "1111111100000000--------");
}

// Codes are kept as bytes, texts are cut to their width, a refused value
// changes nothing, and CREATE_DIR must lead one level or more down.
TEST(SettingsTable, ApplySettingOutcomesAndStoredValues) {
  Settings s;
  set_defaults(s);
  using O = SettingOutcome;
  const std::tuple<const char*, std::string_view, SettingOutcome> cases[] = {
      {"CODE_RETURN_CYCLE", "300", O::kAccepted},
      {"DELAY_COPY", "-1", O::kBadInteger},
      {"MAX_FILE_SIZE", "2147483647", O::kAccepted},
      {"FILE_ATTR", "$27", O::kAccepted},
      {"RUN_BATNIK", "Высокий"_oem, O::kAccepted},
      {"IF_FILE_EXIST", "overwrite_file", O::kAccepted},
      {"IF_FILE_EXIST", "Yes", O::kBadBoolean},
      {"LOG_TYPE", "VeryVeryVerbose", O::kAccepted},
      {"CREATE_DIR", ".", O::kBadText},
      {"CREATE_DIR", "OLD\\..\\..", O::kBadText},
      {"CREATE_DIR", "\\<YEAR>/.x\\", O::kAccepted},
      {"delay_copy", "5", O::kUnknownVariable},
      {"MIN_FILE_AGE", "-5", O::kBadInteger},
      {"MIN_FILE_AGE", "$3C", O::kAccepted}};
  for (auto [key, value, outcome] : cases)
    EXPECT_EQ(apply_setting(s, Text(key), Text(value)), outcome) << key << " " << value;
  EXPECT_EQ(std::to_string(s.code_return_cycle) + " " + std::to_string(s.delay_copy) + " " +
                std::to_string(s.max_file_size) + " " + std::to_string(s.file_attr) + " " +
                std::to_string(s.min_file_age) + " " + std::to_string(s.run_batnik) + " " +
                s.log_type.str() + " " + s.create_dir.str(),
            "44 1000 2147483647 39 60 1 VeryVeryVe \\<YEAR>/.x\\");
  EXPECT_EQ(s.if_file_exist, IfFileExist::kOverwriteFile);
  for (auto [word, lang] : {std::pair{"russian", 1}, {"German", 1}, {"ENGLISH", 0}}) {
    apply_setting(s, Text("LANGUAGE"), Text(word));
    EXPECT_EQ(s.lang, lang) << word;
  }
}

// Before the first refresh (while the settings load) the clock fields are zero.
TEST(Macros, ExpandAtAFixedDateAndBeforeTheFirstRefresh) {
  const LocalTime kDec{.year = 2026, .month = 12, .day = 5, .hour = 14, .minute = 7, .second = 9};
  const LocalTime kOct{.year = 2026, .month = 10, .day = 31, .hour = 23}, kNone{};
  const std::tuple<LocalTime, std::string_view, std::string_view> cases[] = {
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
  for (const auto& [at, in, out] : cases) {
    fake::FakePlatform fp;
    qv::Run run(fp.platform);
    store_startup_dirs(run);
    run.state.found_files = 1234;
    fp.clock.set(at);
    if (at.year != 0) macro_refresh(run);  // year 0: the clock was never read
    EXPECT_EQ(expand_macros(run, Text(in)).str(), out) << cp866_to_utf8(in);
  }
  EXPECT_EQ(char_code(35).str() + char_code(36).str() + char_code(-1).str(), "Z");
}

}  // namespace
}  // namespace qv
