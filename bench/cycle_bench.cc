// Times the main cycle of a real run. The run is prepared from a directory
// that holds Quorvane.cfg and Quorvane.Qvr exactly as the program prepares
// it beside its executable (real platform: headless when standard output is
// no terminal, the full screen when it is one), without the pause that lets
// a person read the start-up messages; then the main cycle runs until the
// run's own limit (VALID_CYCLE_FULL_RUN, NUMBER_TIME_WORK) or a key ends it.
// bench/run.sh drives it; it is a measuring tool, not a test.
//
// Usage:
//   cycle_bench [--report FILE] RUN_DIR
//       one line "wall_s=.. cpu_s=.. user_s=.. sys_s=.. cycle_peak_kib=..
//       process_peak_kib=.. exit=.. found=.. bytes=.." goes to FILE (written
//       whole, then renamed into place) or to standard error. CPU time counts
//       every thread of the run, the drawing threads too; cycle_peak_kib is
//       the peak resident size reached during the cycle alone (the peak is
//       reset right before it), process_peak_kib that of the whole process.
//   cycle_bench --make DIR COUNT BYTES PREFIX
//       makes COUNT files of BYTES bytes each, named PREFIX + seven digits +
//       ".dat", in the existing directory DIR (the benchmark's data).
// Exit code: 0 when the cycle ran (or the files were made), 1 when the run
// ended before its main cycle or a file could not be made, 2 on usage.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "control/main_cycle.h"
#include "control/run.h"
#include "control/startup.h"
#include "platform/backend.h"
#include "platform/cp866.h"
#include "settings/loader.h"

namespace {

struct CpuTimes {
  double user = 0, sys = 0;
};

CpuTimes cpu_now() {
  struct rusage ru {};
  ::getrusage(RUSAGE_SELF, &ru);
  auto seconds = [](const timeval& tv) { return tv.tv_sec + tv.tv_usec / 1e6; };
  return {seconds(ru.ru_utime), seconds(ru.ru_stime)};
}

long process_peak_kib() {
  struct rusage ru {};
  ::getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

// Starts the peak resident size afresh from the present size (Linux
// /proc/self/clear_refs); false where the kernel does not offer it.
bool reset_peak_rss() {
  std::ofstream refs("/proc/self/clear_refs");
  refs << "5";
  refs.flush();
  return static_cast<bool>(refs);
}

// The peak resident size since the last reset (VmHWM), or -1.
long peak_rss_since_reset_kib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Writes the report line whole under a temporary name, then renames it into
// place, so a waiting script never reads half a line.
bool write_report(const std::string& path, const std::string& line) {
  if (path.empty()) {
    std::cerr << line << '\n';
    return true;
  }
  const std::string tmp = path + ".part";
  {
    std::ofstream out(tmp, std::ios::trunc);
    out << line << '\n';
    if (!out.flush()) return false;
  }
  return std::rename(tmp.c_str(), path.c_str()) == 0;
}

// Prepares the run from `dir` as the program does from its own directory.
bool begin_run_in(qv::Run& run, const std::string& dir) {
  std::string oem;
  if (!qv::utf8_to_cp866(dir, oem) || oem.size() > qv::Text::kMax) return false;
  run.start_pause = false;
  qv::initialise_modules(run);
  run.program_dir = qv::Text(oem);
  qv::settings_path(run);
  return !qv::begin_run(run).has_value();
}

int time_main_cycle(const std::string& dir, const std::string& report, char* argv0) {
  char* own_name[] = {argv0, nullptr};  // the run sees no arguments
  std::unique_ptr<qv::RealPlatform> real = qv::make_real_platform(1, own_name);
  auto run = std::make_unique<qv::Run>(real->platform());
  if (!begin_run_in(*run, dir)) {
    std::cerr << "cycle_bench: the run ended before its main cycle\n";
    return 1;
  }
  const long start_peak = process_peak_kib();  // read first: the reset clears it
  const bool exact_peak = reset_peak_rss();
  const CpuTimes cpu0 = cpu_now();
  const auto wall0 = std::chrono::steady_clock::now();
  qv::run_main_cycle(*run);
  const auto wall1 = std::chrono::steady_clock::now();
  const CpuTimes cpu1 = cpu_now();
  const double user = cpu1.user - cpu0.user, sys = cpu1.sys - cpu0.sys;
  const long cycle_peak = exact_peak ? peak_rss_since_reset_kib() : -1;
  const long whole_peak = std::max({start_peak, cycle_peak, process_peak_kib()});
  std::ostringstream line;
  line << std::fixed << std::setprecision(6)
       << "wall_s=" << std::chrono::duration<double>(wall1 - wall0).count()
       << " cpu_s=" << user + sys << " user_s=" << user << " sys_s=" << sys
       << " cycle_peak_kib=" << cycle_peak << " process_peak_kib=" << whole_peak
       << " exit=" << run->state.exit_code << " found=" << run->state.found_files
       << " bytes=" << run->state.byte_count;
  const bool written = write_report(report, line.str());
  // Headless, nothing is left to tidy up: end at once instead of waiting up
  // to 3 s for the drawing threads to wake. A terminal is given back whole.
  if (!run->os.console.interactive()) std::_Exit(written ? 0 : 1);
  run->drawing.clock_stop = true;
  run->drawing.title_stop = true;
  run.reset();
  return written ? 0 : 1;
}

// Makes the benchmark's data files: the same pseudo-random block in each.
int make_files(const std::string& dir, long count, long bytes, const std::string& prefix) {
  std::vector<char> block(std::min<long>(bytes, 1L << 20) + 1);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (char& c : block) {
    x ^= x << 13, x ^= x >> 7, x ^= x << 17;
    c = static_cast<char>(x);
  }
  char name[64];
  for (long i = 0; i < count; ++i) {
    std::snprintf(name, sizeof name, "/%s%07ld.dat", prefix.c_str(), i);
    const std::string path = dir + name;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return 1;
    for (long left = bytes; left > 0;) {
      const long n = std::min<long>(left, static_cast<long>(block.size()) - 1);
      if (::write(fd, block.data() + (i % 2), static_cast<size_t>(n)) != n) {
        ::close(fd);
        return 1;
      }
      left -= n;
    }
    if (::close(fd) != 0) return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 5 && args[0] == "--make") {
    const long count = std::atol(args[2].c_str()), bytes = std::atol(args[3].c_str());
    if (count < 0 || bytes < 0 || args[4].size() > 40) return 2;
    return make_files(args[1], count, bytes, args[4]);
  }
  std::string report;
  if (args.size() == 3 && args[0] == "--report") {
    report = args[1];
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() != 1) {
    std::cerr << "usage: cycle_bench [--report FILE] RUN_DIR | --make DIR COUNT BYTES PREFIX\n";
    return 2;
  }
  return time_main_cycle(args[0], report, argv[0]);
}
