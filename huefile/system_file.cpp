#include "huefile/system_file.h"

#include <utility>

// Moving and closing are the same on every system; only close() itself asks the system.

SystemFile::SystemFile(SystemFile &&other) noexcept : m_handle(std::exchange(other.m_handle, -1)) {}

SystemFile &SystemFile::operator=(SystemFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, -1);
    }
    return *this;
}

SystemFile::~SystemFile()
{
    close();
}
