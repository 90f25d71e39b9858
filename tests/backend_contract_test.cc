// The same cases on the fake file system and on the real one, in a fresh
// directory each, so that the fake cannot drift from what the machine does.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/dir_search.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

namespace stdfs = std::filesystem;
using V = std::vector<std::string>;

enum class Kind { kFake, kReal };

class BackendContract : public testing::TestWithParam<Kind> {
 protected:
  void SetUp() override {
    if (GetParam() == Kind::kFake) {
      fs_ = std::make_unique<fake::FakeFileSystem>();
      root_ = "C:\\CONTRACT";
      ASSERT_EQ(fs_->make_dir(Text(root_)), Error::kNone);
      return;
    }
    fs_ = make_real_file_system();
    std::error_code ec;
    real_dir_ =
        stdfs::temp_directory_path(ec) / ("qv-contract-" + std::to_string(std::random_device()()));
    ASSERT_TRUE(stdfs::create_directories(real_dir_, ec)) << ec.message();
    std::u8string u8 = real_dir_.u8string();
    ASSERT_TRUE(utf8_to_cp866(std::string(u8.begin(), u8.end()), root_));
  }
  void TearDown() override {
    if (real_dir_.empty()) return;
    std::error_code ec;  // read-only files would stop the clean-up on Windows
    for (const auto& e : stdfs::recursive_directory_iterator(real_dir_, ec))
      stdfs::permissions(e.path(), stdfs::perms::owner_write, stdfs::perm_options::add, ec);
    stdfs::remove_all(real_dir_, ec);
  }
  // A path below the test directory, with the separator the root uses.
  Text path(std::string rel) const {
    std::replace(rel.begin(), rel.end(), '/', separator_for(root_));
    return join_path(Text(root_), rel);
  }
  void write_file(const std::string& name, const std::string& content) {
    Error err = Error::kIo;
    auto f = fs_->create_new(path(name), err);
    ASSERT_TRUE(f) << name << ": " << error_name(err);
    ASSERT_EQ(f->write(content.data(), std::ssize(content)), std::ssize(content));
    ASSERT_EQ(f->flush(), Error::kNone);
    ASSERT_EQ(f->close(), Error::kNone);
  }
  std::string read_file(const std::string& name) {
    Error err = Error::kIo;
    auto f = fs_->open_read(path(name), err);
    if (!f) return "<" + std::string(error_name(err)) + ">";
    std::string out;
    char buf[1000];
    for (int64_t n; (n = f->read(buf, sizeof buf)) > 0;) out.append(buf, static_cast<size_t>(n));
    return out;
  }
  FileInfo info_of(const std::string& name, Error want = Error::kNone) {
    FileInfo info;
    EXPECT_EQ(fs_->stat(path(name), info), want) << name;
    return info;
  }

  std::unique_ptr<FileSystem> fs_;
  std::string root_;
  stdfs::path real_dir_;
};

TEST_P(BackendContract, FilesAreCreatedWholeAndNeverOverMissingOrExistingNames) {
  std::string data;
  for (int i = 0; i < 10000; ++i) data += static_cast<char>(i * 7 + i / 256);
  write_file("DATA.BIN", data);
  EXPECT_EQ(read_file("DATA.BIN"), data);
  Error err = Error::kNone;
  EXPECT_FALSE(fs_->create_new(path("DATA.BIN"), err));
  EXPECT_EQ(err, Error::kExists);
  EXPECT_FALSE(fs_->create_new(path("NODIR/NEW.TXT"), err));
  EXPECT_EQ(err, Error::kNotFound);
  EXPECT_EQ(read_file("NONE.TXT"), "<" + std::string(error_name(Error::kNotFound)) + ">");
  info_of("NODIR/NONE.TXT", Error::kNotFound);
  auto f = fs_->open_read(path("DATA.BIN"), err);
  ASSERT_TRUE(f);
  FileInfo open_info;
  ASSERT_EQ(f->info(open_info), Error::kNone);
  FileInfo by_name = info_of("DATA.BIN");
  EXPECT_EQ(open_info.size, data.size());
  EXPECT_FALSE(by_name.attributes & kAttrDirectory);
  EXPECT_EQ(std::pair(open_info.device, open_info.index), std::pair(by_name.device, by_name.index));
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_NE(f->close(), Error::kNone);  // closed is closed
  ASSERT_EQ(fs_->make_dir(path("DIR")), Error::kNone);
  EXPECT_NE(fs_->remove(path("DIR")), Error::kNone);  // remove takes files only
  EXPECT_EQ(fs_->remove(path("DATA.BIN")), Error::kNone);
  EXPECT_EQ(fs_->remove(path("DATA.BIN")), Error::kNotFound);
}

