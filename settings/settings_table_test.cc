#include "settings/settings_table.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "platform/cp866.h"

namespace qv {
namespace {

// Each text parses to its value or, marked "-", is refused.
TEST(SettingsTable, ParseInteger) {
  std::string got;
  for (const char* in :
       {"1000", "$3E8",       "$3e8",       "+5",         "-0",
        "  7",  "2147483647", "$7FFFFFFF",  "2147483648", "-1",
        "-$10", "$80000000",  "$100000000", "1s",         "5 ",
        "",     "-",          "$",          "$G",         "99999999999999999999"}) {
    int32_t v = -7;
    got += parse_integer(Text(in), v) ? std::to_string(v) + " " : "- ";
  }
  EXPECT_EQ(got, "1000 1000 1000 5 0 7 2147483647 2147483647 - - - - - - - - - - - - ");
}

TEST(SettingsTable, ParseBooleanInBothLanguagesAnyCase) {
  std::string got;
  for (std::string_view in : std::initializer_list<std::string_view>{
           "Yes", "up", "HI", "да"_oem, "ПОДНЯТЬ"_oem, "высокий"_oem, "1", "no", "DOWN", "Low",
           "НЕТ"_oem, "опустить"_oem, "Низкий"_oem, "0", "True", "Ye", "yes ", ""}) {
    for (bool before : {false, true}) {
      bool v = before;
      got += parse_boolean(Text(in), v) ? (v ? "1" : "0") : "-";
    }
  }
  // Seven true words, seven false ones, four refused, each from both starting values.
  EXPECT_EQ(got, "1111111111111100000000000000--------");
}

TEST(SettingsTable, ApplySettingOutcomesAndStoredValues) {
  Settings s;
  set_defaults(s);
  using O = SettingOutcome;
  const std::tuple<const char*, std::string_view, SettingOutcome> cases[] = {
      {"CODE_RETURN_CYCLE", "300", O::kAccepted},
      {"CODE_RETURN_TIME", "256", O::kAccepted},
      {"DELAY_COPY", "$3E8", O::kAccepted},
      {"DELAY_COPY", "-1", O::kBadInteger},
      {"MAX_FILE_SIZE", "2147483647", O::kAccepted},
      {"FILE_ATTR", "$27", O::kAccepted},
      {"FILE_ATTR", "archive", O::kBadInteger},
      {"RUN_BATNIK", "Высокий"_oem, O::kAccepted},
      {"RUN_BATNIK", "Maybe", O::kBadBoolean},
      {"IF_FILE_EXIST", "overwrite_file", O::kAccepted},
      {"IF_FILE_EXIST", "Yes", O::kBadBoolean},
      {"LOG_TYPE", "VeryVeryVerbose", O::kAccepted},
      {"LANGUAGE", "abcdefghijklmnopqrstuvwxyz", O::kAccepted},
      {"CREATE_DIR", "", O::kBadText},  // no level: the chain would never grow
      {"CREATE_DIR", ".", O::kBadText},
      {"CREATE_DIR", "\\/", O::kBadText},
      {"CREATE_DIR", "..", O::kBadText},  // out of the target directory
      {"CREATE_DIR", "OLD\\..\\..", O::kBadText},
      {"CREATE_DIR", "\\<YEAR>/.x\\", O::kAccepted},
      {"COLOUR", "red", O::kUnknownVariable},
      {"delay_copy", "5", O::kUnknownVariable},  // keys come upper-cased
      {"MIN_FILE_AGE", "$3C", O::kAccepted},
      {"MIN_FILE_AGE", "-5", O::kBadInteger},
  };
  for (auto [key, value, outcome] : cases) {
    EXPECT_EQ(apply_setting(s, Text(key), Text(value)), outcome) << key << " " << value;
  }
  // Codes are kept as bytes, texts are cut to their width, a refused value changes nothing.
  const std::string numbers =
      std::to_string(s.code_return_cycle) + " " + std::to_string(s.code_return_time) + " " +
      std::to_string(s.delay_copy) + " " + std::to_string(s.max_file_size) + " " +
      std::to_string(s.file_attr) + " " + std::to_string(s.min_file_age);
  EXPECT_EQ(numbers, "44 0 1000 2147483647 39 60");
  EXPECT_TRUE(s.run_batnik);
  EXPECT_EQ(s.if_file_exist, IfFileExist::kOverwriteFile);
  EXPECT_EQ(s.log_type.str() + "|" + std::to_string(s.language.size()) + "|" + s.create_dir.str(),
            "VeryVeryVe|19|\\<YEAR>/.x\\");
  // LANGUAGE sets the flag for its two words only.
  for (auto [word, lang] : {std::pair{"russian", 1}, {"German", 1}, {"ENGLISH", 0}}) {
    apply_setting(s, Text("LANGUAGE"), Text(word));
    EXPECT_EQ(s.lang, lang) << word;
  }
  EXPECT_EQ(s.language.str(), "ENGLISH");
}

}  // namespace
}  // namespace qv
