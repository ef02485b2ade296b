#pragma once

#include <QString>

namespace platform {

// The programs keep their files at fixed paths on drive C ("C:\Kestro",
// "C:\Slide Shows\Screen 1 JPG\ExportSlide"). On Windows these stay as they are; elsewhere
// drive C is a folder (the user's home unless set otherwise) and backslashes become
// slashes. Paths not on drive C are returned unchanged.
QString mapDriveC(const QString &windowsPath);

// The folder that stands for drive C; empty restores the default. For tests.
void setDriveCRoot(const QString &root);
QString driveCRoot();

} // namespace platform
