// The fake platform: an in-memory file system with drive letters and fault
// injection, a console that records what is presented and written, keys that
// a test presses, a virtual clock whose sleeps cost nothing, and a process
// runner that records the commands it is asked to run.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/fake_log_file.h"

namespace qv::fake {

// Operations of the fake file system that a fault can be injected into.
// Operations reached by a path, a Dir or a File alike share one entry.
enum class FsOp {
  kOpenDir,      // FileSystem::open_dir, Dir::open_dir
  kStat,         // FileSystem::stat, Dir::stat
  kOpenRead,     // FileSystem::open_read, Dir::open_read
  kOpenSource,   // Dir::open_source
  kList,         // Dir::list
  kMakeDir,      // Dir::make_dir
  kRemoveDir,    // Dir::remove_dir
  kMakeHoldDir,  // Dir::make_hold_dir
  kCreateTemp,   // Dir::create_temp
  kPublish,      // Dir::publish
  kRename,       // Dir::rename
  kSync,         // Dir::sync
  kRead,
  kWrite,
  kFlush,
  kSetAttributes,
  kSetMtime,
  kHeld,    // File::held answers false
  kMoveTo,  // File::move_to
  kRemove,  // File::remove
  kDriveSpace,
};

// A Windows-like file system in memory: paths "D:\DIR\NAME.EXT" (also with
// '/'), names compared case-insensitively and stored as created; each drive
// letter is a file system of its own. Dir and File handles refer to the
// directory or file itself, so they keep working after its path was renamed.
class FakeFileSystem : public FileSystem {
 public:
  FakeFileSystem();  // drive C: exists, 1 GiB total, 512 MiB free
  ~FakeFileSystem() override;

  // --- set-up and inspection for tests ---
  void add_drive(char letter, uint64_t total, uint64_t free);
  void set_free(char letter, uint64_t free);
  // Creates a file (and its missing parent directories) with content; a file
  // already under that name is replaced, as when another program renames a
  // new file over it.
  void add_file(const std::string& path, const std::string& content,
                uint32_t attributes = kAttrArchive, int64_t mtime_ns = 1'700'000'000'000'000'000);
  void add_dir(const std::string& path);  // with its parents
  bool exists(const std::string& path) const;
  bool is_dir(const std::string& path) const;
  std::string content(const std::string& path) const;  // "" when missing
  uint32_t attributes(const std::string& path) const;  // 0 when missing
  int64_t mtime(const std::string& path) const;
  // Every name below a directory, as full paths, sorted (for asserting effects).
  std::vector<std::string> list(const std::string& dir) const;
  // Another program holds this file open: taking it fails with kLocked.
  void set_locked(const std::string& path, bool locked);
  // Another program asks to open or write this file: a source opened before
  // is no longer held().
  void touch_by_other(const std::string& path);
  // Another program renames a file or directory, replacing a file at `to`.
  void move_by_other(const std::string& from, const std::string& to);
  // Fails the nth call (1 = the next one) of `op` from now on with `error`;
  // persistent: that call and every later one. Only calls whose path (either
  // path, for a rename) contains `path_part` count (empty = all). For kWrite
  // the nth write writes half of what it is given (a short write, as on a
  // full disk); for kHeld the answer is false.
  void fail(FsOp op, int nth, Error error, bool persistent = false,
            const std::string& path_part = "");
  // The same countdown, but the nth call first runs `action` (what another
  // program does at that moment) and then goes on as usual.
  void at_call(FsOp op, int nth, std::function<void()> action, const std::string& path_part = "");
  void clear_faults();
  // Number of calls of `op` made so far.
  int calls(FsOp op) const;
  std::vector<std::string> directories_made() const;

  // --- FileSystem ---
  std::unique_ptr<Dir> open_dir(const Text& path, Error& err) override;
  Error stat(const Text& path, FileInfo& out) override;
  std::unique_ptr<File> open_read(const Text& path, Error& err) override;
  DriveSpace drive_space(const Text& path) override;

