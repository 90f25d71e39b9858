// The headless console: no screen is drawn; what the main thread writes
// through its text windows goes to standard output as UTF-8, and keys are
// bytes on standard input (end of input is never a key).
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include "platform/cp866.h"
#include "platform/posix/posix_internal.h"

namespace qv::posix {
namespace {

class HeadlessConsole;
HeadlessConsole* g_flush_at_exit = nullptr;
// Writes out the transcript of the console still alive when the process ends.
void flush_at_exit();

class HeadlessConsole : public ConsoleDevice {
 public:
  HeadlessConsole(int in_fd, int out_fd, const std::atomic<bool>& stop)
      : in_(in_fd), out_(out_fd), stop_(stop) {
    if (g_flush_at_exit == nullptr) g_flush_at_exit = this;
    static const bool registered = std::atexit(flush_at_exit) == 0;
    (void)registered;
  }
  ~HeadlessConsole() override {
    flush();
    if (g_flush_at_exit == this) g_flush_at_exit = nullptr;
  }

  bool interactive() const override { return false; }
  void present(const CellGrid&) override {}
  void set_cursor_visible(bool) override {}
  void suspend() override { flush(); }
  void resume() override {}

  // Written at once, unfinished line or not: a service's log never lags a
  // message behind, and a killed process leaves every message it wrote.
  void transcript(std::string_view cp866) override {
    std::lock_guard<std::mutex> hold(out_mutex_);
    pending_out_ += cp866_to_glyphs_utf8(cp866);
    write_out();
  }

  void transcript_line_break() override {
    std::lock_guard<std::mutex> hold(out_mutex_);
    pending_out_ += '\n';
    write_out();
  }

  bool key_waiting() override {
    std::lock_guard<std::mutex> hold(in_mutex_);
    if (key_ || at_end_) return key_;
    struct pollfd p = {in_, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0) return false;
    if (p.revents & POLLNVAL) {
      at_end_ = true;
      return false;
    }
    char byte;
    ssize_t n = ::read(in_, &byte, 1);
    if (n == 1) key_ = true;
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) at_end_ = true;
    return key_;
  }

  void wait_key() override {
    flush();
    while (!key_waiting() && !input_ended() && !stop_.load()) {
      struct pollfd p = {in_, POLLIN, 0};
      ::poll(&p, 1, 100);
    }
  }

  // Writes out what the transcript holds, complete line or not.
  void flush() {
    std::lock_guard<std::mutex> hold(out_mutex_);
    write_out();
  }

 private:
  bool input_ended() {
    std::lock_guard<std::mutex> hold(in_mutex_);
    return at_end_;
  }

  void write_out() {
    std::size_t done = 0;
    while (done < pending_out_.size()) {
      ssize_t n = ::write(out_, pending_out_.data() + done, pending_out_.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // a closed output loses the transcript, never the run
      done += static_cast<std::size_t>(n);
    }
    pending_out_.clear();
  }

  int in_, out_;
  const std::atomic<bool>& stop_;
  std::mutex in_mutex_, out_mutex_;
  std::string pending_out_;
  bool key_ = false;
  bool at_end_ = false;
};

void flush_at_exit() {
  if (g_flush_at_exit != nullptr) g_flush_at_exit->flush();
}

}  // namespace

std::unique_ptr<ConsoleDevice> make_headless_console(int in_fd, int out_fd,
                                                     const std::atomic<bool>& stop) {
  return std::make_unique<HeadlessConsole>(in_fd, out_fd, stop);
}

}  // namespace qv::posix
