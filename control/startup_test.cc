#include "control/startup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "console/banner.h"
#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

constexpr char kSettings[] = "C:\\QV\\Quorvane.cfg";
constexpr char kScript[] = "C:\\QV\\Quorvane.Qvr";
constexpr char kQuickRun[] =
    "VALID_CYCLE_FULL_RUN 1\r\nCODE_RETURN_CYCLE 3\r\nDELAY_INTERPR 0\r\nDELAY_COPY 0\r\n";
constexpr char kOneBlock[] = "C:\\IN\r\nMask: *.*\r\nC:\\OUT\r\nCommand: DO\r\n";
constexpr char kFarewell[] = "Good Luck! Good-By :─) !\n";

std::string title_of(fake::FakePlatform& fp) {
  Run probe(fp.platform);
  return cp866_to_utf8(product_title(probe));
}

std::size_t count_of(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

bool ends_with(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(Startup, FullRunEndsWithSecondBannerFarewellAndCycleCode) {
  struct Case {
    const char* language;
    const char* farewell;
  } cases[] = {{"English", kFarewell}, {"Russian", "Удачи! Всего лучшего :─) !\n"}};
  for (const Case& c : cases) {
    fake::FakePlatform fp;
    fp.fs.add_file(kSettings, std::string(kQuickRun) + "LANGUAGE " + c.language + "\r\n");
    fp.fs.add_file(kScript, kOneBlock);
    fp.fs.add_file("C:\\IN\\A.DAT", "data");
    EXPECT_EQ(run_program(fp.platform), 3) << c.language;
    EXPECT_EQ(fp.fs.content("C:\\OUT\\A.DAT"), "data");
    const std::string out = fp.console.transcript_utf8();
    const std::string title = title_of(fp);
    ASSERT_FALSE(title.empty());
    EXPECT_EQ(out.rfind(title, 0), 0u) << out;         // the banner comes first
    EXPECT_EQ(count_of(out, "( Win+ )."), 2u) << out;  // the version line of each banner
    const std::size_t exit_message = out.find("Exit by amount cycles");
    const std::size_t exit_message_ru = out.find("Выход по количеству циклов");
    ASSERT_NE(std::min(exit_message, exit_message_ru), std::string::npos) << out;
    EXPECT_GT(out.rfind("( Win+ )."), std::min(exit_message, exit_message_ru));
    EXPECT_TRUE(ends_with(out, c.farewell)) << out;
    EXPECT_EQ(count_of(out, ":─) !"), 1u);
    EXPECT_FALSE(fp.console.cursor_visible());
  }
}

TEST(Startup, StopRequestEndsLikeAKeyPress) {
  fake::FakePlatform fp;
  fp.fs.add_file(kSettings, kQuickRun);
  fp.fs.add_file(kScript, kOneBlock);
  fp.fs.add_file("C:\\IN\\A.DAT", "data");
  fp.process.stop = true;
  EXPECT_EQ(run_program(fp.platform), 0);
  EXPECT_TRUE(fp.fs.exists("C:\\IN\\A.DAT"));
  const std::string out = fp.console.transcript_utf8();
  const std::size_t exit_message = out.find("Exit on pressing a key.");
  ASSERT_NE(exit_message, std::string::npos) << out;
  EXPECT_GT(out.rfind(title_of(fp)), exit_message);
  EXPECT_TRUE(ends_with(out, kFarewell)) << out;
}

struct EarlyEnd {
  const char* name;
  std::vector<std::string> args;
  const char* settings;  // nullptr: no settings file
  bool script;
  int code;
};

// Each case is told apart by which step ends it, so the codes show the order.
TEST(Startup, StartUpStepsEndTheRunInTheirOrder) {
  const EarlyEnd cases[] = {
      {"missing settings file", {}, nullptr, true, 6},
      {"missing task script", {}, kQuickRun, false, 6},
      {"settings read before the script is looked for", {}, "NO_SUCH_KEY 1\r\n", false, 7},
      {"help switch before the settings", {"/H"}, nullptr, false, 0},
      {"settings read before the other switches", {"/X"}, nullptr, false, 6},
      {"unknown argument before the script is looked for", {"/X"}, kQuickRun, false, 2},
  };
  for (const EarlyEnd& c : cases) {
    fake::FakePlatform fp;
    fp.env.args = c.args;
    if (c.settings) fp.fs.add_file(kSettings, c.settings);
    if (c.script) fp.fs.add_file(kScript, kOneBlock);
    EXPECT_EQ(run_program(fp.platform), c.code) << c.name;
    const std::string out = fp.console.transcript_utf8();
    EXPECT_EQ(out.rfind(title_of(fp), 0), 0u) << c.name << "\n" << out;
    EXPECT_EQ(out.find("Good Luck!"), std::string::npos) << c.name;
  }
}

}  // namespace
}  // namespace qv
