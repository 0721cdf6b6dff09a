#pragma once

#include <string>
#include <string_view>

// The standard streams of a program run from a shell or a script, which may have closed any of
// them or pointed them at a full device, and from libraries that write to them on their own.

// Whether the caller left this standard stream closed. Ask before OpenClosedStandardStreams,
// which fills it.
bool StandardStreamClosed(int stream);

// Writes every byte to the descriptor. Empty when they all went, or why they did not, in a few
// lower-case words.
std::string WriteWhole(int descriptor, std::string_view bytes);

// While an object lives, whatever libraries write to standard error of their own accord goes
// to the null device: their lines would break the rule of one line for one error. The
// program's own messages go to CallersStandardError().
class LibraryMessagesSilenced {
public:
    LibraryMessagesSilenced();
    ~LibraryMessagesSilenced();
    LibraryMessagesSilenced(const LibraryMessagesSilenced &) = delete;
    LibraryMessagesSilenced &operator=(const LibraryMessagesSilenced &) = delete;
};

// Standard error as the caller gave it, whether or not library messages are silenced.
int CallersStandardError();
