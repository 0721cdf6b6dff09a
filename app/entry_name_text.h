#pragma once

#include "huefile/formats/entry_name.h"

#include <QString>

// An entry's stored name as the window shows it: each byte one Latin-1 character.
inline QString StoredNameText(const HueEntry &entry)
{
    const std::string name = StoredName(entry);
    return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size()));
}

// The name the window shows, stored byte for byte with zeroes after it.
inline void StoreNameText(HueEntry &entry, const QString &name)
{
    const QByteArray latin1 = name.toLatin1();
    StoreName(entry, std::string_view(latin1.constData(), static_cast<std::size_t>(latin1.size())));
}
