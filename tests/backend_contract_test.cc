// The contract of the file-system interface, run on the fake and on the real
// backend (each case in a fresh empty directory), so that neither drifts from
// the rules the engine relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>

#include "platform/backend.h"
#include "platform/cp866.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

namespace stdfs = std::filesystem;
using V = std::vector<std::string>;

// The real backend (param true) in a fresh temporary directory, or the fake.
class BackendContract : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      dir_ =
          stdfs::temp_directory_path() / ("qv-contract-" + std::to_string(std::random_device()()));
      stdfs::create_directories(dir_);
      const std::u8string u8 = dir_.u8string();
      std::string root;
      ASSERT_TRUE(utf8_to_cp866(std::string(u8.begin(), u8.end()), root));
      root_ = Text(root);
      real_ = make_real_file_system();
    } else {
      fake_.add_dir("C:\\T");
    }
    Error err = Error::kIo;
    in_ = fs().open_dir(root_, err);
    ASSERT_TRUE(in_) << error_name(err);
  }
  void TearDown() override {
    std::error_code ec;  // read-only files would stop the clean-up on Windows
    for (const auto& e : stdfs::recursive_directory_iterator(dir_, ec))
      stdfs::permissions(e.path(), stdfs::perms::owner_write, stdfs::perm_options::add, ec);
    if (real_) stdfs::remove_all(dir_, ec);
  }
  FileSystem& fs() { return real_ ? *real_ : fake_; }
  // Another program creates `name` (bytes taken literally) when this system
  // can hold such a name at all.
  void plant(const std::string& name, const std::string& content) {
    const stdfs::path rel(name);
    const bool path = real_ ? rel.has_parent_path() || rel.has_root_name()
                            : name.find_first_of("\\/:") != std::string::npos;
    if (path) return;
    if (real_) std::ofstream(dir_ / rel, std::ios::binary) << content;
    if (!real_) fake_.add_file("C:\\T\\" + name, content);
  }
  // Another program renames `from` to `to`, replacing a file there; false
  // when the system keeps it out (share mode 0 on Windows).
  bool move_by_other(const std::string& from, const std::string& to) {
    std::error_code ec;
    if (real_) stdfs::rename(dir_ / from, dir_ / to, ec);
    if (!real_) fake_.move_by_other("C:\\T\\" + from, "C:\\T\\" + to);
    return real_ ? !ec : !fake_.exists("C:\\T\\" + from);
  }
  // Delivers a file into `dir` the way the engine does (in flight, then named).
  static void put(Dir& dir, const Text& name, const std::string& content, bool replace = false) {
    Error err = Error::kIo;
    auto tmp = dir.create_temp(err);
    ASSERT_TRUE(tmp) << error_name(err);
    ASSERT_EQ(tmp->write(content.data(), std::ssize(content)), std::ssize(content));
    ASSERT_EQ(tmp->flush(), Error::kNone);
    ASSERT_EQ(dir.publish(*tmp, name, replace), Error::kNone) << name.str();
  }
  // The content of `name` in `dir`, or the error in angle brackets.
  static std::string content(Dir& dir, const Text& name) {
    Error err = Error::kIo;
    auto f = dir.open_read(name, err);
    std::string out = f ? "" : "<" + std::string(error_name(err)) + ">";
    char buf[1000];
    for (int64_t n; f && (n = f->read(buf, sizeof buf)) > 0;) out.append(buf, n);
    return out;
  }
  static V names(Dir& dir) {
    Error err = Error::kIo;
    V out;
    auto reader = dir.list(err);
    for (RawEntry e; reader && reader->next(e);) out.push_back(e.name.str());
    std::sort(out.begin(), out.end());
    return out;
  }
  std::unique_ptr<Dir> make_hold(Text& name) {
    Error err = Error::kIo;
    auto hold = in_->make_hold_dir(name, err);
    EXPECT_TRUE(hold) << error_name(err);
    return hold;
  }
  std::unique_ptr<File> take(Dir& dir, const Text& name) {
    Error err = Error::kIo;
    auto src = dir.open_source(name, err);
    EXPECT_TRUE(src) << error_name(err);
    return src;
  }

  fake::FakeFileSystem fake_;
  std::unique_ptr<FileSystem> real_;
  stdfs::path dir_;
  Text root_{"C:\\T"};
  std::unique_ptr<Dir> in_;
};

