#include "settings/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/cp866.h"
#include "script/text_utils.h"
#include "settings/macros.h"
#include "settings/settings_table.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

struct Outcome {
  Ending help, other;
  std::string transcript;
  int64_t waits, slept_ms;
};

// Runs the switch checks as the start does, with two large numbers set for the dump.
Outcome run_switches(std::vector<std::string> args, uint8_t lang) {
  fake::FakePlatform fp;
  fp.env.args = std::move(args);
  qv::Run run(fp.platform);
  store_startup_dirs(run);
  set_defaults(run.settings);
  run.settings.lang = lang;
  run.settings.number_time_work = 1234567890123456789;  // rounded to 15 digits in the dump
  run.settings.max_file_size = 2147483647;
  run.settings.min_file_age = 5;
  macro_refresh(run);
  const Ending help = help_switches(run);
  const Ending other = help ? std::nullopt : other_switches(run);
  return {help, other, fp.console.transcript_utf8(), fp.console.waits(), fp.clock.slept_ms()};
}

constexpr const char* kEnglishHelp = "      Help       │";
constexpr const char* kRussianHelp = "     Помощь      │";
constexpr const char* kUnknown = "To the Unknown program parameter\n";
constexpr const char* kDump = "       < Выводим параметры...> ";

TEST(CommandLine, SwitchesAndTheirEndings) {
  const std::tuple<std::vector<std::string>, uint8_t, Ending, Ending, const char*> cases[] = {
      {{"/HELP"}, 1, 0, std::nullopt, kEnglishHelp},
      {{"/H"}, 0, 0, std::nullopt, kEnglishHelp},
      {{"/\xCF"}, 0, 0, std::nullopt, kRussianHelp},  // arguments come in Windows-1251: /П
      {{"/\xEF\xEE\xEC\xEE\xF9\xFC"}, 1, 0, std::nullopt, kRussianHelp},  // /помощь
      {{"/D", "/h"}, 0, 0, std::nullopt, kEnglishHelp},                   // help first, in any case
      {{"/?"}, 0, std::nullopt, 0, kEnglishHelp},
      {{"/?"}, 1, std::nullopt, 0, kRussianHelp},
      {{"/DEBUG", "junk"}, 0, std::nullopt, 1, kDump},
      {{"/\xCE"}, 0, std::nullopt, 1, kDump},          // /О
      {{"/DEB", "/D"}, 0, std::nullopt, 2, kUnknown},  // the first argument decides
      {{"/ПОМОЩЬ"}, 0, std::nullopt, 2, kUnknown},     // UTF-8 bytes are no Windows-1251 switch
  };
  for (const auto& [args, lang, help, other, shows] : cases) {
    Outcome o = run_switches(args, lang);
    EXPECT_EQ(o.help, help) << args[0];
    EXPECT_EQ(o.other, other) << args[0];
    EXPECT_NE(o.transcript.find(shows), std::string::npos) << args[0] << "\n" << o.transcript;
    EXPECT_EQ(o.waits, o.other == 2 ? 0 : 1) << args[0];
  }
  EXPECT_EQ(run_switches({"/HELPME"}, 1).transcript, "Неизвестный программе параметр\n");
}

// Without arguments a hint names the switches.
TEST(CommandLine, TheHintWithoutArguments) {
  for (bool with_args : {false, true}) {
    fake::FakePlatform fp;
    if (with_args) fp.env.args = {"/X"};
    qv::Run run(fp.platform);
    help_hint(run);
    EXPECT_EQ(fp.console.transcript_utf8(),
              with_args ? ""
                        : "The Help: Use Switch /Debug for Debug\n"
                          "                    /Help for Display help information\n"
                          "          /? - for Display help in the chosen language\n\n");
  }
}

TEST(CommandLine, DebugDumpListsExpandedSettingsAndArguments) {
  const Outcome o = run_switches({"/D", "\xA8\xE6"}, 0);  // Ёж in Windows-1251
  EXPECT_EQ(o.other, 1);
  for (const char* expected : {
           "             Log_Name       - <C:\\QV\\Quorvane.log>\n",
           "            Number_Time_Work- < 1.23456789012346E+0018>\n",
           "              Max_File_Size - < 2.14748364700000E+0009>\n",
           // After the keys listed from the start, before the arguments.
           "             Valid_Continue - <FALSE>\n"
           "               Min_File_Age - <5>\n"
           "       < Выводим параметры...> \n",
           "ParamStr(0)= C:\\QV\\QUORVANE.EXE\nParamStr(1)= /D\n",
           // Ё is not in the table: its byte passes unchanged (and shows as и); ж becomes CP866.
           "ParamStr(2)= иж\n",
           "       < Нажмите любую клавишу для подолжения...> \n",
       }) {
    EXPECT_NE(o.transcript.find(expected), std::string::npos) << expected << "\n" << o.transcript;
  }
  EXPECT_EQ(o.slept_ms, 2700 + 10000);
  EXPECT_EQ(o.waits, 1);
}

}  // namespace
}  // namespace qv
