#include "control/covering_note.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "control/hold.h"
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
    InputInHand& in = run.state.input;
    Error err = Error::kNone;
    in.dir = fp.fs.open_dir(Text("C:\\IN\\"), err);
    in.path = "C:\\IN\\";
    in.dir->info(in.identity);
    run.state.current_search =
        std::make_unique<DirSearch>(*in.dir, Text(data), run.settings.file_attr);
  }
  ~NoteRun() {
    run.state.current_search.reset();
    release_hold_dir(run.state.input);
  }
  // The data file went into each of `dirs` (made on drive D:).
  void data_went_to(const std::vector<std::string>& dirs) {
    for (const std::string& dir : dirs) {
      fp.fs.add_dir(dir);
      Error err = Error::kNone;
      run.state.done_targets.push_back(DoneTarget{dir, fp.fs.open_dir(Text(dir), err)});
    }
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

// The note is copied into each directory the data file reached and moved
// into the last, as one unit: when its move fails, the copies are taken back
// and the note stays; a data file that went nowhere takes no note along.
TEST(CoveringNote, GoesOnlyWhereTheDataFileWentAllOrNothing) {
  struct Case {
    std::vector<std::string> targets;
    bool move_fails;
    std::vector<std::string> receive;
  } cases[] = {
      {{"D:\\O1\\", "D:\\O2\\"}, false, {"D:\\O1\\N.(S)", "D:\\O2\\N.(S)"}},
      {{"D:\\O1\\"}, false, {"D:\\O1\\N.(S)"}},
      {{"D:\\O1\\", "D:\\O2\\"}, true, {}},
      {{}, false, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    NoteRun n("REPORT.TXT", "about report.txt");
    n.fp.fs.add_file("C:\\IN\\OTHER.(S)", "about something else");  // never sent
    n.data_went_to(c.targets);
    if (c.move_fails) n.fp.fs.fail(fake::FsOp::kPublish, 1, Error::kNoSpace, false, "O2");
    send_covering_notes(n.run);
    EXPECT_EQ(n.fp.fs.exists("C:\\IN\\N.(S)"), c.receive.empty());
    std::vector<std::string> received;
    for (const std::string& note : n.fp.fs.list("D:\\"))
      if (note.find(".(S)") != std::string::npos) received.push_back(note);
    EXPECT_EQ(received, c.receive);
    for (const std::string& note : c.receive) EXPECT_EQ(n.fp.fs.content(note), "about report.txt");
  }
}

}  // namespace
}  // namespace qv
