#include "settings/settings_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "platform/cp866.h"

namespace qv {
namespace {

TEST(SettingsTable, ParseInteger) {
  const std::pair<const char*, int32_t> accepted[] = {
      {"1000", 1000},
      {"$3E8", 1000},
      {"$3e8", 1000},
      {"+5", 5},
      {"-0", 0},
      {"  7", 7},
      {"2147483647", 2147483647},
      {"$7FFFFFFF", 2147483647},
  };
  for (auto [in, value] : accepted) {
    int32_t v = -7;
    EXPECT_TRUE(parse_integer(Text(in), v)) << in;
    EXPECT_EQ(v, value) << in;
  }
  for (const char* in : {"2147483648", "-1", "-$10", "$80000000", "$100000000", "1s", "5 ", "", "-",
                         "$", "$G", "99999999999999999999"}) {
    int32_t v = -7;
    EXPECT_FALSE(parse_integer(Text(in), v)) << in;
  }
}

TEST(SettingsTable, ParseBooleanInBothLanguagesAnyCase) {
  const std::pair<std::string_view, int> cases[] = {
      {"Yes", 1},         {"up", 1},          {"HI", 1},      {"да"_oem, 1},
      {"ПОДНЯТЬ"_oem, 1}, {"высокий"_oem, 1}, {"1", 1},       {"no", 0},
      {"DOWN", 0},        {"Low", 0},         {"НЕТ"_oem, 0}, {"опустить"_oem, 0},
      {"Низкий"_oem, 0},  {"0", 0},           {"True", -1},   {"Ye", -1},
      {"yes ", -1},       {"", -1},
  };
  for (auto [in, value] : cases) {
    for (bool before : {false, true}) {
      bool v = before;
      EXPECT_EQ(parse_boolean(Text(in), v), value >= 0) << in;
      EXPECT_EQ(v, value >= 0 ? value == 1 : before) << in;
    }
  }
}

TEST(SettingsTable, ApplySettingOutcomesAndStoredValues) {
  Settings s;
  set_defaults(s);
  using O = SettingOutcome;
  const struct {
    const char* key;
    std::string_view value;
    SettingOutcome outcome;
  } cases[] = {
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
      {"COLOUR", "red", O::kUnknownVariable},
      {"delay_copy", "5", O::kUnknownVariable},  // keys come upper-cased
  };
  for (const auto& c : cases) {
    EXPECT_EQ(apply_setting(s, Text(c.key), Text(c.value)), c.outcome) << c.key << " " << c.value;
  }
  // Codes are kept as bytes, texts are cut to their width, a refused value changes nothing.
  const std::string numbers = std::to_string(s.code_return_cycle) + " " +
                              std::to_string(s.code_return_time) + " " +
                              std::to_string(s.delay_copy) + " " + std::to_string(s.max_file_size) +
                              " " + std::to_string(s.file_attr);
  EXPECT_EQ(numbers, "44 0 1000 2147483647 39");
  EXPECT_TRUE(s.run_batnik);
  EXPECT_EQ(s.if_file_exist, IfFileExist::kOverwriteFile);
  EXPECT_EQ(s.log_type.str() + "|" + std::to_string(s.language.size()), "VeryVeryVe|19");
  // LANGUAGE sets the flag for its two words only.
  for (auto [word, lang] : {std::pair{"russian", 1}, {"German", 1}, {"ENGLISH", 0}}) {
    apply_setting(s, Text("LANGUAGE"), Text(word));
    EXPECT_EQ(s.lang, lang) << word;
  }
  EXPECT_EQ(s.language.str(), "ENGLISH");
}

}  // namespace
}  // namespace qv
