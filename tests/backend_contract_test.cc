// The same cases on the fake file system and on the real one, in a fresh
// directory each, so that the fake cannot drift from what the machine does.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/dir_search.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

namespace stdfs = std::filesystem;

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
    ASSERT_TRUE(fs_);
    std::random_device rd;
    std::error_code ec;
    real_dir_ = stdfs::temp_directory_path(ec) / ("qv-contract-" + std::to_string(rd()));
    ASSERT_TRUE(stdfs::create_directories(real_dir_, ec)) << ec.message();
    std::u8string u8 = real_dir_.u8string();
    ASSERT_TRUE(utf8_to_cp866(std::string(u8.begin(), u8.end()), root_));
  }

  void TearDown() override {
    if (real_dir_.empty()) return;
    std::error_code ec;
    // Read-only files would stop the clean-up on Windows.
    for (const auto& e : stdfs::recursive_directory_iterator(real_dir_, ec))
      stdfs::permissions(e.path(), stdfs::perms::owner_write, stdfs::perm_options::add, ec);
    stdfs::remove_all(real_dir_, ec);
  }

  // A path below the test directory, with the separator the root uses.
  Text path(const std::string& name) const {
    char sep = root_.find('\\') != std::string::npos ? '\\' : '/';
    std::string p = root_ + sep + name;
    std::replace(p.begin() + static_cast<std::ptrdiff_t>(root_.size()), p.end(), '/', sep);
    return Text(p);
  }

  void write_file(const std::string& name, const std::string& content) {
    Error err = Error::kIo;
    auto f = fs_->create_new(path(name), err);
    ASSERT_TRUE(f) << name << ": " << error_name(err);
    ASSERT_EQ(f->write(content.data(), static_cast<int64_t>(content.size())),
              static_cast<int64_t>(content.size()));
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

  Error stat_of(const std::string& name, FileInfo& info) { return fs_->stat(path(name), info); }

  uint32_t attributes_of(const std::string& name) {
    FileInfo info;
    return stat_of(name, info) == Error::kNone ? info.attributes : 0;
  }

  std::vector<std::string> search(const std::string& mask, uint32_t attr_mask) {
    std::vector<std::string> out;
    for (DirSearch s(*fs_, path(mask), attr_mask); s.found(); s.next())
      out.push_back(s.entry().name.str());
    std::sort(out.begin(), out.end());
    return out;
  }

  std::unique_ptr<FileSystem> fs_;
  std::string root_;
  stdfs::path real_dir_;
};

TEST_P(BackendContract, CreateNewNeverTakesAnExistingName) {
  write_file("A.TXT", "hello");
  Error err = Error::kNone;
  EXPECT_FALSE(fs_->create_new(path("A.TXT"), err));
  EXPECT_EQ(err, Error::kExists);
  EXPECT_EQ(read_file("A.TXT"), "hello");
  FileInfo info;
  ASSERT_EQ(stat_of("A.TXT", info), Error::kNone);
  EXPECT_EQ(info.size, 5u);
  EXPECT_FALSE(info.attributes & kAttrDirectory);
}

TEST_P(BackendContract, WrittenDataReadsBackWhole) {
  std::string data;
  for (int i = 0; i < 10000; ++i) data += static_cast<char>(i * 7 + i / 256);
  write_file("DATA.BIN", data);
  EXPECT_EQ(read_file("DATA.BIN"), data);
  Error err = Error::kIo;
  auto f = fs_->open_read(path("DATA.BIN"), err);
  ASSERT_TRUE(f);
  FileInfo info;
  ASSERT_EQ(f->info(info), Error::kNone);
  EXPECT_EQ(info.size, data.size());
  FileInfo by_name;
  ASSERT_EQ(stat_of("DATA.BIN", by_name), Error::kNone);
  EXPECT_EQ(std::make_pair(info.device, info.index), std::make_pair(by_name.device, by_name.index));
  EXPECT_EQ(f->close(), Error::kNone);
  EXPECT_NE(f->close(), Error::kNone);  // closed is closed
}

