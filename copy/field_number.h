#pragma once

#include "huefile/number_text.h"

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string_view>

// The number that a field's text stands for by the number-text rule; empty when it stands for
// none. A character outside Latin-1 turns into '?', which fails the rule just as the original
// character would.
inline std::optional<std::int32_t> FieldNumber(const QString &text)
{
    const QByteArray bytes = text.toLatin1();
    return NumberText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}
