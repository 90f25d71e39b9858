// The contract of the file-system interface, run on every backend through a
// factory (each case gets a fresh empty directory), so that no backend drifts
// from the rules the engine relies on.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/file_system.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

namespace stdfs = std::filesystem;
using V = std::vector<std::string>;

// One backend's file system with an empty directory to work in, and what
// another program would do there behind the system's back.
class Scratch {
 public:
  virtual ~Scratch() = default;
  virtual FileSystem& fs() = 0;
  // The operator's path of the empty directory.
  virtual Text root() const = 0;
  // Creates file `name` (ASCII bytes, taken literally) in the directory;
  // false when this backend cannot hold such a name at all.
  virtual bool plant(const std::string& name, const std::string& content) = 0;
  // Another program renames `from` to `to` (paths below the directory),
  // replacing a file there, with no regard for this system's open files;
  // false when the system refuses it (share mode 0 on Windows).
  virtual bool move_by_other(const std::string& from, const std::string& to) = 0;
  // A producer writes a new version of `name` and renames it over the name.
  bool replace_by_other(const std::string& name, const std::string& content) {
    return plant("NEW.TMP", content) && move_by_other("NEW.TMP", name);
  }
};

// The machine's own file system, in a fresh directory under the temporary one.
class RealScratch : public Scratch {
 public:
  RealScratch() {
    std::error_code ec;
    dir_ =
        stdfs::temp_directory_path(ec) / ("qv-contract-" + std::to_string(std::random_device()()));
    stdfs::create_directories(dir_, ec);
    std::u8string u8 = dir_.u8string();
    utf8_to_cp866(std::string(u8.begin(), u8.end()), root_);
  }
  ~RealScratch() override {
    std::error_code ec;  // read-only files would stop the clean-up on Windows
    for (const auto& e : stdfs::recursive_directory_iterator(dir_, ec))
      stdfs::permissions(e.path(), stdfs::perms::owner_write, stdfs::perm_options::add, ec);
    stdfs::remove_all(dir_, ec);
  }
  FileSystem& fs() override { return *fs_; }
  Text root() const override { return Text(root_); }
  bool plant(const std::string& name, const std::string& content) override {
    stdfs::path rel(name);
    if (rel.has_parent_path() || rel.has_root_name()) return false;  // a path here, not a name
    std::ofstream out(dir_ / rel, std::ios::binary);
    out << content;
    out.close();
    return out.good() && stdfs::exists(dir_ / name);
  }
  bool move_by_other(const std::string& from, const std::string& to) override {
    std::error_code ec;
    stdfs::rename(dir_ / from, dir_ / to, ec);
    return !ec;
  }

 private:
  std::unique_ptr<FileSystem> fs_ = make_real_file_system();
  stdfs::path dir_;
  std::string root_;
};

// The fake file system of the unit tests, in its own empty directory.
class FakeScratch : public Scratch {
 public:
  FakeScratch() { fs_.add_dir("C:\\CONTRACT"); }
  FileSystem& fs() override { return fs_; }
  Text root() const override { return Text("C:\\CONTRACT"); }
  bool plant(const std::string& name, const std::string& content) override {
    if (name.find_first_of("\\/:") != std::string::npos) return false;
    fs_.add_file("C:\\CONTRACT\\" + name, content);
    return fs_.exists("C:\\CONTRACT\\" + name);
  }
  bool move_by_other(const std::string& from, const std::string& to) override {
    fs_.move_by_other("C:\\CONTRACT\\" + from, "C:\\CONTRACT\\" + to);
    return !fs_.exists("C:\\CONTRACT\\" + from) && fs_.exists("C:\\CONTRACT\\" + to);
  }

 private:
  fake::FakeFileSystem fs_;
};

struct Backend {
  std::string name;
  std::function<std::unique_ptr<Scratch>()> make;
  friend void PrintTo(const Backend& b, std::ostream* os) { *os << b.name; }
};

// Every backend the contract runs on.
std::vector<Backend> backends() {
  return {{"Fake", [] { return std::make_unique<FakeScratch>(); }},
          {"Real", [] { return std::make_unique<RealScratch>(); }}};
}