// A name read from a directory is never a path: one holding a separator,
// ':' or a control character is never listed, and no call takes one.
TEST_P(BackendContract, NamesThatAreNotPlainNamesAreLeftOutAndRefused) {
  const V hostile = {"x\\..\\..\\secret", "c:d", "two\nlines", "esc\x1b[31m", "a/b", ".", "..", ""};
  plant("plain.txt", "p");
  for (const auto& name : hostile) plant(name, "hostile");
  EXPECT_EQ(names(*in_), V{"plain.txt"});
  Error err = Error::kNone;
  auto tmp = in_->create_temp(err);
  auto src = take(*in_, "plain.txt");
  ASSERT_TRUE(tmp && src);
  FileInfo info;
  const std::function<Error(const Text&)> ops[] = {
      [&](const Text& n) { return in_->stat(n, info); },
      [&](const Text& n) { return in_->open_dir(n, err) ? Error::kNone : err; },
      [&](const Text& n) { return in_->make_dir(n); },
      [&](const Text& n) { return in_->remove_dir(n); },
      [&](const Text& n) { return in_->open_read(n, err) ? Error::kNone : err; },
      [&](const Text& n) { return in_->open_source(n, err) ? Error::kNone : err; },
      [&](const Text& n) { return in_->publish(*tmp, n, true); },
      [&](const Text& n) { return in_->rename(n, *in_, "new"); },
      [&](const Text& n) { return in_->rename("plain.txt", *in_, n); },
      [&](const Text& n) { return src->move_to(*in_, n, true); }};
  for (std::size_t op = 0; op < std::size(ops); ++op) {
    for (const std::string& name : hostile)
      EXPECT_EQ(ops[op](Text(name)), Error::kBadName) << "op " << op << " of \"" << name << "\"";
  }
  src.reset();
  tmp.reset();  // dropped unpublished: no name left in flight either
  EXPECT_EQ(names(*in_), V{"plain.txt"});
  EXPECT_EQ(content(*in_, "plain.txt"), "p");
}

