#pragma once

#include <QLatin1String>
#include <QString>
#include <array>

// The label of an entry's row: the number right-aligned in five places, then the same number
// in lower-case hexadecimal behind a "0" prefix, e.g. "   10 [000a]".
QString BrowserLabel(int entryNumber);

// The same label in a buffer of its own, for painting, where building a string for every row
// would cost more than the row's other text work together.
class BrowserLabelText {
public:
    explicit BrowserLabelText(int entryNumber);
    QLatin1String text() const { return QLatin1String(m_text.data(), m_length); }

private:
    std::array<char, 32> m_text{};
    int m_length = 0;
};
