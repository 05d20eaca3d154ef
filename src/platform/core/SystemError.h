#pragma once

#include <QString>

#include <cstring>

// The system's own words for an errno value, in the user's locale.
inline QString systemErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}
