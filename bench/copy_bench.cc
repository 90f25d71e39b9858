// Copies one file into one directory through the transfer engine on the real
// platform, flushed to the disk as every transfer is; bench/copy_bench.sh
// times it. Usage: copy_bench SOURCE TARGET_DIR  (UTF-8 paths).
// Exit code 0 when the copy was made, 1 when the engine gave up, 2 on usage.
#include <memory>
#include <string>

#include "control/run.h"
#include "control/transfer.h"
#include "platform/backend.h"
#include "platform/cp866.h"

namespace {

// The run's own form of a path given on the command line.
bool to_text(const char* utf8, qv::Text& out) {
  std::string oem;
  if (!qv::utf8_to_cp866(utf8, oem) || oem.size() > qv::Text::kMax) return false;
  out = qv::Text(oem);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  qv::Text source, target_dir;
  if (argc != 3 || !to_text(argv[1], source) || !to_text(argv[2], target_dir)) return 2;
  std::unique_ptr<qv::RealPlatform> real = qv::make_real_platform(argc, argv);
  qv::Run run(real->platform());
  run.settings.delay_copy = 0;  // measure the copy, not the pause before it
  return qv::transfer_file(run, source, target_dir, "Copy").empty() ? 1 : 0;
}
