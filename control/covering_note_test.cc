#include "control/covering_note.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

// A run that has just dispatched data file `data` of input directory C:\IN\.
struct NoteRun {
  fake::FakePlatform fp;
  Run run{fp.platform};

  explicit NoteRun(const std::string& data) {
    fp.fs.add_drive('D', 8ull << 30, 4ull << 30);
    fp.fs.add_file("C:\\IN\\" + data, "data");
    run.settings.delay_copy = 0;
    run.settings.create_dir = "COPY";
    run.settings.mask_sopr = "*.(S)";
    run.settings.file_attr = 37;
    run.state.expanded_inputs = {Text("C:\\IN\\")};
    run.state.current_input = 1;
    run.state.current_search =
        std::make_unique<DirSearch>(fp.fs, Text("C:\\IN\\") + data, run.settings.file_attr);
  }
  void note(const std::string& name, const std::string& text) {
    fp.fs.add_file("C:\\IN\\" + name, text);
  }
  void went_to(std::vector<Text> targets) { run.state.done_targets = std::move(targets); }
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
      {"empty note", "REPORT.TXT", "", false},
  };
  for (const Case& c : cases) {
    NoteRun n(c.data);
    n.note("N.(S)", c.text);
    EXPECT_EQ(note_mentions_file(n.run, "N.(S)"), c.mentions) << c.name;
  }
}

TEST(CoveringNote, UnreadableNoteMentionsNothing) {
  NoteRun n("REPORT.TXT");
  n.note("N.(S)", "REPORT.TXT");
  n.fp.fs.fail(fake::FsOp::kOpenRead, 1, Error::kLocked, true);
  EXPECT_FALSE(note_mentions_file(n.run, "N.(S)"));
  EXPECT_FALSE(note_mentions_file(n.run, "GONE.(S)"));
}

TEST(CoveringNote, FollowsTheDataFileIntoEveryOutput) {
  NoteRun n("REPORT.TXT");
  n.note("N1.(S)", "about report.txt");
  n.note("N2.(S)", "about something else");
  n.went_to({"D:\\O1\\", "D:\\O2\\"});
  send_covering_notes(n.run);
  EXPECT_EQ(n.fp.fs.content("D:\\O1\\N1.(S)"), "about report.txt");
  EXPECT_EQ(n.fp.fs.content("D:\\O2\\N1.(S)"), "about report.txt");
  EXPECT_FALSE(n.fp.fs.exists("C:\\IN\\N1.(S)"));  // moved into the last
  EXPECT_TRUE(n.fp.fs.exists("C:\\IN\\N2.(S)"));   // names nothing dispatched: stays
  EXPECT_FALSE(n.fp.fs.exists("D:\\O1\\N2.(S)"));
  const std::string out = n.fp.console.transcript_utf8();
  EXPECT_NE(out.find("C:\\IN\\N1.(S) *=> D:\\O1\\"), std::string::npos) << out;
  EXPECT_NE(out.find("C:\\IN\\N1.(S) O=> D:\\O2\\"), std::string::npos) << out;
}

TEST(CoveringNote, FollowsIntoTheSubDirectoryOfTheCreateDirPolicy) {
  NoteRun n("REPORT.TXT");
  n.note("N.(S)", "REPORT.TXT");
  n.fp.fs.add_dir("D:\\OUT\\COPY");
  n.went_to({"D:\\OUT\\COPY\\"});
  send_covering_notes(n.run);
  EXPECT_TRUE(n.fp.fs.exists("D:\\OUT\\COPY\\N.(S)"));
  EXPECT_FALSE(n.fp.fs.exists("D:\\OUT\\N.(S)"));
  EXPECT_FALSE(n.fp.fs.exists("C:\\IN\\N.(S)"));
}

// A transfer that gave up leaves an empty entry: no note goes there, and a
// note whose data file was not moved is not moved either.
TEST(CoveringNote, NeverGoesWhereTheDataFileDidNot) {
  struct Case {
    const char* name;
    std::vector<Text> targets;
    std::vector<std::string> receive;
    bool stays;
  };
  const std::vector<Case> cases = {
      {"copy gave up", {"", "D:\\O2\\"}, {"D:\\O2\\N.(S)"}, false},
      {"move gave up", {"D:\\O1\\", ""}, {"D:\\O1\\N.(S)"}, true},
      {"everything gave up", {"", ""}, {}, true},
      {"nothing dispatched", {}, {}, true},
  };
  for (const Case& c : cases) {
    NoteRun n("REPORT.TXT");
    n.note("N.(S)", "REPORT.TXT");
    n.went_to(c.targets);
    send_covering_notes(n.run);
    EXPECT_EQ(n.fp.fs.exists("C:\\IN\\N.(S)"), c.stays) << c.name;
    std::vector<std::string> received;
    for (const char* dir : {"D:\\O1\\N.(S)", "D:\\O2\\N.(S)"}) {
      if (n.fp.fs.exists(dir)) received.push_back(dir);
    }
    EXPECT_EQ(received, c.receive) << c.name;
  }
}

}  // namespace
}  // namespace qv
