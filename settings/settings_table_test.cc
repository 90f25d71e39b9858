#include "settings/settings_table.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

#include "platform/cp866.h"

namespace qv {
namespace {

TEST(SettingsTable, DefaultsOfEveryBehaviouralSetting) {
  Settings s;
  s.delay_copy = 1;
  s.create_dir = "X";
  set_defaults(s);
  EXPECT_EQ(s.language, Text("English"));
  EXPECT_EQ(s.lang, 0);
  EXPECT_EQ(s.file_attr, 37u);
  EXPECT_EQ(s.log_type, Text("Full"));
  EXPECT_EQ(s.log_name, Text("<PROGRAMM_PATH>\\Quorvane.log"));
  EXPECT_EQ(s.name_batnik, Text("<PROGRAMM_PATH>\\Quorvane.bat"));
  EXPECT_EQ(s.mask_sopr, Text("*.(s)"));
  EXPECT_EQ(s.create_dir, Text("COPY"));
  EXPECT_EQ(s.delay_copy, 1000);
  EXPECT_EQ(s.delay_interpr, 1000);
  EXPECT_EQ(s.delay_bat, 5000);
  EXPECT_EQ(s.retry_count, 3);
  EXPECT_EQ(s.if_file_exist, IfFileExist::kCreateDir);
}

TEST(SettingsTable, ParseInteger) {
  using I = std::pair<const char*, std::optional<int32_t>>;
  for (auto [in, value] : {I{"1000", 1000},
                           I{"$3E8", 1000},
                           I{"$3e8", 1000},
                           I{"+5", 5},
                           I{"-0", 0},
                           I{"  7", 7},
                           I{"2147483647", 2147483647},
                           I{"$7FFFFFFF", 2147483647},
                           I{"2147483648", {}},
                           I{"-1", {}},
                           I{"-$10", {}},
                           I{"$80000000", {}},
                           I{"$100000000", {}},
                           I{"1s", {}},
                           I{"5 ", {}},
                           I{"", {}},
                           I{"-", {}},
                           I{"$", {}},
                           I{"$G", {}},
                           I{"99999999999999999999", {}}}) {
    int32_t v = -7;
    EXPECT_EQ(parse_integer(Text(in), v), value.has_value()) << in;
    if (value) {
      EXPECT_EQ(v, *value) << in;
    }
  }
}

TEST(SettingsTable, ParseBooleanInBothLanguagesAnyCase) {
  struct Case {
    std::string_view in;
    bool valid;
    bool value;
  } cases[] = {
      {"Yes", true, true},         {"up", true, true},          {"HI", true, true},
      {"да"_oem, true, true},      {"ПОДНЯТЬ"_oem, true, true}, {"высокий"_oem, true, true},
      {"1", true, true},           {"no", true, false},         {"DOWN", true, false},
      {"Low", true, false},        {"НЕТ"_oem, true, false},    {"опустить"_oem, true, false},
      {"Низкий"_oem, true, false}, {"0", true, false},          {"True", false, false},
      {"Ye", false, false},        {"yes ", false, false},      {"", false, false},
  };
  for (const Case& c : cases) {
    bool v = !c.value;
    EXPECT_EQ(parse_boolean(Text(c.in), v), c.valid) << c.in;
    if (c.valid) {
      EXPECT_EQ(v, c.value) << c.in;
    }
  }
}

TEST(SettingsTable, ApplySettingOutcomesAndStoredValues) {
  Settings s;
  set_defaults(s);
  using O = SettingOutcome;
  struct Case {
    const char* key;
    std::string_view value;
    SettingOutcome outcome;
  };
  for (const Case& c :
       {Case{"CODE_RETURN_CYCLE", "300", O::kAccepted},
        Case{"CODE_RETURN_TIME", "256", O::kAccepted}, Case{"DELAY_COPY", "$3E8", O::kAccepted},
        Case{"DELAY_COPY", "-1", O::kBadInteger}, Case{"MAX_FILE_SIZE", "2147483647", O::kAccepted},
        Case{"FILE_ATTR", "$27", O::kAccepted}, Case{"FILE_ATTR", "archive", O::kBadInteger},
        Case{"RUN_BATNIK", "Высокий"_oem, O::kAccepted},
        Case{"RUN_BATNIK", "Maybe", O::kBadBoolean},
        Case{"IF_FILE_EXIST", "overwrite_file", O::kAccepted},
        Case{"IF_FILE_EXIST", "Yes", O::kBadBoolean},
        Case{"LOG_TYPE", "VeryVeryVerbose", O::kAccepted},
        Case{"LANGUAGE", "abcdefghijklmnopqrstuvwxyz", O::kAccepted},
        Case{"COLOUR", "red", O::kUnknownVariable},
        Case{"delay_copy", "5", O::kUnknownVariable}}) {  // keys come upper-cased
    EXPECT_EQ(apply_setting(s, Text(c.key), Text(c.value)), c.outcome) << c.key << " " << c.value;
  }
  // Codes are kept as bytes, texts are cut to their width, a refused value changes nothing.
  EXPECT_EQ(s.code_return_cycle, 44);
  EXPECT_EQ(s.code_return_time, 0);
  EXPECT_EQ(s.delay_copy, 1000);
  EXPECT_EQ(s.max_file_size, 2147483647);
  EXPECT_EQ(s.file_attr, 39u);
  EXPECT_TRUE(s.run_batnik);
  EXPECT_EQ(s.if_file_exist, IfFileExist::kOverwriteFile);
  EXPECT_EQ(s.log_type.str(), "VeryVeryVe");
  EXPECT_EQ(s.language.size(), 19u);
  // LANGUAGE sets the flag for its two words only.
  for (auto [word, lang] : {std::pair{"russian", 1}, {"German", 1}, {"ENGLISH", 0}}) {
    apply_setting(s, Text("LANGUAGE"), Text(word));
    EXPECT_EQ(s.lang, lang) << word;
  }
  EXPECT_EQ(s.language.str(), "ENGLISH");
}

}  // namespace
}  // namespace qv
