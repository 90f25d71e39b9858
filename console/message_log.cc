#include "console/message_log.h"

#include <cstdio>

namespace qv {

namespace {

// A line longer than this is cut: a message holds at most a few paths.
constexpr std::size_t kMaxLineBytes = 2048;
// Lines waiting to be written; more are dropped until the next write.
constexpr std::size_t kMaxPendingLines = 256;

// Red text, text on red and yellow text are errors, refusals and warnings.
bool error_colour(uint8_t attribute) {
  const uint8_t foreground = attribute & 0x0F;
  const uint8_t background = attribute >> 4;
  return foreground == kRed || background == kRed || foreground == kYellow;
}

bool wanted(LogDetail detail, LogLineKind kind) {
  return detail == LogDetail::kFull || kind != LogLineKind::kInfo;
}

}  // namespace

std::string log_stamp(const LocalTime& t) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year % 10000, t.month % 100,
                t.day % 100, t.hour % 100, t.minute % 100, t.second % 100);
  return buf;
}

MessageLog::MessageLog(LogFile& file, Clock& clock) : file_(file), clock_(clock) {}

void MessageLog::start(const Text& path, LogDetail detail) {
  std::lock_guard<std::mutex> g(mutex_);
  path_ = path;
  detail_ = detail;
  active_ = true;
  failing_ = false;
  failure_news_ = false;
  open_ = Line{};
  finished_.clear();
}

void MessageLog::stop() {
  std::lock_guard<std::mutex> g(mutex_);
  active_ = false;
  open_ = Line{};
  finished_.clear();
}

bool MessageLog::active() const {
  std::lock_guard<std::mutex> g(mutex_);
  return active_;
}

void MessageLog::mark(LogLineKind kind) {
  std::lock_guard<std::mutex> g(mutex_);
  open_.kind = kind;
  open_.marked = true;
}

void MessageLog::set_quiet(bool quiet) {
  std::lock_guard<std::mutex> g(mutex_);
  quiet_ = quiet;
}

bool MessageLog::quiet() const {
  std::lock_guard<std::mutex> g(mutex_);
  return quiet_;
}

void MessageLog::text(std::string_view cp866, uint8_t attribute) {
  std::lock_guard<std::mutex> g(mutex_);
  if (!active_ || quiet_) return;
  for (char c : cp866) {
    if (open_.text.empty()) open_.stamp = clock_.local_time();
    if (open_.text.size() < kMaxLineBytes) open_.text += c;
    if (!open_.marked && error_colour(attribute)) open_.kind = LogLineKind::kError;
  }
}

void MessageLog::boundary() {
  std::lock_guard<std::mutex> g(mutex_);
  finish_line_locked();
}

// The open line joins the finished ones; an empty one is no line. A mark
// on it is used up either way.
void MessageLog::finish_line_locked() {
  if (!open_.text.empty() && finished_.size() < kMaxPendingLines) {
    finished_.push_back(std::move(open_));
  }
  open_ = Line{};
}

void MessageLog::write_pending() {
  std::vector<Line> lines;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!active_) return;
    finish_line_locked();
    lines.swap(finished_);
  }
  for (const Line& line : lines) append(line);
}

void MessageLog::write_now(std::string_view cp866, LogLineKind kind) {
  Line line;
  line.text = cp866;
  line.stamp = clock_.local_time();
  line.kind = kind;
  if (active()) append(line);
}

bool MessageLog::failure_news() const {
  std::lock_guard<std::mutex> g(mutex_);
  return failure_news_;
}

void MessageLog::failure_reported() {
  std::lock_guard<std::mutex> g(mutex_);
  failure_news_ = false;
}

// Appends one line if the detail asks for it; the file is opened and closed
// for it alone. A failure is news only after a write that worked, or first.
void MessageLog::append(const Line& line) {
  Text path;
  {
    std::lock_guard<std::mutex> g(mutex_);
    if (!wanted(detail_, line.kind)) return;
    path = path_;
  }
  std::string record = log_stamp(line.stamp);
  record += ' ';
  record += line.text;
  bool ok = file_.append_line(path, record);
  std::lock_guard<std::mutex> g(mutex_);
  if (!ok && !failing_) failure_news_ = true;
  failing_ = !ok;
}

}  // namespace qv
