#pragma once

#include <QString>
#include <string>

// A name typed or picked in the window, in the form the file layer takes: UTF-8 on Windows,
// whose 8-bit code pages cannot spell every name, and the C library's own encoding elsewhere.
inline std::string FileLayerName(const QString &name)
{
#ifdef _WIN32
    return name.toStdString();
#else
    return name.toLocal8Bit().toStdString();
#endif
}

// A name the file layer gives back, as the window shows it.
inline QString FileNameFromLayer(const std::string &name)
{
#ifdef _WIN32
    return QString::fromStdString(name);
#else
    return QString::fromLocal8Bit(name.data(), static_cast<qsizetype>(name.size()));
#endif
}

// The same for a file the window reads whole. The file layer reads "-" as the standard input,
// which the window never means: there it is a file of that name in the current folder.
inline std::string FileLayerInputName(const QString &name)
{
    return name == "-" ? "./-" : FileLayerName(name);
}
