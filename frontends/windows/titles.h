#pragma once

#include <QString>

// Titles of the program's message boxes.

// Device-level notices.
inline const QString kDeviceTitle = QStringLiteral("TARVIK-5120-300");
// The boxes that name no title of their own.
inline const QString kAppTitle = QStringLiteral("TARVIK-5120-300");
// EDID file loads and the IR code window's exit notice.
inline const QString kEdidFileTitle = QStringLiteral("TARVIK-QE7");
