#pragma once

#include "huefile/formats/patch.h"

#include <optional>
#include <string_view>

// A patch read as WritePatch lays it out, byte for byte, with no json tokenizer: the shape every
// patch this program writes has, read at a tenth of a general parse's cost. nullopt for any
// other text, which the general readers then read (and judge) instead; the fuzz target checks
// that what this accepts, they accept alike. The entries come in the document's order.
std::optional<Patch> ReadWrittenPatch(std::string_view document);
