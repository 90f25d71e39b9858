#include "settings/loader.h"

#include <gtest/gtest.h>

#include "platform/cp866.h"
#include "script/text_utils.h"
#include "settings/settings_table.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

class Loader : public ::testing::Test {
 protected:
  Loader() {
    store_startup_dirs(run);
    set_defaults(run.settings);
    settings_path(run);
  }
  Ending load(const std::string& content) {
    fp.fs.add_file("C:\\QV\\Quorvane.cfg", content);
    return load_settings(run, run.settings_path);
  }
  std::string out() const { return fp.console.transcript_utf8(); }

  fake::FakePlatform fp;
  qv::Run run{fp.platform};
};

TEST_F(Loader, EachFaultEndsWithItsCodeAndReport) {
  struct Case {
    std::string content;
    int code;
    std::string report;
  } cases[] = {
      {"LOG_NAME = D:\\LOG\\run.log", 6,
       "File C:\\QV\\Quorvane.cfg\nincorrect amount of words (3) in line 1.\n"
       "->LOG_NAME = D:\\LOG\\run.log<-\n"},
      {"\n--// x\nNAME_BATNIK \"D:\\My Tools\\run.bat", 5,
       "incorrect syntax (\") in a line 3 :\n->NAME_BATNIK \"D:\\My Tools\\run.bat<-"},
      {"A \"b c\" d", 6, "incorrect amount of words (3) in line 1."},  // count before quote
      {"COLOUR red", 7,
       "Unknown variable - (COLOUR) with value <red> in 1 to line.\n"
       "Correct a file of a configuration C:\\QV\\Quorvane.cfg\n"},
      {"RUN_BATNIK Maybe", 8, "Boolean variable - (RUN_BATNIK) with incorrect value <Maybe>"},
      {"IF_FILE_EXIST Yes", 8, "Boolean variable - (IF_FILE_EXIST)"},
      {std::string(11, '\n') + "DELAY_COPY 1s", 9,
       "Integer variable - (DELAY_COPY) with incorrect value <1s> in 12 to line."},
      {"FILE_ATTR archive", 9, "Integer variable - (FILE_ATTR)"},
      {"DELAY_COPY -5", 9, "<-5> in 1 to line."},
  };
  for (const Case& c : cases) {
    fake::FakePlatform local;
    qv::Run r(local.platform);
    store_startup_dirs(r);
    settings_path(r);
    local.fs.add_file("C:\\QV\\Quorvane.cfg", c.content);
    EXPECT_EQ(load_settings(r, r.settings_path), c.code) << c.content;
    EXPECT_NE(local.console.transcript_utf8().find(c.report), std::string::npos)
        << local.console.transcript_utf8();
    EXPECT_EQ(local.clock.slept_ms(), 3000) << c.content;
  }
}

TEST_F(Loader, GoodLinesTakeEffectInOrder) {
  EXPECT_EQ(load("--// only a comment\r\n\r\n \t \r\n"
                 "delay_copy 500 --// half a second\r\n"
                 "NAME_BATNIK \"D:\\My Tools\\run.bat\"\r\n"
                 "LANGUAGE russian\r\n"
                 "MASK_SOPR \"\"\r\n"
                 "DELAY_COPY 600\r\n"),
            std::nullopt);
  EXPECT_EQ(run.settings.delay_copy, 600);
  EXPECT_EQ(run.settings.name_batnik, Text("D:\\My Tools\\run.bat"));
  EXPECT_EQ(run.settings.mask_sopr, Text(""));
  EXPECT_EQ(run.settings.lang, 1);
  EXPECT_EQ(out(), "");
}

TEST_F(Loader, ReportLanguageIsTheOneInForce) {
  EXPECT_EQ(load("LANGUAGE Russian\nCOLOUR red"), 7);
  EXPECT_NE(out().find("Hеизвестная пеpеменная - (COLOUR) со значением <red> в 2 стpоке.\n"
                       "Испpавьте файл конфигуpации C:\\QV\\Quorvane.cfg"),
            std::string::npos)
      << out();
}

