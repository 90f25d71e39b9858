// What every fuzz target starts from: a run over the fake platform with the
// program in C:\QV, as the unit tests have it. The fake is used only through
// add_file, add_dir and the Platform record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "control/run.h"
#include "script/text_utils.h"
#include "settings/settings_table.h"
#include "tests/fake_platform.h"

namespace qv::fuzz {

struct FuzzRun {
  FuzzRun() {
    store_startup_dirs(run);
    set_defaults(run.settings);
  }
  fake::FakePlatform fake;
  Run run{fake.platform};
};

inline std::string_view bytes_of(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace qv::fuzz
