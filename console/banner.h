// The start and exit banner, and the product texts.
#pragma once

#include <string_view>

#include "control/run.h"

namespace qv {

// Product title of the chosen language (ends with a blank).
std::string_view product_title(const Run& run);
// Version text of the chosen language.
std::string_view version_text(const Run& run);

void draw_banner(Run& run);
void hide_cursor(Run& run);

}  // namespace qv
