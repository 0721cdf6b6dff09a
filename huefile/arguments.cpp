#include "huefile/arguments.h"

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>

namespace {

std::string Utf8Of(const wchar_t *wide)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(length, 1)), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide, -1, text.data(), length, nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

std::vector<std::string> SystemArguments(int argc, char **argv)
{
    int count = 0;
    wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return std::vector<std::string>(argv, argv + argc);
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i)
        texts.push_back(Utf8Of(wide[i]));
    LocalFree(wide);
    return texts;
}

} // namespace
#else
namespace {

std::vector<std::string> SystemArguments(int argc, char **argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

} // namespace
#endif

Utf8Arguments::Utf8Arguments(int argc, char **argv) : m_texts(SystemArguments(argc, argv))
{
    for (std::string &text : m_texts)
        m_pointers.push_back(text.data());
    m_pointers.push_back(nullptr);
}