TEST_P(BackendContract, RenameReplacesOnlyWhenAskedAndReadersShareIt) {
  write_file("OLD.TXT", "old");
  write_file("NEW.TXT", "new");
  EXPECT_EQ(fs_->rename(path("NEW.TXT"), path("OLD.TXT"), false), Error::kExists);
  EXPECT_EQ(read_file("OLD.TXT") + read_file("NEW.TXT"), "oldnew");
  EXPECT_EQ(fs_->rename(path("NEW.TXT"), path("OLD.TXT"), true), Error::kNone);
  EXPECT_EQ(read_file("OLD.TXT"), "new");
  info_of("NEW.TXT", Error::kNotFound);
  EXPECT_EQ(fs_->rename(path("GONE.TXT"), path("X.TXT"), true), Error::kNotFound);
  Error err = Error::kIo;
  auto reader = fs_->open_read(path("OLD.TXT"), err);
  ASSERT_TRUE(reader) << error_name(err);
  EXPECT_EQ(fs_->rename(path("OLD.TXT"), path("MOVED.TXT"), false), Error::kNone);
  EXPECT_EQ(read_file("MOVED.TXT"), "new");
  EXPECT_EQ(fs_->remove(path("MOVED.TXT")), Error::kNone);
  char buf[16];
  EXPECT_EQ(reader->read(buf, sizeof buf), 3);  // what was opened stays readable
}

TEST_P(BackendContract, ReadOnlyAndTheExactTimeAreKeptAndCarried) {
  write_file("RO.TXT", "fixed");
  write_file("PLAIN.TXT", "plain");
  EXPECT_FALSE(info_of("RO.TXT").attributes & kAttrReadOnly);
  for (uint32_t attrs : {kAttrReadOnly | kAttrArchive, uint32_t{kAttrArchive}}) {
    SCOPED_TRACE(attrs);
    ASSERT_EQ(fs_->set_attributes(path("RO.TXT"), attrs), Error::kNone);
    EXPECT_EQ(info_of("RO.TXT").attributes & kAttrReadOnly, attrs & kAttrReadOnly);
    ASSERT_EQ(fs_->copy_attributes(path("RO.TXT"), path("PLAIN.TXT")), Error::kNone);
    EXPECT_EQ(info_of("PLAIN.TXT").attributes & kAttrReadOnly, attrs & kAttrReadOnly);
    EXPECT_EQ(read_file("RO.TXT"), "fixed");
    Error err = Error::kIo;
    EXPECT_TRUE(fs_->open_exclusive(path("RO.TXT"), err)) << error_name(err);
  }
  // A time on the 100 ns grid comes back exactly; a finer one exactly or cut to the grid.
  for (int64_t t : {int64_t{1'600'000'000'000'000'000 + 4'567'800}, 1'650'000'000'123'456'789}) {
    ASSERT_EQ(fs_->set_mtime(path("RO.TXT"), t), Error::kNone);
    int64_t back = info_of("RO.TXT").mtime_ns;
    EXPECT_TRUE(back == t || back == t - t % 100) << t << " came back as " << back;
  }
}