// A taken file moves as itself into a private hold directory that one holder
// holds at a time, is taken once, goes back never replacing, and is removed
// through itself; a late taker finds its file gone.
TEST_P(BackendContract, ATakenFileMovesAsItselfAndALateTakerFindsItGone) {
  put(*in_, "N.TXT", "payload");
  put(*in_, "M.TXT", "other");
  Text hold_name;
  auto hold = make_hold(hold_name);
  ASSERT_TRUE(hold);
  EXPECT_EQ(hold_name.view().substr(0, kHoldPrefix.size()), kHoldPrefix);
  FileInfo hold_info;
  ASSERT_EQ(hold->info(hold_info), Error::kNone);
  EXPECT_EQ(hold_info.mode & 077, 0u) << "a hold directory is private (Windows: by its ACL)";
  Error err = Error::kIo;
  auto again = in_->open_dir(hold_name, err);
  ASSERT_TRUE(again) << error_name(err);
  EXPECT_FALSE(again->hold()) << "two holds at once";

  auto src = take(*in_, "N.TXT");
  ASSERT_EQ(src->move_to(*hold, "N.TXT", false), Error::kNone);
  EXPECT_TRUE(src->held());
  EXPECT_EQ(names(*hold), V{"N.TXT"});
  EXPECT_FALSE(hold->open_source("N.TXT", err)) << "a taken file is taken once";
  EXPECT_EQ(err, Error::kLocked);
  // Another taker renames M.TXT away between our open and our move; where
  // the system keeps that out while we have it open, our move wins.
  auto late = take(*in_, "M.TXT");
  const bool taken_by_other = move_by_other("M.TXT", hold_name.str() + "/M.TXT");
  EXPECT_EQ(late->move_to(*hold, "M.TXT", true), taken_by_other ? Error::kNotFound : Error::kNone);
  late.reset();
  EXPECT_EQ(content(*hold, "M.TXT"), "other");

  put(*in_, "N.TXT", "newcomer");
  EXPECT_EQ(hold->rename("M.TXT", *in_, "N.TXT"), Error::kExists) << "put back over a newcomer";
  EXPECT_EQ(src->move_to(*in_, "N.TXT", false), Error::kExists);
  ASSERT_EQ(src->move_to(*in_, "N.TXT", true), Error::kNone);
  FileInfo moved, by_name;
  ASSERT_EQ(src->info(moved), Error::kNone);
  ASSERT_EQ(in_->stat("N.TXT", by_name), Error::kNone);
  EXPECT_TRUE(moved.same_file(by_name));
  ASSERT_EQ(src->remove(), Error::kNone);
  src.reset();  // (Windows: gone at close)
  hold.reset();
  EXPECT_TRUE(again->hold()) << "the holder is gone";
  EXPECT_EQ(again->rename("M.TXT", *in_, "M.TXT"), Error::kNone);
  again.reset();
  EXPECT_EQ(in_->remove_dir(hold_name), Error::kNone) << "a hold left empty goes";
  EXPECT_EQ(names(*in_), V{"M.TXT"});
}

TEST_P(BackendContract, AFileRenamedOverTheSourceIsNeverMovedOrRemoved) {
  put(*in_, "N.TXT", "old");
  Text hold_name;
  auto hold = make_hold(hold_name);
  auto src = take(*in_, "N.TXT");
  ASSERT_TRUE(hold && src);
  plant("NEW.TMP", "new version");
  if (!move_by_other("NEW.TMP", "N.TXT")) {  // kept out: the name still names the source
    EXPECT_EQ(src->move_to(*hold, "N.TXT", false), Error::kNone);
    return;
  }
  EXPECT_EQ(src->move_to(*hold, "N.TXT", false), Error::kChanged);
  EXPECT_EQ(src->remove(), Error::kChanged);
  EXPECT_EQ(content(*in_, "N.TXT"), "new version");
  EXPECT_EQ(names(*hold), V{});
}

