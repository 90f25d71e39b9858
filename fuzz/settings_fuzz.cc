// The settings loader on any bytes: the settings file is the input up to its
// first NUL byte, a file it may include (C:\QV\extra.cfg) the rest. Loading
// ends with an exit code or with every setting in range, and the macros of the
// path settings expand as at start-up.
#include <cstdlib>

#include "fuzz/fuzz_run.h"
#include "settings/loader.h"
#include "settings/macros.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv;
  auto [settings, extra] = fuzz::split_at_nul(fuzz::bytes_of(data, size));
  fuzz::FuzzRun f;
  f.fake.fs.add_file("C:\\QV\\Quorvane.cfg", std::string(settings));
  f.fake.fs.add_file("C:\\QV\\extra.cfg", std::string(extra));
  f.fake.fs.add_dir("C:\\QV\\sub");
  settings_path(f.run);
  Ending end = load_settings(f.run, f.run.settings_path);
  if (end && (*end < 5 || *end > 9)) std::abort();  // a fault ends with one of its own codes
  if (!end) macro_refresh(f.run);
  return 0;
}
