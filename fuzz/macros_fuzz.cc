// Macro expansion on any text and any clock reading: the first 16 bytes set
// the clock fields and the found-files count (out-of-range values included),
// the rest is the text. The expansion always ends, and a value that holds a
// macro name is never expanded again.
#include <cstdlib>
#include <cstring>

#include "fuzz/fuzz_run.h"
#include "settings/macros.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace qv;
  constexpr size_t kHead = 16;
  if (size < kHead) return 0;
  // Each field from two input bytes, signed, so that odd clock values come too.
  int16_t v[kHead / 2];
  std::memcpy(v, data, kHead);
  fuzz::FuzzRun f;
  const LocalTime t{v[0], v[1], v[2], v[3], v[4], v[5], v[6]};
  f.run.clock.set_date(t);
  f.run.clock.set_time(t);
  f.run.state.found_files = v[7] * int64_t{1000003};
  f.run.program_dir = Text(std::string(20, 'P') + "<DAY>");  // a directory named like a macro
  const Text in(fuzz::bytes_of(data + kHead, size - kHead));
  const Text out = expand_macros(f.run, in);
  // The program directory's "<DAY>" stays as it is wherever it was inserted
  // (a short text: no value is cut at 255).
  const bool inserted = in.view().find("<PROGRAMM_PATH>") != std::string_view::npos;
  if (inserted && in.size() <= 40 && out.view().find("PPPPP<DAY>") == std::string_view::npos)
    std::abort();
  return 0;
}