// A file in flight takes what the system copies into it where it can,
// replaces a name only when asked, is taken back through its own handle, and
// leaves no name behind when dropped, even read-only; its mode and time are
// given through the open file (a time comes back exactly or cut to the 100 ns
// grid). Leftovers of a crashed run go; a live file in flight and a hold
// directory stay.
TEST_P(BackendContract, AFileInFlightIsPublishedOnlyAsAskedAndNeverLeftBehind) {
  put(*in_, "N.TXT", "old");
  Error err = Error::kIo;
  auto tmp = in_->create_temp(err);
  auto from = in_->open_read("N.TXT", err);
  ASSERT_TRUE(tmp && from) << error_name(err);
  const int64_t copied = from->copy_to(*tmp, 100);  // where the system copies by itself
  ASSERT_EQ(copied == File::kNoSystemCopy ? tmp->write("old", 3) : copied, 3);
  from.reset();  // an open reader keeps a replacement out on Windows
  ASSERT_EQ(tmp->write("+new", 4), 4);
  EXPECT_EQ(in_->publish(*tmp, "N.TXT", false), Error::kExists);
  EXPECT_EQ(content(*in_, "N.TXT"), "old");
  ASSERT_EQ(in_->publish(*tmp, "N.TXT", true), Error::kNone);
  tmp.reset();
  EXPECT_EQ(content(*in_, "N.TXT"), "old+new");
  FileInfo read_only, info;
  read_only.attributes = kAttrReadOnly | kAttrArchive;
  read_only.mode = 0444;
  const int64_t t = 1'650'000'000'123'456'789;
  std::unique_ptr<File> dropped;
  for (auto* f : {&tmp, &dropped}) {
    *f = in_->create_temp(err);
    ASSERT_TRUE(*f) << error_name(err);
    ASSERT_EQ((*f)->set_attributes(read_only), Error::kNone);
    ASSERT_EQ((*f)->set_mtime(t), Error::kNone);
  }
  ASSERT_EQ(in_->publish(*tmp, "RO.TXT", true), Error::kNone);
  ASSERT_EQ(in_->stat("RO.TXT", info), Error::kNone);
  EXPECT_TRUE(info.attributes & kAttrReadOnly);
  EXPECT_TRUE(info.mtime_ns == t || info.mtime_ns == t - t % 100) << info.mtime_ns;
  ASSERT_EQ(tmp->remove(), Error::kNone);
  tmp.reset();  // (Windows: gone at close)

  const std::string crashed = std::string(kPartialPrefix) + "P00000007crashed";
  plant(crashed, "left by a crash");  // read-only when the crash came after the stamping
  if (real_) stdfs::permissions(dir_ / crashed, stdfs::perms::all, stdfs::perm_options::remove);
  Text hold_name;
  auto hold = make_hold(hold_name);
  const V before = names(*in_);
  in_->remove_leftovers();
  EXPECT_EQ(names(*in_).size() + 1, before.size()) << "only the crashed file goes";
  EXPECT_EQ(dropped->close(), Error::kNone);
  EXPECT_EQ(names(*in_), (V{hold_name.str(), "N.TXT"}));
}

// A Dir stays the directory it opened when another program renames it and
// makes a new one under its name (or is kept out); a long and a Cyrillic
// name travel; operator paths take either separator.
TEST_P(BackendContract, ADirKeepsToItsDirectoryAndOperatorPathsTakeEitherSeparator) {
  const Text longest(std::string(250, 'n') + ".txt"), cyrillic("Отчёт.txt"_oem);
  ASSERT_EQ(in_->make_dir("A"), Error::kNone);
  Error err = Error::kIo;
  auto a = in_->open_dir("A", err);
  ASSERT_TRUE(a) << error_name(err);
  const bool swapped = move_by_other("A", "OLD");
  if (swapped && real_) stdfs::create_directory(dir_ / "A");
  if (swapped && !real_) fake_.add_dir("C:\\T\\A");
  const Text held = swapped ? "OLD" : "A";
  ASSERT_EQ(a->make_dir("SUB"), Error::kNone);
  put(*a, longest, "long");
  put(*a, cyrillic, "ru");
  ASSERT_EQ(take(*a, longest)->move_to(*in_, longest, false), Error::kNone);
  EXPECT_EQ(content(*in_, longest), "long");
  EXPECT_FALSE(a->open_read(Text("Отчёт.txt"), err)) << "UTF-8 taken for CP866";
  for (const char* sep : {"\\", "/"})
    EXPECT_TRUE(fs().open_read(root_ + sep + held.view() + sep + cyrillic.view(), err))
        << error_name(err);
  EXPECT_EQ(in_->remove_dir(held), Error::kExists) << "a directory that is not empty stays";
  EXPECT_EQ(in_->remove_dir("A"), swapped ? Error::kNone : Error::kExists) << "written elsewhere";
  EXPECT_FALSE(fs().open_dir(root_ + "/NONE/X", err));
  EXPECT_EQ(err, Error::kNotFound);
  EXPECT_FALSE(fs().open_dir(root_ + "/" + held.view() + "/" + cyrillic.view() + "/X", err));
  EXPECT_EQ(err, Error::kNotDirectory);
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendContract, testing::Bool(),
                         [](const auto& p) { return p.param ? "Real" : "Fake"; });

}  // namespace
}  // namespace qv