TEST_P(BackendContract, RenameReplacesOnlyWhenAsked) {
  write_file("OLD.TXT", "old");
  write_file("NEW.TXT", "new");
  EXPECT_EQ(fs_->rename(path("NEW.TXT"), path("OLD.TXT"), false), Error::kExists);
  EXPECT_EQ(read_file("OLD.TXT"), "old");
  EXPECT_EQ(read_file("NEW.TXT"), "new");
  EXPECT_EQ(fs_->rename(path("NEW.TXT"), path("OLD.TXT"), true), Error::kNone);
  EXPECT_EQ(read_file("OLD.TXT"), "new");
  FileInfo info;
  EXPECT_EQ(stat_of("NEW.TXT", info), Error::kNotFound);
  EXPECT_EQ(fs_->rename(path("OLD.TXT"), path("MOVED.TXT"), false), Error::kNone);
  EXPECT_EQ(read_file("MOVED.TXT"), "new");
  EXPECT_EQ(fs_->rename(path("GONE.TXT"), path("X.TXT"), true), Error::kNotFound);
}

TEST_P(BackendContract, RemoveDeletesFilesOnly) {
  write_file("A.TXT", "a");
  ASSERT_EQ(fs_->make_dir(path("DIR")), Error::kNone);
  EXPECT_EQ(fs_->remove(path("A.TXT")), Error::kNone);
  FileInfo info;
  EXPECT_EQ(stat_of("A.TXT", info), Error::kNotFound);
  EXPECT_EQ(fs_->remove(path("A.TXT")), Error::kNotFound);
  EXPECT_NE(fs_->remove(path("DIR")), Error::kNone);
  EXPECT_EQ(stat_of("DIR", info), Error::kNone);
}

TEST_P(BackendContract, ReadOnlyIsKeptAndStaysReadable) {
  write_file("RO.TXT", "fixed");
  write_file("PLAIN.TXT", "plain");
  EXPECT_FALSE(attributes_of("RO.TXT") & kAttrReadOnly);
  ASSERT_EQ(fs_->set_attributes(path("RO.TXT"), kAttrReadOnly | kAttrArchive), Error::kNone);
  EXPECT_TRUE(attributes_of("RO.TXT") & kAttrReadOnly);
  EXPECT_EQ(read_file("RO.TXT"), "fixed");
  Error err = Error::kIo;
  EXPECT_TRUE(fs_->open_exclusive(path("RO.TXT"), err)) << error_name(err);
  ASSERT_EQ(fs_->copy_attributes(path("RO.TXT"), path("PLAIN.TXT")), Error::kNone);
  EXPECT_TRUE(attributes_of("PLAIN.TXT") & kAttrReadOnly);
  ASSERT_EQ(fs_->set_attributes(path("RO.TXT"), kAttrArchive), Error::kNone);
  EXPECT_FALSE(attributes_of("RO.TXT") & kAttrReadOnly);
  ASSERT_EQ(fs_->copy_attributes(path("RO.TXT"), path("PLAIN.TXT")), Error::kNone);
  EXPECT_FALSE(attributes_of("PLAIN.TXT") & kAttrReadOnly);
}

TEST_P(BackendContract, ModificationTimeRoundTrips) {
  write_file("T.TXT", "t");
  // A time on the 100 ns grid comes back exactly everywhere.
  const int64_t on_grid = 1'600'000'000'000'000'000 + 4'567'800;
  ASSERT_EQ(fs_->set_mtime(path("T.TXT"), on_grid), Error::kNone);
  FileInfo info;
  ASSERT_EQ(stat_of("T.TXT", info), Error::kNone);
  EXPECT_EQ(info.mtime_ns, on_grid);
  // A finer time comes back exactly, or cut to the 100 ns grid.
  const int64_t fine = 1'650'000'000'123'456'789;
  ASSERT_EQ(fs_->set_mtime(path("T.TXT"), fine), Error::kNone);
  ASSERT_EQ(stat_of("T.TXT", info), Error::kNone);
  EXPECT_TRUE(info.mtime_ns == fine || info.mtime_ns == fine - fine % 100) << info.mtime_ns;
}

TEST_P(BackendContract, DirectoriesAreMadeOneByOneOrAsAChain) {
  ASSERT_EQ(fs_->make_dir(path("D")), Error::kNone);
  EXPECT_TRUE(attributes_of("D") & kAttrDirectory);
  EXPECT_EQ(fs_->make_dir(path("D")), Error::kExists);
  EXPECT_EQ(fs_->make_dir(path("D/X/Y")), Error::kNotFound);
  EXPECT_EQ(make_directories(*fs_, path("D/X/Y/Z/")), Error::kNone);
  EXPECT_TRUE(attributes_of("D/X/Y/Z") & kAttrDirectory);
  EXPECT_EQ(make_directories(*fs_, path("D/X/Y/Z")), Error::kNone);
  write_file("D/F", "f");
  EXPECT_EQ(make_directories(*fs_, path("D/F/SUB")), Error::kNotDirectory);
  write_file("D/X/Y/Z/IN.TXT", "deep");
  EXPECT_EQ(read_file("D/X/Y/Z/IN.TXT"), "deep");
}

