#pragma once

#include "huefile/formats/patch.h"

#include <optional>
#include <string_view>

// The names a patch document gives its values, for its writer and both its readers.
namespace PatchKey {
inline constexpr std::string_view Version = "colvane-patch";
inline constexpr std::string_view Entries = "entries";
inline constexpr std::string_view Entry = "entry";
inline constexpr std::string_view Before = "before";
inline constexpr std::string_view After = "after";
inline constexpr std::string_view Name = "name";
inline constexpr std::string_view NameBytes = "name-bytes";
inline constexpr std::string_view Words = "words";
inline constexpr std::string_view Carried = "carried";
} // namespace PatchKey

// The only version written and read.
constexpr int PatchVersion = 1;

// A patch read as WritePatch lays it out, byte for byte, with no json tokenizer: the shape every
// patch this program writes has, read at a tenth of a general parse's cost. nullopt for any
// other text, which the document reader then reads (and judges) instead; the fuzz target checks
// that what this accepts, that reader accepts alike. The entries come in the document's order.
std::optional<Patch> ReadWrittenPatch(std::string_view document);