TEST_P(BackendContract, DirectoriesAreMadeOneByOneOrAsAChain) {
  ASSERT_EQ(fs_->make_dir(path("D")), Error::kNone);
  EXPECT_TRUE(info_of("D").attributes & kAttrDirectory);
  EXPECT_EQ(fs_->make_dir(path("D")), Error::kExists);
  EXPECT_EQ(fs_->make_dir(path("D/X/Y")), Error::kNotFound);
  EXPECT_EQ(make_directories(*fs_, path("D/X/Y/Z/")), Error::kNone);
  EXPECT_EQ(make_directories(*fs_, path("D/X/Y/Z")), Error::kNone);
  write_file("D/X/Y/Z/IN.TXT", "deep");
  EXPECT_EQ(read_file("D/X/Y/Z/IN.TXT"), "deep");
  EXPECT_EQ(make_directories(*fs_, path("D/X/Y/Z/IN.TXT/SUB")), Error::kNotDirectory);
}

TEST_P(BackendContract, SearchMatchesMasksAndAttributesAndNeverYieldsPartialFiles) {
  for (const char* name : {"A1.dat", "AB.DAT", "ABC.dat", "b.txt", "C.TXT", "noext", ".hid.txt"})
    write_file(name, name);
  ASSERT_EQ(fs_->set_attributes(path(".hid.txt"), kAttrHidden | kAttrArchive), Error::kNone);
  write_file(std::string(kPartialPrefix) + "part.txt", "p");
  ASSERT_EQ(fs_->make_dir(path("SUBDIR")), Error::kNone);
  using Case = std::tuple<std::string, uint32_t, V>;  // mask, attributes, names found
  const Case cases[] = {
      {"*.*", kAttrArchive, {"A1.dat", "AB.DAT", "ABC.dat", "C.TXT", "b.txt", "noext"}},
      {"*.TXT", kAttrArchive, {"C.TXT", "b.txt"}},
      {"A?.dat", kAttrArchive, {"A1.dat", "AB.DAT"}},
      {"*.*", kAttrDirectory, {"SUBDIR"}},
      {"*.txt", kAttrArchive | kAttrHidden, {".hid.txt", "C.TXT", "b.txt"}},
      {"*", 0xFF, {".hid.txt", "A1.dat", "AB.DAT", "ABC.dat", "C.TXT", "SUBDIR", "b.txt", "noext"}},
      {std::string(kPartialPrefix) + "part.txt", 0xFF, {}},
      {"noext", kAttrArchive, {"noext"}},
      {"NODIR/*.*", 0xFF, {}}};
  for (const auto& [mask, attrs, want] : cases) {
    V found;
    for (DirSearch s(*fs_, path(mask), attrs); s.found(); s.next())
      found.push_back(s.entry().name.str());
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, want) << mask << " " << attrs;
  }
}

TEST_P(BackendContract, AnyHolderLocksOutAnExclusiveOpen) {
  write_file("L.TXT", "l");
  Error err = Error::kIo;
  auto first = fs_->open_exclusive(path("L.TXT"), err);
  ASSERT_TRUE(first) << error_name(err);
  EXPECT_FALSE(fs_->open_exclusive(path("L.TXT"), err));
  EXPECT_EQ(err, Error::kLocked);
  ASSERT_EQ(first->close(), Error::kNone);
  auto reader = fs_->open_read(path("L.TXT"), err);
  ASSERT_TRUE(reader);
  EXPECT_FALSE(fs_->open_exclusive(path("L.TXT"), err));
  EXPECT_EQ(err, Error::kLocked);
  reader.reset();
  EXPECT_TRUE(fs_->open_exclusive(path("L.TXT"), err)) << error_name(err);
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendContract, testing::Values(Kind::kFake, Kind::kReal),
                         [](const testing::TestParamInfo<Kind>& param) {
                           return param.param == Kind::kFake ? "Fake" : "Real";
                         });

}  // namespace
}  // namespace qv
