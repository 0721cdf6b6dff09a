#pragma once

#include <string>
#include <windows.h>

// Helpers for the Windows side of the file layer alone.

// A UTF-8 name as Windows' wide calls take it.
std::wstring WideName(const std::string &fileName);
// A name from Windows' wide calls, in the file layer's encoding.
std::string Utf8Name(const std::wstring &wide);

// Leaves in errno what the last failed call of the system's means, so that the file layer
// words it as it does on every system; returns false for a caller's convenience.
bool FailWithSystemError();
// The same after a call on the name, which tells a part of the path that is a file apart.
bool FailWithSystemErrorFor(const std::string &fileName);

// A whole 64-bit offset as an OVERLAPPED structure carries it.
OVERLAPPED OverlappedAt(long long offset);
