#include "settings/macros.h"

#include <string>

#include "console/time_text.h"
#include "platform/cp866.h"

namespace qv {

namespace {

enum class MacroValue {
  kYear,
  kMonth,
  kMonthChar,
  kDay,
  kDayChar,
  kHour,
  kHourChar,
  kMinute,
  kSecond,
  kNumberFile,
  kProgramPath,
  kStartPath,
};

struct Macro {
  std::string_view first;
  std::string_view second;
  MacroValue value;
};

// Worked off in this order, the first name of each row before the second.
const Macro kMacros[] = {
    {"<ГОД>"_oem, "<YEAR>", MacroValue::kYear},
    {"<МЕСЯЦ>"_oem, "<MONTH>", MacroValue::kMonth},
    {"<МЕСЯЦ_СИМВ>"_oem, "<MONTH_CHAR>", MacroValue::kMonthChar},
    {"<ДЕНЬ>"_oem, "<DAY>", MacroValue::kDay},
    {"<ДЕНЬ_СИМВ>"_oem, "<DAY_CHAR>", MacroValue::kDayChar},
    {"<ЧАС>"_oem, "<HOUR>", MacroValue::kHour},
    {"<ЧАС_СИМВ>"_oem, "<HOUR_CHAR>", MacroValue::kHourChar},
    {"<МИН>"_oem, "<MIN>", MacroValue::kMinute},
    {"<СЕК>"_oem, "<SEC>", MacroValue::kSecond},
    {"<NUMBER_FILE>", "<НОМЕР_ФАЙЛА>"_oem, MacroValue::kNumberFile},
    {"<PROGRAMM_PATH>", "<КАТАЛОГ_ПРОГРАММЫ>"_oem, MacroValue::kProgramPath},
    {"<START_PATH>", "<СТАРТОВЫЙ_КАТАЛОГ>"_oem, MacroValue::kStartPath},
};

// The year without its first two characters: 2026 gives "26", 0 gives "".
Text short_year(int32_t year) {
  std::string s = std::to_string(year);
  return Text(std::string_view(s).substr(s.size() < 2 ? s.size() : 2));
}

Text macro_value(Run& run, const LocalTime& t, MacroValue v) {
  switch (v) {
    case MacroValue::kYear:
      return short_year(t.year);
    case MacroValue::kMonth:
      return two_digits(t.month);
    case MacroValue::kMonthChar:
      return char_code(t.month);
    case MacroValue::kDay:
      return two_digits(t.day);
    case MacroValue::kDayChar:
      return char_code(t.day);
    case MacroValue::kHour:
      return two_digits(t.hour);
    case MacroValue::kHourChar:
      return char_code(t.hour);
    case MacroValue::kMinute:
      return two_digits(t.minute);
    case MacroValue::kSecond:
      return two_digits(t.second);
    case MacroValue::kNumberFile:
      return Text(std::to_string(run.state.found_files));
    case MacroValue::kProgramPath:
      return run.program_dir;
    case MacroValue::kStartPath:
      return run.start_dir;
  }
  return Text();
}

// Replaces every occurrence of one macro name. The search goes on behind the
// value just inserted, so a value that holds a macro name (a directory named
// like one) is never expanded again and the expansion always ends.
void replace_name(Run& run, const LocalTime& t, Text& text, std::string_view name, MacroValue v) {
  std::size_t from = 0;
  for (;;) {
    std::size_t at = text.view().find(name, from);
    if (at == std::string_view::npos) return;
    Text value = macro_value(run, t, v);
    text.erase(at, name.size());
    text.insert(at, value.view());
    from = at + value.size();
  }
}

}  // namespace

Text expand_macros(Run& run, const Text& text) {
  const LocalTime t = run.clock.get();  // one consistent reading for the whole text
  Text out = text;
  for (const Macro& m : kMacros) {
    replace_name(run, t, out, m.first, m.value);
    replace_name(run, t, out, m.second, m.value);
  }
  return out;
}

Text char_code(int32_t n) {
  if (n >= 0 && n <= 9) return Text(std::string(1, static_cast<char>('0' + n)));
  if (n >= 10 && n <= 35) return Text(std::string(1, static_cast<char>('A' + n - 10)));
  return Text();
}

void macro_refresh(Run& run) {
  time_text(run);
  run.clock.set_date(run.os.clock.local_time());
  Settings& s = run.settings;
  for (Text* field :
       {&s.log_name, &s.name_batnik, &s.mask_sopr, &s.exclude_uncheck, &s.create_dir}) {
    *field = expand_macros(run, *field);
  }
}

}  // namespace qv
