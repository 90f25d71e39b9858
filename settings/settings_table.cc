#include "settings/settings_table.h"

#include <limits>
#include <string_view>
#include <type_traits>

#include "platform/cp866.h"
#include "platform/dir_search.h"
#include "script/text_utils.h"

namespace qv {

namespace {

struct BooleanWord {
  std::string_view word;
  bool value;
};

const BooleanWord kBooleanWords[] = {
    {"Yes", true},         {"Up", true},          {"Hi", true},       {"Да"_oem, true},
    {"Поднять"_oem, true}, {"Высокий"_oem, true}, {"1", true},        {"No", false},
    {"Down", false},       {"Low", false},        {"Нет"_oem, false}, {"Опустить"_oem, false},
    {"Низкий"_oem, false}, {"0", false},
};

using Apply = SettingOutcome (*)(Settings&, const Text&);

// Stores a text value, cut to the field's length.
template <Text Settings::*Field, std::size_t Max>
SettingOutcome store_text(Settings& s, const Text& value) {
  s.*Field = Text(value.view().substr(0, Max));
  return SettingOutcome::kAccepted;
}

template <bool Settings::*Field>
SettingOutcome store_boolean(Settings& s, const Text& value) {
  bool b = false;
  if (!parse_boolean(value, b)) return SettingOutcome::kBadBoolean;
  s.*Field = b;
  return SettingOutcome::kAccepted;
}

// Stores an Integer value: widened for 64-bit fields, the low 8 bits for 8-bit ones.
template <auto Field>
SettingOutcome store_integer(Settings& s, const Text& value) {
  int32_t n = 0;
  if (!parse_integer(value, n)) return SettingOutcome::kBadInteger;
  using T = std::remove_reference_t<decltype(s.*Field)>;
  s.*Field = static_cast<T>(n);
  return SettingOutcome::kAccepted;
}

SettingOutcome store_language(Settings& s, const Text& value) {
  store_text<&Settings::language, 19>(s, value);
  Text word = upper_case(s.language);
  if (word.view() == "ENGLISH") s.lang = 0;
  if (word.view() == "RUSSIAN") s.lang = 1;
  return SettingOutcome::kAccepted;
}

// The sub-directory of the CREATE_DIR policy must lead one level or more
// down: one that stays in place or climbs out would grow the chain of
// sub-directories without end or put files outside the target directory.
SettingOutcome store_create_dir(Settings& s, const Text& value) {
  if (!names_sub_directory(value)) return SettingOutcome::kBadText;
  return store_text<&Settings::create_dir, Text::kMax>(s, value);
}

SettingOutcome store_if_file_exist(Settings& s, const Text& value) {
  Text word = upper_case(value);
  if (word.view() == "CREATE_DIR") {
    s.if_file_exist = IfFileExist::kCreateDir;
  } else if (word.view() == "OVERWRITE_FILE") {
    s.if_file_exist = IfFileExist::kOverwriteFile;
  } else {
    return SettingOutcome::kBadBoolean;
  }
  return SettingOutcome::kAccepted;
}

struct Key {
  std::string_view name;
  Apply apply;
};

const Key kKeys[] = {
    {"LANGUAGE", store_language},
    {"FILE_ATTR", store_integer<&Settings::file_attr>},
    {"MULTY_TASK", store_boolean<&Settings::multy_task>},
    {"LOG_EXIST", store_boolean<&Settings::log_exist>},
    {"LOG_TYPE", store_text<&Settings::log_type, 10>},
    {"LOG_NAME", store_text<&Settings::log_name, Text::kMax>},
    {"RUN_BATNIK", store_boolean<&Settings::run_batnik>},
    {"USE_SMART_RUN", store_boolean<&Settings::use_smart_run>},
    {"VALID_EXIST_BAT", store_boolean<&Settings::valid_exist_bat>},
    {"NAME_BATNIK", store_text<&Settings::name_batnik, Text::kMax>},
    {"DELAY_BAT", store_integer<&Settings::delay_bat>},
    {"ANALIS_SOPR", store_boolean<&Settings::analis_sopr>},
    {"MASK_SOPR", store_text<&Settings::mask_sopr, Text::kMax>},
    {"FIND_UNCHECK", store_boolean<&Settings::find_uncheck>},
    {"EXCLUDE_UNCHECK", store_text<&Settings::exclude_uncheck, Text::kMax>},
    {"VALID_CYCLE_FULL_RUN", store_integer<&Settings::valid_cycle_full_run>},
    {"CODE_RETURN_CYCLE", store_integer<&Settings::code_return_cycle>},
    {"NUMBER_TIME_WORK", store_integer<&Settings::number_time_work>},
    {"CODE_RETURN_TIME", store_integer<&Settings::code_return_time>},
    {"DELAY_INTERPR", store_integer<&Settings::delay_interpr>},
    {"DELAY_COPY", store_integer<&Settings::delay_copy>},
    {"MAX_FILE_SIZE", store_integer<&Settings::max_file_size>},
    {"MAX_OUTPUT_DIR_SIZE", store_integer<&Settings::max_output_dir_size>},
    {"VALID_DRIVE", store_boolean<&Settings::valid_drive>},
    {"VALID_SPACE", store_boolean<&Settings::valid_space>},
    {"VALID_RIGHT", store_boolean<&Settings::valid_right>},
    {"RETRY_COUNT", store_integer<&Settings::retry_count>},
    {"VALID_CONTINUE", store_boolean<&Settings::valid_continue>},
    {"IF_FILE_EXIST", store_if_file_exist},
    {"CREATE_DIR", store_create_dir},
    {"MEM_INFO", store_boolean<&Settings::mem_info>},
    {"MIN_FILE_AGE", store_integer<&Settings::min_file_age>},
};

bool hex_digit(char c, uint32_t& v) {
  if (c >= '0' && c <= '9')
    v = static_cast<uint32_t>(c - '0');
  else if (c >= 'A' && c <= 'F')
    v = static_cast<uint32_t>(c - 'A' + 10);
  else if (c >= 'a' && c <= 'f')
    v = static_cast<uint32_t>(c - 'a' + 10);
  else
    return false;
  return true;
}

// "$" and one or more hexadecimal digits that fit 32 bits; the top bit makes
// the number negative.
bool parse_hex(std::string_view s, int64_t& out) {
  if (s.empty()) return false;
  uint64_t n = 0;
  for (char c : s) {
    uint32_t d = 0;
    if (!hex_digit(c, d)) return false;
    n = n * 16 + d;
    if (n > 0xFFFFFFFFu) return false;
  }
  out = static_cast<int32_t>(static_cast<uint32_t>(n));
  return true;
}

// One or more decimal digits whose value fits a 32-bit signed number.
bool parse_decimal(std::string_view s, int64_t& out) {
  if (s.empty()) return false;
  int64_t n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + (c - '0');
    if (n > std::numeric_limits<int32_t>::max()) return false;
  }
  out = n;
  return true;
}

}  // namespace

