#pragma once

#include <string>
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

// Writes every byte to the descriptor. Empty when they all went, or why they did not, in a few
// lower-case words.
std::string WriteWhole(int descriptor, std::string_view bytes);
