#pragma once

// Shared by the json readers of this folder (palettes and patches); not part of the library's
// interface. A document read into a tree with the limits that untrusted input needs, refused in
// one short line of this program's own words.

#include "huefile/expected.h"

#include <nlohmann/json.hpp>
#include <string_view>

struct JsonLimits {
    // What a document nested deeper than maxDepth is not: "palette", "patch".
    const char *what;
    int maxDepth;
    // The keys kept, wherever they stand. Any other key is skipped with its value unbuilt, so an
    // object of a million keys costs no more than reading past them.
    bool (*kept)(std::string_view key);
    // Refuse a key given twice in one object, rather than keep the later value.
    bool refuseRepeatedKeys;
};

// The document, or why not: "not json: line 3, column 7: expected ':'", "nested deeper than 6
// levels, which no patch is", "\"entries\" item 2: the key \"entry\" is given twice".
Expected<nlohmann::json> ReadJsonDocument(std::string_view bytes, const JsonLimits &limits);