TEST_F(Loader, MissingFileOrDirectoryIsReportedYellowOnRed) {
  fp.fs.add_dir("C:\\QV\\Quorvane.cfg");
  EXPECT_EQ(load_settings(run, run.settings_path), 6);
  EXPECT_NE(out().find("The file of a configuration is not found C:\\QV\\Quorvane.cfg\n"),
            std::string::npos)
      << out();
  EXPECT_EQ(run.screen.cell(1, 1).attr, (kRed << 4) | kYellow);
  EXPECT_EQ(run.screen.attribute(), kLightGrey);  // back to the colours at start
}

TEST_F(Loader, IncludeReadsBesideTheExecutableAtItsPlace) {
  fp.fs.add_file("C:\\QV\\extra.cfg", "DELAY_COPY 7\nDELAY_BAT 9\nRUN_BATNIK perhaps");
  EXPECT_EQ(load("DELAY_COPY 1\nDELAY_BAT 2\nINCLUDE <PROGRAMM_PATH>\\extra.cfg\nDELAY_BAT 3"), 8);
  EXPECT_EQ(run.settings.delay_copy, 7);
  EXPECT_EQ(run.settings.delay_bat, 9);
  // Line numbers count in the included file alone.
  EXPECT_NE(out().find("<perhaps> in 3 to line.\nCorrect a file of a configuration "
                       "C:\\QV\\extra.cfg"),
            std::string::npos)
      << out();
}

TEST_F(Loader, IncludeOverriddenByLaterLines) {
  fp.fs.add_file("C:\\QV\\extra.cfg", "DELAY_COPY 7\nDELAY_BAT 9");
  EXPECT_EQ(load("INCLUDE <PROGRAMM_PATH>\\extra.cfg\nDELAY_BAT 3"), std::nullopt);
  EXPECT_EQ(run.settings.delay_copy, 7);
  EXPECT_EQ(run.settings.delay_bat, 3);
}

TEST_F(Loader, MissingIncludeNamesTheExpandedPath) {
  EXPECT_EQ(load("INCLUDE <PROGRAMM_PATH>\\none_<YEAR>.cfg"), 6);
  EXPECT_NE(out().find("is not found C:\\QV\\none_.cfg"), std::string::npos) << out();
}

TEST_F(Loader, SelfIncludeStopsAtSixteenFiles) {
  EXPECT_EQ(load("--// loops\nINCLUDE <PROGRAMM_PATH>\\Quorvane.cfg"), 6);
  EXPECT_EQ(fp.fs.calls(fake::FsOp::kOpenRead), 16);
  EXPECT_NE(out().find("File C:\\QV\\Quorvane.cfg\nINCLUDE nested deeper than 16 files in line 2."),
            std::string::npos)
      << out();
}

TEST_F(Loader, GarbageNeverCrashes) {
  std::string garbage;
  for (int i = 0; i < 20000; ++i) garbage += static_cast<char>((i * 7919 + i / 3) & 0xFF);
  std::string long_line = "LOG_NAME " + std::string(5000, 'x') + "\nDELAY_COPY 5";
  for (const std::string& content : {garbage, std::string("\0\0\0", 3), long_line}) {
    fake::FakePlatform local;
    qv::Run r(local.platform);
    settings_path(r);
    local.fs.add_file("C:\\G.CFG", content);
    Ending end = load_settings(r, Text("C:\\G.CFG"));
    EXPECT_TRUE(!end || (*end >= 5 && *end <= 9));
  }
  EXPECT_EQ(load("LOG_NAME " + std::string(5000, 'x') + "\nDELAY_COPY 5"), std::nullopt);
  EXPECT_EQ(run.settings.log_name.size(), 246u);  // 255 bytes of the line less the key and blank
  EXPECT_EQ(run.settings.delay_copy, 5);
}

}  // namespace
}  // namespace qv