  struct State;  // shared with the open directories and files

 private:
  std::shared_ptr<State> s_;
};

// A console that keeps the last presented grid and the transcript (UTF-8).
class FakeConsole : public ConsoleDevice {
 public:
  explicit FakeConsole(bool interactive = false) : interactive_(interactive) {}
  bool interactive() const override { return interactive_; }
  void present(const CellGrid& cells) override;
  void transcript(std::string_view cp866) override;
  void transcript_line_break() override;
  void set_cursor_visible(bool visible) override { cursor_visible_ = visible; }
  bool key_waiting() override;
  void wait_key() override;
  void suspend() override { ++suspends_; }
  void resume() override { ++resumes_; }

  // --- for tests ---
  // The key becomes waiting after `after_checks` more key_waiting() calls.
  void press_key(int after_checks = 0);
  // wait_key() calls made so far.
  int waits() const { return waits_; }
  std::string transcript_utf8() const;  // everything written, as UTF-8
  // Row (1..25) of the last presented grid, as UTF-8 (80 characters).
  std::string row(int y) const;
  Cell cell(int x, int y) const;
  bool cursor_visible() const { return cursor_visible_; }
  int presents() const { return presents_; }

 private:
  bool interactive_;
  mutable std::mutex m_;
  CellGrid grid_{};
  std::string transcript_;  // UTF-8, control bytes as their glyphs
  int key_countdown_ = -1;  // -1: no key
  int waits_ = 0, presents_ = 0, suspends_ = 0, resumes_ = 0;
  bool cursor_visible_ = true;
};

// A virtual clock: sleep_ms() advances the time at once; thread-safe.
class FakeClock : public Clock {
 public:
  FakeClock();  // Saturday, 5 December 2026, 14:07:09.00
  LocalTime local_time() override;
  int64_t monotonic_ms() override { return now_ms_.load(); }
  // The local time read as UTC: the fake knows no time zone.
  int64_t now_ns() override;
  void sleep_ms(int64_t ms) override;

  void set(const LocalTime& t);  // jumps to that local date and time
  void advance_ms(int64_t ms);
  int64_t slept_ms() const { return slept_.load(); }  // total of all sleeps

 private:
  std::atomic<int64_t> now_ms_;  // milliseconds since the epoch of set()
  std::atomic<int64_t> slept_{0};
  mutable std::mutex m_;
  LocalTime base_;
};

class FakeEnvironment : public Environment {
 public:
  std::optional<std::string> get(const char* name) override;
  std::string executable_path() override { return exe; }
  Text current_directory() override { return cwd; }
  std::vector<std::string> arguments() override { return args; }
  bool utf8_text_files() const override { return utf8_text; }

  std::map<std::string, std::string> vars;  // CP866 values
  std::string exe = "C:\\QV\\QUORVANE.EXE";
  Text cwd = "C:\\WORK";
  std::vector<std::string> args;
  bool utf8_text = false;  // text files as on POSIX
};

class FakeProcess : public Process {
 public:
  bool run_command(const Text& command_line) override;
  std::unique_ptr<NamedLock> named_lock(const char* name) override;
  bool stop_requested() override { return stop.load(); }

  std::vector<std::string> commands;  // what run_command was given (CP866)
  std::function<void()> on_run;       // called inside run_command, if set
  bool can_start = true;              // false: run_command fails
  std::atomic<bool> stop{false};
};

// Everything together, ready to hand to a Run.
struct FakePlatform {
  explicit FakePlatform(bool interactive = false) : console(interactive) {}
  FakeFileSystem fs;
  FakeConsole console;
  FakeEnvironment env;
  FakeClock clock;
  FakeProcess process;
  FakeLogFile log;
  Platform platform{fs, console, env, clock, process, log};
};

}  // namespace qv::fake
