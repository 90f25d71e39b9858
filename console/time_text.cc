#include "console/time_text.h"

#include <string>

namespace qv {

Text two_digits(int32_t n) {
  Text out;
  if (n >= 0 && n <= 9) out.append('0');
  out.append(std::to_string(n));
  return out;
}

Text time_text(Run& run) {
  LocalTime now = run.os.clock.local_time();
  run.clock.set_time(now);
  Text out = two_digits(now.hour);
  out.append(":");
  out += two_digits(now.minute);
  out.append(":");
  out += two_digits(now.second);
  return out;
}

}  // namespace qv
