#pragma once
// The program's folders and files, shared by every part of the program. Start-up fills them
// (InitAppFolders); until then they point at the defaults below, so tools and tests that never
// run start-up still save into sensible places.

#include <QString>

extern QString g_strExeFolder;    // the program's folder, ending in "/"
extern QString g_strDataFolder;   // Documents/<brand folder>/
extern QString g_strImageFolder;  // g_strDataFolder + "Images/"
extern QString g_strIniPath;      // g_strDataFolder + "Setting.ini"
// The fixed file of "Save plus measure" / "Save only image", read from the settings file once.
extern QString g_strDefaultImageName;

inline constexpr const char* kBrandTitle = "NorvaneScope";
inline constexpr const char* kBrandFolder = "NorvaneScope";

// Fills the folders from the program's folder and the user's Documents folder (empty: the
// platform's). Does not create anything.
void InitAppFolders(const QString& exeFolder = {}, const QString& documentsFolder = {});
// A folder path with one "/" at its end.
QString WithSeparator(const QString& folder);