TEST_P(BackendContract, SearchMatchesMasksAndAttributes) {
  for (const char* name : {"A1.dat", "AB.DAT", "ABC.dat", "b.txt", "C.TXT", "noext"})
    write_file(name, name);
  write_file(".hid.txt", "h");
  ASSERT_EQ(fs_->set_attributes(path(".hid.txt"), kAttrHidden | kAttrArchive), Error::kNone);
  write_file(std::string(kPartialPrefix) + "part.txt", "p");
  ASSERT_EQ(fs_->make_dir(path("SUBDIR")), Error::kNone);
  using V = std::vector<std::string>;
  const V plain = {"A1.dat", "AB.DAT", "ABC.dat", "C.TXT", "b.txt", "noext"};
  EXPECT_EQ(search("*.*", kAttrArchive), plain);
  EXPECT_EQ(search("*.TXT", kAttrArchive), (V{"C.TXT", "b.txt"}));
  EXPECT_EQ(search("A?.dat", kAttrArchive), (V{"A1.dat", "AB.DAT"}));
  EXPECT_EQ(search("*.*", kAttrDirectory), (V{"SUBDIR"}));
  V with_dir = plain;
  with_dir.insert(with_dir.begin(), "SUBDIR");
  std::sort(with_dir.begin(), with_dir.end());
  EXPECT_EQ(search("*.*", kAttrArchive | kAttrDirectory), with_dir);
  EXPECT_EQ(search("*.txt", kAttrArchive | kAttrHidden), (V{".hid.txt", "C.TXT", "b.txt"}));
  EXPECT_EQ(search("*", 0xFF), (V{".hid.txt", "A1.dat", "AB.DAT", "ABC.dat", "C.TXT", "SUBDIR",
                                  "b.txt", "noext"}));  // never the partial file
  EXPECT_EQ(search(std::string(kPartialPrefix) + "part.txt", 0xFF), V{});
  EXPECT_EQ(search("noext", kAttrArchive), (V{"noext"}));
}

TEST_P(BackendContract, MissingNamesAreNotFound) {
  FileInfo info;
  EXPECT_EQ(stat_of("NONE.TXT", info), Error::kNotFound);
  EXPECT_EQ(stat_of("NODIR/NONE.TXT", info), Error::kNotFound);
  Error err = Error::kNone;
  EXPECT_FALSE(fs_->open_read(path("NONE.TXT"), err));
  EXPECT_EQ(err, Error::kNotFound);
  EXPECT_FALSE(fs_->create_new(path("NODIR/NEW.TXT"), err));
  EXPECT_EQ(err, Error::kNotFound);
  EXPECT_TRUE(search("NODIR/*.*", 0xFF).empty());
}

TEST_P(BackendContract, ExclusiveOpenLocksOutTheNextOne) {
  write_file("L.TXT", "l");
  Error err = Error::kIo;
  auto first = fs_->open_exclusive(path("L.TXT"), err);
  ASSERT_TRUE(first) << error_name(err);
  EXPECT_FALSE(fs_->open_exclusive(path("L.TXT"), err));
  EXPECT_EQ(err, Error::kLocked);
  ASSERT_EQ(first->close(), Error::kNone);
  auto again = fs_->open_exclusive(path("L.TXT"), err);
  EXPECT_TRUE(again) << error_name(err);
  again.reset();
  auto reader = fs_->open_read(path("L.TXT"), err);
  ASSERT_TRUE(reader);
  EXPECT_FALSE(fs_->open_exclusive(path("L.TXT"), err));  // any holder locks it out
  EXPECT_EQ(err, Error::kLocked);
}

TEST_P(BackendContract, PlainReadersShareRenameAndDeletion) {
  write_file("R.TXT", "read me");
  Error err = Error::kIo;
  auto reader = fs_->open_read(path("R.TXT"), err);
  ASSERT_TRUE(reader) << error_name(err);
  EXPECT_EQ(fs_->rename(path("R.TXT"), path("S.TXT"), false), Error::kNone);
  EXPECT_EQ(fs_->remove(path("S.TXT")), Error::kNone);
  char buf[16];
  EXPECT_EQ(reader->read(buf, sizeof buf), 7);  // what was opened stays readable
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendContract, testing::Values(Kind::kFake, Kind::kReal),
                         [](const testing::TestParamInfo<Kind>& param) {
                           return param.param == Kind::kFake ? "Fake" : "Real";
                         });

}  // namespace
}  // namespace qv
