#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The window's arguments are decided before the toolkit starts, since the toolkit needs a
// display: --help and --version answer on `out` without one, and an argument that neither the
// program nor the toolkit takes is refused on `err` with a usage line and status 2. Returns
// the exit status when the program ends here, or nothing when the window is to open; the
// toolkit's own options are left for it.
std::optional<int> AnswerWithoutWindow(const std::vector<std::string> &arguments,
                                       const std::string &version, std::ostream &out,
                                       std::ostream &err);
