#include "settings/settings_table.h"

#include <gtest/gtest.h>

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
  struct Case {
    const char* in;
    bool valid;
    int32_t value;
  } cases[] = {
      {"1000", true, 1000},
      {"$3E8", true, 1000},
      {"$3e8", true, 1000},
      {"+5", true, 5},
      {"-0", true, 0},
      {"  7", true, 7},
      {"2147483647", true, 2147483647},
      {"$7FFFFFFF", true, 2147483647},
      {"2147483648", false, 0},
      {"-1", false, 0},
      {"-$10", false, 0},
      {"$80000000", false, 0},
      {"$100000000", false, 0},
      {"1s", false, 0},
      {"5 ", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"$", false, 0},
      {"$G", false, 0},
      {"99999999999999999999", false, 0},
  };
  for (const Case& c : cases) {
    int32_t v = -7;
    EXPECT_EQ(parse_integer(Text(c.in), v), c.valid) << c.in;
    if (c.valid) {
      EXPECT_EQ(v, c.value) << c.in;
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
  auto apply = [&](const char* key, std::string_view value) {
    return apply_setting(s, Text(key), Text(value));
  };
  EXPECT_EQ(apply("CODE_RETURN_CYCLE", "300"), SettingOutcome::kAccepted);
  EXPECT_EQ(s.code_return_cycle, 44);
  EXPECT_EQ(apply("CODE_RETURN_TIME", "256"), SettingOutcome::kAccepted);
  EXPECT_EQ(s.code_return_time, 0);
  EXPECT_EQ(apply("DELAY_COPY", "$3E8"), SettingOutcome::kAccepted);
  EXPECT_EQ(s.delay_copy, 1000);
  EXPECT_EQ(apply("DELAY_COPY", "-1"), SettingOutcome::kBadInteger);
  EXPECT_EQ(s.delay_copy, 1000);
  EXPECT_EQ(apply("MAX_FILE_SIZE", "2147483647"), SettingOutcome::kAccepted);
  EXPECT_EQ(s.max_file_size, 2147483647);
  EXPECT_EQ(apply("FILE_ATTR", "$27"), SettingOutcome::kAccepted);
  EXPECT_EQ(s.file_attr, 39u);
  EXPECT_EQ(apply("FILE_ATTR", "archive"), SettingOutcome::kBadInteger);
  EXPECT_EQ(apply("RUN_BATNIK", "Высокий"_oem), SettingOutcome::kAccepted);
  EXPECT_TRUE(s.run_batnik);
  EXPECT_EQ(apply("RUN_BATNIK", "Maybe"), SettingOutcome::kBadBoolean);
  EXPECT_EQ(apply("IF_FILE_EXIST", "overwrite_file"), SettingOutcome::kAccepted);
  EXPECT_EQ(s.if_file_exist, IfFileExist::kOverwriteFile);
  EXPECT_EQ(apply("IF_FILE_EXIST", "Yes"), SettingOutcome::kBadBoolean);
  EXPECT_EQ(s.if_file_exist, IfFileExist::kOverwriteFile);
  EXPECT_EQ(apply("LOG_TYPE", "VeryVeryVerbose"), SettingOutcome::kAccepted);
  EXPECT_EQ(s.log_type, Text("VeryVeryVe"));
  EXPECT_EQ(apply("COLOUR", "red"), SettingOutcome::kUnknownVariable);
  EXPECT_EQ(apply("delay_copy", "5"), SettingOutcome::kUnknownVariable);  // keys arrive upper-cased
}

TEST(SettingsTable, LanguageWordsSetTheFlagOtherTextsKeepIt) {
  Settings s;
  set_defaults(s);
  EXPECT_EQ(apply_setting(s, Text("LANGUAGE"), Text("russian")), SettingOutcome::kAccepted);
  EXPECT_EQ(s.lang, 1);
  EXPECT_EQ(apply_setting(s, Text("LANGUAGE"), Text("German")), SettingOutcome::kAccepted);
  EXPECT_EQ(s.lang, 1);
  EXPECT_EQ(s.language, Text("German"));
  EXPECT_EQ(apply_setting(s, Text("LANGUAGE"), Text("ENGLISH")), SettingOutcome::kAccepted);
  EXPECT_EQ(s.lang, 0);
  apply_setting(s, Text("LANGUAGE"), Text("abcdefghijklmnopqrstuvwxyz"));
  EXPECT_EQ(s.language.size(), 19u);
}

}  // namespace
}  // namespace qv
