#pragma once

#include "huefile/expected.h"
#include "huefile/hue_entry.h"

#include <string_view>
#include <vector>

// The colours a piece of text names, in order, as screen colours with 8-bit channels, or why
// it names none. Accepted are "#rrggbb", "rrggbb", "#rgb", "r g b" triples of 0 to 255 and
// "rgb(r, g, b)", separated by line breaks, commas, semicolons or blanks, and the whole text of
// a GIMP, JASC or hex palette. Anything else refuses the whole text, so that a paste never
// takes part of what the user meant.
Expected<std::vector<DisplayColour>> ColoursFromText(std::string_view text);

// The one colour a text names, read as above; a text that names several is refused.
Expected<DisplayColour> ColourFromText(std::string_view text);
