// The transfer engine on the machine's own file system, in a fresh directory
// per test; the console, clock and process stay fake, so no pause is real.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "control/hold.h"
#include "control/transfer.h"
#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/dir_search.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

namespace stdfs = std::filesystem;

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
  // Sends IN/<name> to the outputs as one search of the main cycle does: the
  // input directory open, its hold directory let go at the end.
  bool send(const std::vector<std::string>& outputs, const std::string& name = "A.TXT") {
    InputInHand& in = run_->state.input;
    Error err = Error::kNone;
    in.dir = fs_->open_dir(path("IN"), err);
    if (!in.dir) return false;
    in.path = path("IN\\").str();
    in.dir->info(in.identity);
    RawEntry file;
    file.name = Text(name);
    in.dir->stat(file.name, file.info);
    std::vector<Destination> to;
    for (const std::string& out : outputs) to.push_back(Destination{path(out).str(), nullptr});
    bool sent = send_file(*run_, file, to, run_->state.done_targets);
    release_hold_dir(in);
    in = InputInHand{};
    return sent;
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

// Copied into OUT and moved into O2 (a rename on one file system): both keep
// the read-only bit and the exact time; a clash with an old OUT\A.TXT sends
// the copy down the CREATE_DIR chain; nothing in flight is left behind.
TEST_F(RealTransfer, ReadOnlySourceCopiedAlongTheCreateDirChainAndMoved) {
  write("IN/A.TXT", "copy me");
  write("OUT/A.TXT", "first");
  write("O2/KEEP", "");
  const stdfs::path a = native("IN/A.TXT");  // an old time, far from the copy's own
  stdfs::last_write_time(a, stdfs::last_write_time(a) - std::chrono::hours(1000));
  stdfs::permissions(a, stdfs::perms::owner_write, stdfs::perm_options::remove);
  const int64_t stamp = info("IN/A.TXT").mtime_ns;
  ASSERT_TRUE(send({"OUT\\", "O2\\"}));
  EXPECT_FALSE(stdfs::exists(native("IN/A.TXT")));
  EXPECT_EQ(read("OUT/A.TXT") + read("OUT/COPY/A.TXT") + read("O2/A.TXT"), "firstcopy mecopy me");
  for (const char* landed : {"OUT/COPY/A.TXT", "O2/A.TXT"}) {
    EXPECT_EQ(info(landed).mtime_ns, stamp) << landed;
    EXPECT_NE(info(landed).attributes & kAttrReadOnly, 0u) << landed;
  }
  for (const char* dir : {"IN", "OUT", "O2"})
    for (const auto& e : stdfs::recursive_directory_iterator(native(dir)))
      EXPECT_FALSE(is_partial_name(e.path().filename().string())) << e.path();
  EXPECT_EQ(run_->state.byte_count, 7);
}

TEST_F(RealTransfer, FileHeldOpenForWritingByAChildProcessIsRefused) {
  if (windows_paths()) GTEST_SKIP() << "a shell child holding a file is a POSIX case";
  write("IN/A.TXT", "busy");
  const std::string pid = native("holder.pid").string();
  // The shell opens the file and leaves a child that keeps it open.
  ASSERT_EQ(
      shell("exec 3>>'" + native("IN/A.TXT").string() + "'; sleep 30 & echo $! > '" + pid + "'"),
      0);
  EXPECT_FALSE(send({"OUT\\"}));
  EXPECT_EQ(shell("kill $(cat '" + pid + "')"), 0);
  EXPECT_EQ(read("IN/A.TXT"), "busy");
  EXPECT_FALSE(stdfs::exists(native("OUT/A.TXT")));
  const std::string shown = fp_.console.transcript_utf8();
  EXPECT_NE(shown.find("Can not take file :"), std::string::npos) << shown;
}

}  // namespace
}  // namespace qv
