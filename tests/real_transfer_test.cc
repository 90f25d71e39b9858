// The transfer engine on the machine's own file system, in a fresh directory;
// the console, clock and process stay fake, so no pause is real.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>

#include "control/hold.h"
#include "control/transfer.h"
#include "platform/backend.h"
#include "platform/cp866.h"
#include "platform/dir_search.h"
#include "tests/fake_platform.h"

namespace qv {
namespace {

namespace stdfs = std::filesystem;

std::string content(const stdfs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// A read-only source with an old time is copied into OUT (where an old
// A.TXT sends it down the CREATE_DIR chain) and moved into O2 by a rename:
// both keep the read-only bit and the exact time, the source is gone, and
// nothing in flight is left behind.
TEST(RealTransfer, ReadOnlySourceCopiedAlongTheCreateDirChainAndMoved) {
  const stdfs::path dir =
      stdfs::temp_directory_path() / ("qv-transfer-" + std::to_string(std::random_device()()));
  for (const char* sub : {"IN", "OUT", "O2"}) stdfs::create_directories(dir / sub);
  std::ofstream(dir / "IN/A.TXT", std::ios::binary) << "copy me";
  std::ofstream(dir / "OUT/A.TXT", std::ios::binary) << "first";
  const stdfs::path a = dir / "IN/A.TXT";
  stdfs::last_write_time(a, stdfs::last_write_time(a) - std::chrono::hours(1000));
  stdfs::permissions(a, stdfs::perms::owner_write, stdfs::perm_options::remove);
  const std::u8string u8 = dir.u8string();
  std::string root;
  ASSERT_TRUE(utf8_to_cp866(std::string(u8.begin(), u8.end()), root));
  auto path = [&](const std::string& rel) { return Text(root + "\\" + rel); };

  fake::FakePlatform fp;
  std::unique_ptr<FileSystem> fs = make_real_file_system();
  Platform platform{*fs, fp.console, fp.env, fp.clock, fp.process, fp.log};
  qv::Run run(platform);
  run.settings.create_dir = "COPY";
  FileInfo before, info;
  ASSERT_EQ(fs->stat(path("IN\\A.TXT"), before), Error::kNone);
  Error err = Error::kNone;
  InputInHand& in = run.state.input;
  in.dir = fs->open_dir(path("IN"), err);
  ASSERT_TRUE(in.dir) << error_name(err);
  in.path = path("IN\\").str();
  in.dir->info(in.identity);
  RawEntry file{Text("A.TXT"), before};
  const std::vector<Destination> to = {{path("OUT\\").str(), nullptr},
                                       {path("O2\\").str(), nullptr}};
  EXPECT_TRUE(send_file(run, file, to, run.state.done_targets)) << fp.console.transcript_utf8();
  release_hold_dir(in);
  in = InputInHand{};

  EXPECT_FALSE(stdfs::exists(a));
  for (const char* landed : {"OUT\\COPY\\A.TXT", "O2\\A.TXT"}) {
    ASSERT_EQ(fs->stat(path(landed), info), Error::kNone) << landed;
    EXPECT_EQ(info.mtime_ns, before.mtime_ns) << landed;
    EXPECT_NE(info.attributes & kAttrReadOnly, 0u) << landed;
  }
  EXPECT_TRUE(info.same_file(before)) << "moved by a rename";
  for (const auto& e : stdfs::recursive_directory_iterator(dir)) {
    EXPECT_FALSE(is_partial_name(e.path().filename().string())) << e.path();
    stdfs::permissions(e.path(), stdfs::perms::owner_write, stdfs::perm_options::add);
  }
  EXPECT_EQ(run.state.byte_count, 7);
  EXPECT_EQ(content(dir / "OUT/COPY/A.TXT") + content(dir / "OUT/A.TXT"), "copy mefirst");
  run.state.done_targets.clear();  // its directories held open would stay on Windows
  std::error_code ec;
  stdfs::remove_all(dir, ec);
  EXPECT_FALSE(ec) << ec.message();
}

}  // namespace
}  // namespace qv
