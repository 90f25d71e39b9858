// The clock fields: the date and time that the macros read. Written by the
// clock thread, read by the main thread, always as one consistent record.
#pragma once

#include <mutex>

#include "platform/system.h"

namespace qv {

class ClockFields {
 public:
  // One consistent reading of all eight fields.
  LocalTime get() const {
    std::lock_guard<std::mutex> g(m_);
    return t_;
  }
  // Stores year, month, day and weekday of `t`.
  void set_date(const LocalTime& t) {
    std::lock_guard<std::mutex> g(m_);
    t_.year = t.year, t_.month = t.month, t_.day = t.day, t_.weekday = t.weekday;
  }
  // Stores hour, minute, second and hundredths of `t`.
  void set_time(const LocalTime& t) {
    std::lock_guard<std::mutex> g(m_);
    t_.hour = t.hour, t_.minute = t.minute, t_.second = t.second, t_.hundredths = t.hundredths;
  }

 private:
  mutable std::mutex m_;
  LocalTime t_;
};

}  // namespace qv
