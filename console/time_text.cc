#include "console/time_text.h"

#include <string>

namespace qv {

Text two_digits(int32_t n) {
  std::string s = std::to_string(n);
  if (s.size() == 1) s.insert(0, "0");
  return Text(s);
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
