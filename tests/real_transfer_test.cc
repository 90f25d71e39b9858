// The transfer engine on the machine's own file system, in a fresh directory
// per test; the console, clock and process stay fake, so no pause is real.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "control/transfer.h"
#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/dir_search.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

namespace stdfs = std::filesystem;

// A multiple of 100 ns, the finest stamp every backend keeps.
constexpr int64_t kStamp = 1'600'000'001'123'456'700;

class RealTransfer : public testing::Test {
 protected:
  void SetUp() override {
    std::error_code ec;
    dir_ =
        stdfs::temp_directory_path(ec) / ("qv-transfer-" + std::to_string(std::random_device()()));
    ASSERT_TRUE(stdfs::create_directories(dir_ / "IN", ec)) << ec.message();
    std::u8string u8 = dir_.u8string();
    ASSERT_TRUE(utf8_to_cp866(std::string(u8.begin(), u8.end()), root_));
    run_->settings.delay_copy = 1000;
    run_->settings.create_dir = "COPY";
  }
  void TearDown() override {
    std::error_code ec;  // read-only files are made writable first, as Windows keeps them
    for (const auto& e : stdfs::recursive_directory_iterator(dir_, ec))
      stdfs::permissions(e.path(), stdfs::perms::owner_write, stdfs::perm_options::add, ec);
    stdfs::remove_all(dir_, ec);
  }

  bool windows_paths() const { return root_.size() > 1 && root_[1] == ':'; }
  // A path below the test directory in the system's own form.
  Text path(const std::string& rel) const {
    std::string p = root_ + "\\" + rel;
    std::replace(p.begin(), p.end(), '/', '\\');
    return Text(p);
  }
  stdfs::path native(const std::string& rel) const { return dir_ / stdfs::path(rel); }
  void write(const std::string& rel, const std::string& content) {
    stdfs::create_directories(native(rel).parent_path());
    std::ofstream(native(rel), std::ios::binary) << content;
  }
  std::string read(const std::string& rel) const {
    std::ifstream in(native(rel), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  FileInfo info(const std::string& rel) {
    FileInfo i;
    EXPECT_EQ(fs_->stat(path(rel), i), Error::kNone) << rel;
    return i;
  }
  // Transfers IN/<name> into OUT; returns the directory it landed in.
  std::string transfer(const char* op, const std::string& name = "A.TXT") {
    return transfer_file(*run_, path("IN/" + name), path("OUT/"), op).str();
  }
  // Runs a shell line (the POSIX-only cases).
  static int shell(const std::string& line) { return std::system(line.c_str()); }

  fake::FakePlatform fp_;
  std::unique_ptr<FileSystem> fs_ = make_real_file_system();
  Platform platform_{*fs_, fp_.console, fp_.env, fp_.clock, fp_.process, fp_.log};
  std::unique_ptr<qv::Run> run_ = std::make_unique<qv::Run>(platform_);
  stdfs::path dir_;
  std::string root_;
};

// Copied, the file lands in OUT; moved after that, it meets the copy and the
// CREATE_DIR chain takes it to the first free level. Both times the target
// keeps the read-only bit and the exact time, and no partial file is left.
TEST_F(RealTransfer, ReadOnlySourceCopiedThenMovedAlongTheCreateDirChain) {
  write("IN/A.TXT", "copy me");
  write("OUT/COPY/A.TXT", "second");
  ASSERT_EQ(fs_->set_mtime(path("IN/A.TXT"), kStamp), Error::kNone);
  ASSERT_EQ(fs_->set_attributes(path("IN/A.TXT"), kAttrReadOnly | kAttrArchive), Error::kNone);
  EXPECT_EQ(transfer("Copy"), path("OUT/").str());
  EXPECT_NE(info("IN/A.TXT").attributes & kAttrReadOnly, 0u) << "the source keeps its own";
  EXPECT_EQ(transfer("Move"), path("OUT/").str() + "COPY\\COPY\\");
  EXPECT_FALSE(stdfs::exists(native("IN/A.TXT")));  // moved: gone from the source
  EXPECT_EQ(read("OUT/A.TXT") + read("OUT/COPY/A.TXT") + read("OUT/COPY/COPY/A.TXT"),
            "copy mesecondcopy me");
  for (const char* landed : {"OUT/A.TXT", "OUT/COPY/COPY/A.TXT"}) {
    EXPECT_EQ(info(landed).mtime_ns, kStamp) << landed;
    EXPECT_NE(info(landed).attributes & kAttrReadOnly, 0u) << landed;
  }
  for (const auto& e : stdfs::recursive_directory_iterator(native("OUT")))
    EXPECT_FALSE(is_partial_name(e.path().filename().string())) << e.path();
  EXPECT_EQ(run_->state.byte_count, 7);  // only what was moved is counted
}

TEST_F(RealTransfer, FileHeldOpenForWritingByAChildProcessIsRefused) {
  if (windows_paths()) GTEST_SKIP() << "a shell child holding a file is a POSIX case";
  write("IN/A.TXT", "busy");
  const std::string pid = native("holder.pid").string();
  // The shell opens the file and leaves a child that keeps it open.
  ASSERT_EQ(
      shell("exec 3>>'" + native("IN/A.TXT").string() + "'; sleep 30 & echo $! > '" + pid + "'"),
      0);
  EXPECT_EQ(transfer("Move"), "");
  EXPECT_EQ(shell("kill $(cat '" + pid + "')"), 0);
  EXPECT_EQ(read("IN/A.TXT"), "busy");
  EXPECT_FALSE(stdfs::exists(native("OUT/A.TXT")));
  const std::string shown = fp_.console.transcript_utf8();
  EXPECT_NE(shown.find("Can not create file :"), std::string::npos) << shown;
}

TEST_F(RealTransfer, LinksAndFifosAreNeverTouched) {
  if (windows_paths()) GTEST_SKIP() << "links and FIFOs are a POSIX case";
  write("REAL.TXT", "kept");
  const std::string in = native("IN").string();
  ASSERT_EQ(shell("ln -s ../REAL.TXT '" + in + "/LINK.TXT' && mkfifo '" + in + "/FIFO.TXT'"), 0);
  EXPECT_FALSE(DirSearch(*fs_, path("IN/*.*"), 0x3F).found());
  for (const char* name : {"LINK.TXT", "FIFO.TXT"}) {
    for (const char* op : {"Copy", "Move"}) EXPECT_EQ(transfer(op, name), "") << name << op;
    EXPECT_FALSE(stdfs::exists(native(std::string("OUT/") + name))) << name;
  }
  EXPECT_TRUE(stdfs::is_symlink(native("IN/LINK.TXT")));
  EXPECT_TRUE(stdfs::is_fifo(native("IN/FIFO.TXT")));
  EXPECT_EQ(read("REAL.TXT"), "kept");
}

}  // namespace
}  // namespace qv
