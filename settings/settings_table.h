// Keys, defaults and value parsers of the settings table.
#pragma once

#include <cstdint>

#include "settings/settings.h"

namespace qv {

enum class SettingOutcome { kAccepted, kUnknownVariable, kBadBoolean, kBadInteger };

void set_defaults(Settings& s);
SettingOutcome apply_setting(Settings& s, const Text& key, const Text& value);
bool parse_boolean(const Text& text, bool& value);
bool parse_integer(const Text& text, int32_t& value);

}  // namespace qv