void set_defaults(Settings& s) {
  s = Settings{};
  s.language = "English";
  s.log_type = "Full";
  s.log_name = "<PROGRAMM_PATH>\\Quorvane.log";
  s.name_batnik = "<PROGRAMM_PATH>\\Quorvane.bat";
  s.mask_sopr = "*.(s)";
  s.exclude_uncheck = "";
  s.create_dir = "COPY";
}

SettingOutcome apply_setting(Settings& s, const Text& key, const Text& value) {
  for (const Key& k : kKeys) {
    if (key == k.name) return k.apply(s, value);
  }
  return SettingOutcome::kUnknownVariable;
}

bool parse_boolean(const Text& text, bool& value) {
  Text word = upper_case(text);
  for (const BooleanWord& b : kBooleanWords) {
    if (word == upper_case(Text(b.word))) {
      value = b.value;
      return true;
    }
  }
  return false;
}

bool parse_integer(const Text& text, int32_t& value) {
  value = 0;
  std::string_view s = text.view();
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int64_t n = 0;
  bool ok = !s.empty() && s.front() == '$' ? parse_hex(s.substr(1), n) : parse_decimal(s, n);
  if (!ok) return false;
  if (negative) n = -n;
  if (n < 0 || n > std::numeric_limits<int32_t>::max()) return false;
  value = static_cast<int32_t>(n);
  return true;
}

bool names_sub_directory(const Text& value) {
  std::string_view rest = value.view();
  bool has_level = false;
  while (!rest.empty()) {
    std::size_t end = 0;
    while (end < rest.size() && !is_separator(rest[end])) ++end;
    std::string_view level = rest.substr(0, end);
    if (level == "." || level == "..") return false;
    has_level = has_level || !level.empty();
    rest.remove_prefix(end < rest.size() ? end + 1 : end);
  }
  return has_level;
}

}  // namespace qv
