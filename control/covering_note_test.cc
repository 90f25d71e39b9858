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

// A mention ignores case (Cyrillic, Ё too), may be part of a longer name, and is
// sought within the first 255 bytes of each line; an unreadable note names nothing.
TEST(CoveringNote, MentionIgnoresCaseAndMatchesSubstrings) {
  struct Case {
    std::string data;  // CP866 name of the data file
    std::string text;  // CP866 text of the note
    bool mentions, locked;
  } cases[] = {
      {std::string("ОТЧЕТ.TXT"_oem), std::string("файл отчет.txt\r\n"_oem), true, false},
      {std::string("ЁЛКА.TXT"_oem), std::string("ёлка.txt\r\n"_oem), true, false},
      {"A.TXT", "first line\r\nsend DATA.TXT now\r\n", true, false},
      {"B.TXT", "send DATA.TXT now\r\n", false, false},
      {"REPORT.TXT", "REPORT\r\n.TXT\r\n", false, false},
      {"REPORT.TXT", std::string(260, '-') + "REPORT.TXT\r\n", false, false},
      {"REPORT.TXT", "REPORT.TXT", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(cp866_to_utf8(c.text));
    NoteRun n(c.data, c.text);
    if (c.locked) n.fp.fs.fail(fake::FsOp::kOpenRead, 1, Error::kLocked, true);
    EXPECT_EQ(note_mentions_file(n.run, "N.(S)"), c.mentions);
  }
}

// The note is copied into each directory the data file reached and moved into
// the last; a transfer that gave up leaves an empty entry that gets no note,
// and a note whose data file was not moved is not moved either.
TEST(CoveringNote, GoesOnlyWhereTheDataFileWent) {
  struct Case {
    std::vector<Text> targets;
    std::vector<std::string> receive;
    bool stays;
  } cases[] = {
      {{"D:\\O1\\", "D:\\O2\\"}, {"D:\\O1\\N.(S)", "D:\\O2\\N.(S)"}, false},
      {{"", "D:\\O2\\"}, {"D:\\O2\\N.(S)"}, false},
      {{"D:\\O1\\", ""}, {"D:\\O1\\N.(S)"}, true},
      {{"", ""}, {}, true},
      {{}, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    NoteRun n("REPORT.TXT", "about report.txt");
    n.fp.fs.add_file("C:\\IN\\OTHER.(S)", "about something else");  // never sent
    n.run.state.done_targets = c.targets;
    send_covering_notes(n.run);
    EXPECT_EQ(n.fp.fs.exists("C:\\IN\\N.(S)"), c.stays);
    std::vector<std::string> received;
    for (const std::string& note : n.fp.fs.list("D:\\"))
      if (note.find(".(S)") != std::string::npos) received.push_back(note);
    EXPECT_EQ(received, c.receive);
    for (const std::string& note : c.receive) EXPECT_EQ(n.fp.fs.content(note), "about report.txt");
  }
}

}  // namespace
}  // namespace qv
