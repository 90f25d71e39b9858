// Keys, defaults and value parsers of the settings table.
#pragma once

#include <cstdint>

#include "settings/settings.h"

namespace qv {

enum class SettingOutcome { kAccepted, kUnknownVariable, kBadBoolean, kBadInteger, kBadText };

// Gives every setting its default.
void set_defaults(Settings& s);
// Stores one value under an upper-case key; says what became of it.
SettingOutcome apply_setting(Settings& s, const Text& key, const Text& value);
// Yes/Up/Hi/1 and No/Down/Low/0, in either language and any case.
bool parse_boolean(const Text& text, bool& value);
// Decimal or $hexadecimal, 0 to 2147483647; value 0 when not valid.
bool parse_integer(const Text& text, int32_t& value);
// True when a CREATE_DIR value names a sub-directory: at least one level
// between its separators, and none of them "." or "..".
bool names_sub_directory(const Text& value);

}  // namespace qv
