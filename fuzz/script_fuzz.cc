// The task-script reader and interpreter on any bytes: the script is the
// input after its first byte, which picks the language and whether the
// program after each pass runs. Interpretation steps go on for a few passes
// through the script.
#include <cstdlib>

#include "fuzz/fuzz_run.h"
#include "script/interpreter.h"
#include "script/reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv;
  constexpr int kMaxSteps = 200;
  constexpr int64_t kPasses = 3;
  if (size == 0) return 0;
  fuzz::FuzzRun f;
  f.run.settings.lang = data[0] & 1;
  f.run.settings.run_batnik = (data[0] & 2) != 0;
  f.run.settings.name_batnik = Text("after.bat");
  f.fake.fs.add_file("C:\\QV\\Quorvane.Qvr", std::string(fuzz::bytes_of(data + 1, size - 1)));
  f.fake.fs.add_file("C:\\QV\\after.bat", "rem");
  if (locate_script(f.run)) std::abort();  // the script is there
  for (int step = 0; step < kMaxSteps && f.run.script.cycle <= kPasses; ++step) {
    interpretation_step(f.run);
  }
  return 0;
}
