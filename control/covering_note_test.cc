#include "control/covering_note.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// A run that has just dispatched data file `data` of input directory C:\IN\,
// with a covering note N.(S) beside it.
struct NoteRun {
  fake::FakePlatform fp;
  Run run{fp.platform};

  NoteRun(const std::string& data, const std::string& note) {
    fp.fs.add_drive('D', 8ull << 30, 4ull << 30);
    fp.fs.add_file("C:\\IN\\" + data, "data");
    fp.fs.add_file("C:\\IN\\N.(S)", note);
    run.settings.delay_copy = 0;
    run.settings.mask_sopr = "*.(S)";
    run.settings.file_attr = 37;
    run.state.expanded_inputs = {Text("C:\\IN\\")};
    run.state.current_input = 1;
    run.state.current_search =
        std::make_unique<DirSearch>(fp.fs, Text("C:\\IN\\") + data, run.settings.file_attr);
  }
};

TEST(CoveringNote, MentionIgnoresCaseAndMatchesSubstrings) {
  struct Case {
    const char* name;
    std::string data;  // CP866 name of the data file
    std::string text;  // CP866 text of the note
    bool mentions;
  };
  const std::vector<Case> cases = {
      {"lower case Latin", "REPORT.TXT", "see report.txt please\r\n", true},
      {"lower case Cyrillic", std::string("ОТЧЕТ.TXT"_oem), std::string("файл отчет.txt\r\n"_oem),
       true},
      {"substring of a longer name", "A.TXT", "first line\r\nsend DATA.TXT now\r\n", true},
      {"another name", "B.TXT", "send DATA.TXT now\r\n", false},
      {"name split over two lines", "REPORT.TXT", "REPORT\r\n.TXT\r\n", false},
      {"name beyond the first 255 bytes of a line", "REPORT.TXT",
       std::string(260, '-') + "REPORT.TXT\r\n", false},
  };
  for (const Case& c : cases) {
    NoteRun n(c.data, c.text);
    EXPECT_EQ(note_mentions_file(n.run, "N.(S)"), c.mentions) << c.name;
  }
  NoteRun locked("REPORT.TXT", "REPORT.TXT");
  locked.fp.fs.fail(fake::FsOp::kOpenRead, 1, Error::kLocked, true);
  EXPECT_FALSE(note_mentions_file(locked.run, "N.(S)"));
}

// The note is copied into each directory the data file reached and moved into
// the last; a transfer that gave up leaves an empty entry that gets no note,
// and a note whose data file was not moved is not moved either.
TEST(CoveringNote, GoesOnlyWhereTheDataFileWent) {
  struct Case {
    const char* name;
    std::vector<Text> targets;
    std::vector<std::string> receive;
    bool stays;
  };
  const std::vector<Case> cases = {
      {"two outputs", {"D:\\O1\\", "D:\\O2\\"}, {"D:\\O1\\N.(S)", "D:\\O2\\N.(S)"}, false},
      {"copy gave up", {"", "D:\\O2\\"}, {"D:\\O2\\N.(S)"}, false},
      {"move gave up", {"D:\\O1\\", ""}, {"D:\\O1\\N.(S)"}, true},
      {"everything gave up", {"", ""}, {}, true},
      {"nothing dispatched", {}, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NoteRun n("REPORT.TXT", "about report.txt");
    n.fp.fs.add_file("C:\\IN\\OTHER.(S)", "about something else");
    n.run.state.done_targets = c.targets;
    send_covering_notes(n.run);
    EXPECT_EQ(n.fp.fs.exists("C:\\IN\\N.(S)"), c.stays);
    std::vector<std::string> received;
    for (const char* dir : {"D:\\O1\\N.(S)", "D:\\O2\\N.(S)"}) {
      if (n.fp.fs.exists(dir)) received.push_back(dir);
    }
    EXPECT_EQ(received, c.receive);
    for (const std::string& note : c.receive) EXPECT_EQ(n.fp.fs.content(note), "about report.txt");
    EXPECT_TRUE(n.fp.fs.exists("C:\\IN\\OTHER.(S)"));  // names nothing dispatched: stays
    EXPECT_FALSE(n.fp.fs.exists("D:\\O1\\OTHER.(S)"));
  }
}

}  // namespace
}  // namespace qv
