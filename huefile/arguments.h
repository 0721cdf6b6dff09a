#pragma once

#include <string>
#include <vector>

// A program's arguments as UTF-8 text, in the shape main() receives them. Windows hands a
// console program its arguments in the console's code page, which cannot spell every file
// name; they are read again from the wide command line. Elsewhere they stay as they came.
class Utf8Arguments {
public:
    Utf8Arguments(int argc, char **argv);
    Utf8Arguments(const Utf8Arguments &) = delete;
    Utf8Arguments &operator=(const Utf8Arguments &) = delete;

    int count() const { return static_cast<int>(m_texts.size()); }
    char **values() { return m_pointers.data(); }

private:
    std::vector<std::string> m_texts;
    std::vector<char *> m_pointers;
};
