// The settings loader on any bytes: the settings file is the input up to its
// first NUL byte, a file it may include (C:\QV\extra.cfg) the rest. Loading
// ends with an exit code or with every setting in range, and the macros of the
// path settings expand as at start-up.
#include <algorithm>
#include <cstdlib>

#include "fuzz/fuzz_run.h"
#include "settings/loader.h"
#include "settings/macros.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv;
  const std::string in(fuzz::bytes_of(data, size));
  const std::size_t nul = std::min(in.find('\0'), in.size());
  fuzz::FuzzRun f;
  f.fake.fs.add_file("C:\\QV\\Quorvane.cfg", in.substr(0, nul));
  f.fake.fs.add_file("C:\\QV\\extra.cfg", in.substr(std::min(nul + 1, in.size())));
  f.fake.fs.add_dir("C:\\QV\\sub");
  settings_path(f.run);
  Ending end = load_settings(f.run, f.run.settings_path);
  if (end && (*end < 5 || *end > 9)) std::abort();  // a fault ends with one of its own codes
  if (!end) macro_refresh(f.run);
  return 0;
}
