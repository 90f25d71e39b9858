#include "settings/loader.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/cp866.h"
#include "script/text_utils.h"
#include "settings/settings_table.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// A run with the settings file beside the executable, optionally with an
// included file beside it too.
struct CfgRun {
  CfgRun() {
    store_startup_dirs(run);
    set_defaults(run.settings);
    settings_path(run);
  }
  Ending load(const std::string& content, const std::string& extra = "") {
    if (!extra.empty()) fp.fs.add_file("C:\\QV\\extra.cfg", extra);
    fp.fs.add_dir("C:\\QV\\sub");
    fp.fs.add_file("C:\\QV\\Quorvane.cfg", content);
    return load_settings(run, run.settings_path);
  }
  std::string out() const { return fp.console.transcript_utf8(); }

  fake::FakePlatform fp;
  qv::Run run{fp.platform};
};

constexpr const char* kInclude = "INCLUDE <PROGRAMM_PATH>\\extra.cfg";

TEST(Loader, EachFaultEndsWithItsCodeAndReport) {
  const std::tuple<std::string, std::string, int, std::string> cases[] = {
      {"LOG_NAME = D:\\LOG\\run.log", "", 6,
       "File C:\\QV\\Quorvane.cfg\nincorrect amount of words (3) in line 1.\n"
       "->LOG_NAME = D:\\LOG\\run.log<-\n"},
      {"\n--// x\nNAME_BATNIK \"D:\\My Tools\\run.bat", "", 5,
       "incorrect syntax (\") in a line 3 :\n->NAME_BATNIK \"D:\\My Tools\\run.bat<-"},
      {"A \"b c\" d", "", 6, "incorrect amount of words (3) in line 1."},  // count before quote
      {"COLOUR red", "", 7,
       "Unknown variable - (COLOUR) with value <red> in 1 to line.\n"
       "Correct a file of a configuration C:\\QV\\Quorvane.cfg\n"},
      {"LANGUAGE Russian\nCOLOUR red", "", 7,  // reported in the language in force
       "Hеизвестная пеpеменная - (COLOUR) со значением <red> в 2 стpоке.\n"
       "Испpавьте файл конфигуpации C:\\QV\\Quorvane.cfg"},
      {"RUN_BATNIK Maybe", "", 8, "Boolean variable - (RUN_BATNIK) with incorrect value <Maybe>"},
      {std::string(11, '\n') + "DELAY_COPY 1s", "", 9,
       "Integer variable - (DELAY_COPY) with incorrect value <1s> in 12 to line."},
      {"LANGUAGE Russian\nCREATE_DIR \"\"", "", 9,
       "Строковая пеpеменная - (CREATE_DIR) с неверным значением <> в 2 стpоке."},
      // Line numbers count in the included file alone.
      {std::string("DELAY_COPY 1\n") + kInclude, "DELAY_COPY 7\n\nRUN_BATNIK perhaps", 8,
       "<perhaps> in 3 to line.\nCorrect a file of a configuration C:\\QV\\extra.cfg"},
      {"INCLUDE <PROGRAMM_PATH>\\none_<YEAR>.cfg", "", 6,
       "The file of a configuration is not found C:\\QV\\none_.cfg\n"},
      {"INCLUDE <PROGRAMM_PATH>\\sub", "", 6,
       "The file of a configuration is not found C:\\QV\\sub\n"},
      {"--// loops\nINCLUDE <PROGRAMM_PATH>\\Quorvane.cfg", "", 6,
       "File C:\\QV\\Quorvane.cfg\nINCLUDE nested deeper than 16 files in line 2."},
  };
  for (const auto& [content, extra, code, report] : cases) {
    CfgRun t;
    EXPECT_EQ(t.load(content, extra), code) << content;
    EXPECT_NE(t.out().find(report), std::string::npos) << t.out();
    EXPECT_EQ(t.fp.clock.slept_ms(), 3000) << content;
    if (report.find("nested") != std::string::npos) {
      EXPECT_EQ(t.fp.fs.calls(fake::FsOp::kOpenRead), 16);
    } else if (report.find("not found") != std::string::npos) {  // a directory is no file
      EXPECT_EQ(t.fp.console.cell(1, 1).attr, (kRed << 4) | kYellow);
      EXPECT_EQ(t.run.screen.attribute(), kLightGrey);  // back to the colours at start
    }
  }
}

// A long line is cut at 255 bytes and the next line is read as usual.
TEST(Loader, GoodLinesAndIncludedFilesTakeEffectInOrder) {
  CfgRun t;
  EXPECT_EQ(t.load("LOG_NAME " + std::string(5000, 'x') +
                       "\n--// only a comment\r\n\r\n \t \r\n"
                       "delay_copy 500 --// half a second\r\n"
                       "NAME_BATNIK \"D:\\My Tools\\run.bat\"\r\n"
                       "LANGUAGE russian\r\nMASK_SOPR \"\"\r\n" +
                       kInclude + "\r\nDELAY_BAT 3\r\n",
                   "DELAY_COPY 600\nDELAY_BAT 9"),
            std::nullopt);
  const Settings& s = t.run.settings;
  EXPECT_EQ(std::to_string(s.delay_copy) + " " + std::to_string(s.delay_bat) + " " +
                std::to_string(s.lang) + " " + s.name_batnik.str() + "|" + s.mask_sopr.str() + "|" +
                t.out(),
            "600 3 1 D:\\My Tools\\run.bat||");
  EXPECT_EQ(t.run.settings.log_name.size(), 246u);  // 255 bytes less the key and the blank
}

// A read error ends the run as a file that cannot be opened does: the lines
// before it stay assigned, the line it cut short is never acted on.
TEST(Loader, ReadErrorEndsTheRunWithoutThePartLine) {
  CfgRun t;
  t.fp.fs.fail(fake::FsOp::kRead, 2, Error::kIo);
  const std::string lines = "DELAY_COPY 5\n--//" + std::string(4070, '-') + "\nDELAY_BAT 12345\n";
  ASSERT_EQ(lines.find("DELAY_BAT 12"), 4088u);  // the first read ends inside it
  EXPECT_EQ(t.load(lines), 6);
  EXPECT_EQ(std::to_string(t.run.settings.delay_copy) + " " +
                std::to_string(t.run.settings.delay_bat) + " " + t.out(),
            "5 5000 Can not read file : C:\\QV\\Quorvane.cfg !!!");
}

}  // namespace
}  // namespace qv