class BackendContract : public testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    scratch_ = GetParam().make();
    Error err = Error::kIo;
    in_ = scratch_->fs().open_dir(scratch_->root(), err);
    ASSERT_TRUE(in_) << error_name(err);
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
    if (!f) return "<" + std::string(error_name(err)) + ">";
    std::string out;
    char buf[1000];
    for (int64_t n; (n = f->read(buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    return out;
  }
  static V names(Dir& dir) {
    Error err = Error::kIo;
    V out;
    auto reader = dir.list(err);
    EXPECT_TRUE(reader) << error_name(err);
    for (RawEntry e; reader && reader->next(e);) out.push_back(e.name.str());
    std::sort(out.begin(), out.end());
    return out;
  }

  std::unique_ptr<Scratch> scratch_;
  std::unique_ptr<Dir> in_;
};

TEST_P(BackendContract, NamesThatAreNotPlainNamesAreLeftOutAndRefused) {
  const std::string hostile[] = {"x\\..\\..\\secret", "c:d", "two\nlines", "esc\x1b[31m", "a/b"};
  V listable = {"plain.txt"};
  ASSERT_TRUE(scratch_->plant("plain.txt", "p"));
  for (const auto& name : hostile) scratch_->plant(name, "hostile");
  EXPECT_EQ(names(*in_), listable);

  Error err = Error::kNone;
  auto tmp = in_->create_temp(err);
  ASSERT_TRUE(tmp) << error_name(err);
  auto src = in_->open_source("plain.txt", err);
  ASSERT_TRUE(src) << error_name(err);
  FileInfo info;
  using Op = std::function<Error(const Text&)>;
  const std::pair<const char*, Op> ops[] = {
      {"stat", [&](const Text& n) { return in_->stat(n, info); }},
      {"open_dir", [&](const Text& n) { return in_->open_dir(n, err) ? Error::kNone : err; }},
      {"make_dir", [&](const Text& n) { return in_->make_dir(n); }},
      {"remove_dir", [&](const Text& n) { return in_->remove_dir(n); }},
      {"open_read", [&](const Text& n) { return in_->open_read(n, err) ? Error::kNone : err; }},
      {"open_source", [&](const Text& n) { return in_->open_source(n, err) ? Error::kNone : err; }},
      {"publish", [&](const Text& n) { return in_->publish(*tmp, n, true); }},
      {"rename from", [&](const Text& n) { return in_->rename(n, *in_, "new"); }},
      {"rename to", [&](const Text& n) { return in_->rename("plain.txt", *in_, n); }},
      {"move_to", [&](const Text& n) { return src->move_to(*in_, n, true); }}};
  for (const auto& [op, call] : ops) {
    for (const std::string& name : {hostile[0], hostile[1], hostile[2], hostile[3], hostile[4],
                                    std::string("."), std::string(".."), std::string()}) {
      EXPECT_EQ(call(Text(name)), Error::kBadName) << op << " of \"" << name << "\"";
    }
  }
  src.reset();
  tmp.reset();  // dropped unpublished: no name left in flight either
  EXPECT_EQ(names(*in_), listable);
  EXPECT_EQ(content(*in_, "plain.txt"), "p");
}

TEST_P(BackendContract, ATakenFileMovesAsItselfAndALateTakerFindsItGone) {
  put(*in_, "N.TXT", "payload");
  put(*in_, "M.TXT", "other");
  Error err = Error::kIo;
  Text hold_name;
  auto hold = in_->make_hold_dir(hold_name, err);
  ASSERT_TRUE(hold) << error_name(err);
  EXPECT_EQ(hold_name.view().substr(0, kHoldPrefix.size()), kHoldPrefix);
  FileInfo hold_info;
  ASSERT_EQ(hold->info(hold_info), Error::kNone);
  // Private where the backend reports permission bits (Windows: by its ACL).
  if (hold_info.mode != 0) {
    EXPECT_EQ(hold_info.mode & 077, 0u) << "a hold directory is private";
  }

  auto src = in_->open_source("N.TXT", err);
  ASSERT_TRUE(src) << error_name(err);
  ASSERT_EQ(src->move_to(*hold, "N.TXT", false), Error::kNone);
  EXPECT_TRUE(src->held());
  EXPECT_EQ(names(*hold), V{"N.TXT"});
  EXPECT_FALSE(hold->open_source("N.TXT", err)) << "a taken file is taken once";
  EXPECT_EQ(err, Error::kLocked);
  // Another taker renames M.TXT away between our open and our move; where
  // the system keeps that out while we have it open, our move wins.
  auto late = in_->open_source("M.TXT", err);
  ASSERT_TRUE(late) << error_name(err);
  bool taken_by_other = scratch_->move_by_other("M.TXT", hold_name.str() + "/M.TXT");
  EXPECT_EQ(late->move_to(*hold, "M.TXT", true), taken_by_other ? Error::kNotFound : Error::kNone);
  late.reset();
  EXPECT_EQ(content(*hold, "M.TXT"), "other");
  // Back under its own name, never replacing, then removed through itself.
  put(*in_, "N.TXT", "newcomer");
  EXPECT_EQ(src->move_to(*in_, "N.TXT", false), Error::kExists);
  ASSERT_EQ(src->move_to(*in_, "N2.TXT", false), Error::kNone);
  FileInfo moved, by_name;
  ASSERT_EQ(src->info(moved), Error::kNone);
  ASSERT_EQ(in_->stat("N2.TXT", by_name), Error::kNone);
  EXPECT_TRUE(moved.same_file(by_name));
  ASSERT_EQ(src->remove(), Error::kNone);
  src.reset();  // (Windows: gone at close)
  EXPECT_EQ(names(*in_), (V{hold_name.str(), "N.TXT"}));
}

TEST_P(BackendContract, AFileRenamedOverTheSourceIsNeverMovedOrRemoved) {
  put(*in_, "N.TXT", "old");
  Error err = Error::kIo;
  Text hold_name;
  auto hold = in_->make_hold_dir(hold_name, err);
  ASSERT_TRUE(hold) << error_name(err);
  auto src = in_->open_source("N.TXT", err);
  ASSERT_TRUE(src) << error_name(err);
  if (!scratch_->replace_by_other("N.TXT", "new version")) {
    // The system kept the producer out: the name still names the source.
    EXPECT_EQ(src->move_to(*hold, "N.TXT", false), Error::kNone);
    return;
  }
  EXPECT_EQ(src->move_to(*hold, "N.TXT", false), Error::kChanged);
  EXPECT_EQ(src->remove(), Error::kChanged);
  EXPECT_EQ(content(*in_, "N.TXT"), "new version");
  EXPECT_EQ(names(*hold), V{});
}

TEST_P(BackendContract, PublishReplacesOnlyWhenAskedAndLeavesNothingInFlight) {
  put(*in_, "N.TXT", "old");
  Error err = Error::kIo;
  auto tmp = in_->create_temp(err);
  ASSERT_TRUE(tmp) << error_name(err);
  ASSERT_EQ(tmp->write("new", 3), 3);
  ASSERT_EQ(tmp->flush(), Error::kNone);
  EXPECT_EQ(in_->publish(*tmp, "N.TXT", false), Error::kExists);
  EXPECT_EQ(content(*in_, "N.TXT"), "old");
  ASSERT_EQ(in_->publish(*tmp, "N.TXT", true), Error::kNone);
  EXPECT_EQ(names(*in_), V{"N.TXT"});
  ASSERT_EQ(tmp->remove(), Error::kNone);  // taken back through its own handle
  tmp.reset();                             // (Windows: gone at close)
  EXPECT_EQ(names(*in_), V{});
  // Once its writer let go, a reader finds the replacement. (A published
  // file still open may be kept from readers: share mode 0 on Windows.)
  put(*in_, "N.TXT", "old");
  put(*in_, "N.TXT", "new", true);
  EXPECT_EQ(content(*in_, "N.TXT"), "new");
  // A file in flight that is dropped unpublished leaves no name behind,
  // even once it was made read-only.
  auto dropped = in_->create_temp(err);
  ASSERT_TRUE(dropped) << error_name(err);
  ASSERT_EQ(dropped->write("x", 1), 1);
  FileInfo read_only;
  read_only.attributes = kAttrReadOnly;
  read_only.mode = 0444;
  ASSERT_EQ(dropped->set_attributes(read_only), Error::kNone);
  EXPECT_EQ(dropped->close(), Error::kNone);
  EXPECT_EQ(names(*in_), V{"N.TXT"});
}

TEST_P(BackendContract, ModeAndTimeAreGivenThroughTheOpenFile) {
  // A time on the 100 ns grid comes back exactly; a finer one exactly or cut to the grid.
  for (int64_t t : {int64_t{1'600'000'000'000'000'000 + 4'567'800}, 1'650'000'000'123'456'789}) {
    Error err = Error::kIo;
    auto tmp = in_->create_temp(err);
    ASSERT_TRUE(tmp) << error_name(err);
    FileInfo like;
    like.attributes = kAttrReadOnly | kAttrArchive;
    like.mode = 0444;
    ASSERT_EQ(tmp->set_attributes(like), Error::kNone);
    ASSERT_EQ(tmp->set_mtime(t), Error::kNone);
    ASSERT_EQ(in_->publish(*tmp, "RO.TXT", true), Error::kNone);
    FileInfo info;
    ASSERT_EQ(in_->stat("RO.TXT", info), Error::kNone);
    EXPECT_TRUE(info.attributes & kAttrReadOnly);
    EXPECT_TRUE(info.mtime_ns == t || info.mtime_ns == t - t % 100) << t << " -> " << info.mtime_ns;
  }
}

TEST_P(BackendContract, AHoldDirectoryIsHeldUntilItsHolderIsGone) {
  Error err = Error::kIo;
  Text name;
  auto first = in_->make_hold_dir(name, err);
  ASSERT_TRUE(first) << error_name(err);
  auto second = in_->open_dir(name, err);
  ASSERT_TRUE(second) << error_name(err);
  EXPECT_FALSE(second->hold());
  first.reset();
  EXPECT_TRUE(second->hold());
  EXPECT_EQ(in_->remove_dir(name), Error::kNone);
}

TEST_P(BackendContract, ALongNameTravelsAndOperatorPathsTakeEitherSeparator) {
  const Text longest(std::string(250, 'n') + ".txt");  // 254 bytes
  ASSERT_EQ(in_->make_dir("A"), Error::kNone);
  Error err = Error::kIo;
  auto a = in_->open_dir("A", err);
  ASSERT_TRUE(a) << error_name(err);
  put(*a, longest, "long");
  auto src = a->open_source(longest, err);
  ASSERT_TRUE(src) << error_name(err);
  ASSERT_EQ(src->move_to(*in_, longest, false), Error::kNone);
  src.reset();
  EXPECT_EQ(content(*in_, longest), "long");

  put(*a, "F.TXT", "short");
  const Text root = scratch_->root();
  FileInfo info;
  for (const char* sep : {"\\", "/"}) {
    EXPECT_EQ(scratch_->fs().stat(root + sep + "A", info), Error::kNone) << sep;
    EXPECT_TRUE(info.attributes & kAttrDirectory);
    auto f = scratch_->fs().open_read(root + sep + "A" + sep + "F.TXT", err);
    EXPECT_TRUE(f) << error_name(err);
  }
  using Case = std::pair<const char*, Error>;
  for (const auto& [rel, want] :
       {Case{"/NONE/X", Error::kNotFound}, Case{"/A/F.TXT/X", Error::kNotDirectory}}) {
    EXPECT_FALSE(scratch_->fs().open_dir(root + rel, err));
    EXPECT_EQ(err, want) << rel;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendContract, testing::ValuesIn(backends()),
                         [](const testing::TestParamInfo<Backend>& param) {
                           return param.param.name;
                         });

}  // namespace
}  // namespace qv
