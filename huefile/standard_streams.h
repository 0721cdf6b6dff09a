#pragma once

#include "huefile/expected.h"
#include "huefile/system_file.h"

#include <cstddef>
#include <string_view>

// The standard streams of a program run from a shell or a script, which may have closed any of
// them or pointed them at a full device. They carry bytes as they are, on every system.

constexpr int StandardInput = 0;
constexpr int StandardOutput = 1;
constexpr int StandardError = 2;

// Whether the caller left this standard stream closed. Ask before OpenClosedStandardStreams,
// which fills it.
bool StandardStreamClosed(int stream);

// Whether the stream is a terminal, which shows colours, rather than a file or a pipe.
bool StandardStreamIsTerminal(int stream);

// Writes every byte to the descriptor, or says why they did not all go, in a few lower-case
// words.
Expected<void> WriteWhole(int descriptor, std::string_view bytes);

// The system's primitives the above is made of: one call each, which may do less than asked.
// The count done, 0 at the end, -1 with errno set on an error.
FileOffset ReadStandardInputPiece(char *buffer, std::size_t size);
FileOffset WriteStreamPiece(int descriptor, const char *bytes, std::size_t size);
