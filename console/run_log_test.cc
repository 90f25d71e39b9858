#include "console/run_log.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "control/startup.h"
#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

constexpr char kLog[] = "C:\\QV\\RUN.LOG";

// The log's lines without their stamps; every line must carry one.
std::vector<std::string> texts_of(const fake::FakePlatform& fp) {
  static const std::regex stamped(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d ([\s\S]*)$)");
  std::vector<std::string> out;
  for (const std::string& line : fp.log.lines(kLog)) {
    std::smatch m;
    EXPECT_TRUE(std::regex_match(line, m, stamped)) << line;
    out.push_back(m.size() > 1 ? m[1].str() : line);
  }
  return out;
}

// One script cycle with a transfer (and the target directory it creates), a
// refused file, an error, and the end-of-cycle program with its countdown.
// Full keeps every message; Short only transfers, refusals, errors and the
// run's own first and last lines. The countdown, rewritten in place, never
// reaches the log; the program's announcement is no error for all its red.
TEST(RunLog, RunLinesInBothLanguagesAndBothDetails) {
  struct Case {
    const char *language, *type;
    std::vector<std::string> lines;
  } cases[] = {
      {"English",
       "Brief",  // an unknown word logs everything
       {"Start of the run", "The target catalogue C:\\OUT\\ Is successfully created.",
        "C:\\IN\\A.DAT O=> C:\\OUT\\ 4 bytes.",
        "C:\\IN\\BIG.DAT Restriction of the size of a file (50 > 10)", "Not Exist drive Q: !!!",
        "Add. Inf. Q:\\OUT\\", "Run C:\\QV\\Quorvane.bat",
        "Exit by amount cycles of perfomance files configuration 1.",
        "End of the run, exit code 3"}},
      {"Russian",
       "Short",
       {"Начало работы", "C:\\IN\\A.DAT O=> C:\\OUT\\ 4 байт.",
        "C:\\IN\\BIG.DAT ограничение размера файла (50 > 10)", "Несуществующий диск,Q: !!!",
        "Доп. Инф. Q:\\OUT\\", "Выход по количеству циклов выполнения файлов конфигурации 1.",
        "Конец работы, код выхода 3"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.language) + " " + c.type);
    fake::FakePlatform fp;
    fp.fs.add_file("C:\\QV\\Quorvane.cfg",
                   "VALID_CYCLE_FULL_RUN 1\nCODE_RETURN_CYCLE 3\nDELAY_INTERPR 0\nDELAY_COPY 0\n"
                   "MAX_FILE_SIZE 10\nRUN_BATNIK Yes\nVALID_EXIST_BAT No\nDELAY_BAT 2000\n"
                   "LOG_EXIST Yes\nLOG_NAME <PROGRAMM_PATH>\\RUN.LOG\nLANGUAGE " +
                       std::string(c.language) + "\nLOG_TYPE " + c.type + "\n");
    fp.fs.add_file("C:\\QV\\Quorvane.Qvr",
                   "C:\\IN\nMask: *.DAT\nC:\\OUT\nCommand: DO-ALL\n"
                   "C:\\IN\nMask: *.ERR\nQ:\\OUT\nCommand: DO-ALL\n");
    fp.fs.add_file("C:\\IN\\A.DAT", "data");
    fp.fs.add_file("C:\\IN\\BIG.DAT", std::string(50, 'b'));
    fp.fs.add_file("C:\\IN\\B.ERR", "e");
    EXPECT_EQ(run_program(fp.platform), 3);
    EXPECT_EQ(texts_of(fp), c.lines);
    EXPECT_TRUE(fp.fs.exists("C:\\OUT\\A.DAT"));
  }
}

// A run that logs into kLog.
struct LoggingRun {
  explicit LoggingRun(bool unwritable = false) {
    run.settings.log_exist = true;
    run.settings.log_name = kLog;
    fp.log.set_unwritable(kLog, unwritable);
    open_run_log(run);
  }
  fake::FakePlatform fp;
  qv::Run run{fp.platform};
};

}  // namespace
}  // namespace qv
