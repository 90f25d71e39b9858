// The fake platform: an in-memory file system with drive letters and fault
// injection, a console that records what is presented and written, keys that
// a test presses, a virtual clock whose sleeps cost nothing, a process runner
// that records its commands, and a log file kept in memory.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace qv::fake {

// Operations of the fake file system a fault can be injected into; a call by
// path, through a Dir or through a File counts alike. A failing kWrite writes
// half of what it is given; a failing kHeld answers false.
enum class FsOp {
  kOpenRead,
  kOpenSource,
  kList,
  kMakeDir,
  kMakeHoldDir,
  kCreateTemp,
  kPublish,
  kSync,
  kRead,
  kWrite,
  kFlush,
  kCommit,  // of a whole file system
  kSetMtime,
  kHeld,
  kMoveTo,
  kRemove
};

// A Windows-like file system in memory: paths "D:\DIR\NAME" (also with '/';
// one without a drive lies on C:), names compared case-insensitively and kept
// as created, each drive a file system of its own. A Dir or File is the
// object itself: renaming its path changes nothing for it.
class FakeFileSystem : public FileSystem {
 public:
  FakeFileSystem();  // drive C: exists, 1 GiB total, 512 MiB free
  ~FakeFileSystem() override;

  // --- set-up and inspection for tests ---
  void add_drive(char letter, uint64_t total, uint64_t free);
  void set_free(char letter, uint64_t free);
  // Creates a file and its missing parents; one already there is replaced,
  // as when another program renames a new file over it.
  void add_file(const std::string& path, const std::string& content,
                uint32_t attributes = kAttrArchive, int64_t mtime_ns = 1'700'000'000'000'000'000);
  void add_dir(const std::string& path);  // with its parents
  bool exists(const std::string& path) const;
  std::string content(const std::string& path) const;  // "" when missing
  uint32_t attributes(const std::string& path) const;  // 0 when missing
  int64_t mtime(const std::string& path) const;
  // Every path below a directory, sorted.
  std::vector<std::string> list(const std::string& dir) const;
  // Another program holds this file open (or lets it go): taking it fails
  // with kLocked (a persistent fault of kOpenSource on that path).
  void set_locked(const std::string& path, bool locked);
  // Another program asks to open this file: a source taken before is no
  // longer held().
  void touch_by_other(const std::string& path);
  // Another program renames a file or directory, replacing a file at `to`.
  void move_by_other(const std::string& from, const std::string& to);
  // Fails the nth call (1 = the next one) of `op` with `error`; persistent:
  // that call and every later one. Only calls whose path (either path, for a
  // move) contains `path_part` count (empty = all).
  void fail(FsOp op, int nth, Error error, bool persistent = false,
            const std::string& path_part = "");
  // The same countdown, but the nth call first runs `action` (what another
  // program does at that moment) and then goes on as usual.
  void at_call(FsOp op, int nth, std::function<void()> action, const std::string& path_part = "");
  void clear_faults();
  int calls(FsOp op) const;  // calls of `op` so far

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
  void suspend() override {}
  void resume() override {}

  // --- for tests ---
  // The key becomes waiting after `after_checks` more key_waiting() calls.
  void press_key(int after_checks = 0);
  int waits() const { return waits_; }  // wait_key() calls so far
  std::string transcript_utf8() const;  // control bytes as their glyphs
  // Row (1..25) of the last presented grid, as UTF-8 (80 characters).
  std::string row(int y) const;
  Cell cell(int x, int y) const;  // columns 1..80, rows 1..25
  bool cursor_visible() const { return cursor_visible_; }

 private:
  bool interactive_;
  mutable std::mutex m_;
  CellGrid grid_{};
  std::string transcript_;
  int key_countdown_ = -1;  // -1: no key
  int waits_ = 0;
  bool cursor_visible_ = true;
};

// A virtual clock: sleep_ms() advances the time at once; thread-safe.
class FakeClock : public Clock {
 public:
  FakeClock();  // Saturday, 5 December 2026, 14:07:09.00
  LocalTime local_time() override;
  int64_t monotonic_ms() override { return now_ms_.load(); }
  int64_t now_ns() override;  // the local time read as UTC
  void sleep_ms(int64_t ms) override;

  void set(const LocalTime& t);  // the local time jumps; monotonic time runs on
  int64_t slept_ms() const { return slept_.load(); }  // total of all sleeps

 private:
  std::atomic<int64_t> now_ms_{0}, slept_{0};
  std::atomic<int64_t> base_ms_;  // local time at monotonic 0, ms since 1970
};

class FakeEnvironment : public Environment {
 public:
  std::optional<std::string> get(const char* name) override;
  std::string executable_path() override { return exe; }
  Text current_directory() override { return Text("C:\\WORK"); }
  std::vector<std::string> arguments() override { return args; }
  bool utf8_text_files() const override { return utf8_text; }

  std::map<std::string, std::string> vars;  // CP866 values
  std::string exe = "C:\\QV\\QUORVANE.EXE";
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
  std::atomic<bool> stop{false};
};

// Keeps the appended lines per path; paths marked unwritable fail.
class FakeLogFile : public LogFile {
 public:
  bool append_line(const Text& path, std::string_view cp866_line) override;
  std::vector<std::string> lines(const std::string& path) const;  // as UTF-8
  void set_unwritable(const std::string& path, bool unwritable = true);

 private:
  std::map<std::string, std::vector<std::string>> files_;  // CP866 lines
  std::set<std::string> unwritable_;
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
