#include "settings/app_folders.h"

#include <QCoreApplication>
#include <QStandardPaths>

QString g_strExeFolder;
QString g_strDataFolder;
QString g_strImageFolder;
QString g_strIniPath;
QString g_strDefaultImageName = QStringLiteral("default_image.bmp");

QString WithSeparator(const QString& folder) {
    if (folder.isEmpty() || folder.endsWith('/')) return folder;
    return folder + '/';
}

void InitAppFolders(const QString& exeFolder, const QString& documentsFolder) {
    QString exe = exeFolder;
    if (exe.isEmpty() && QCoreApplication::instance()) exe = QCoreApplication::applicationDirPath();
    g_strExeFolder = WithSeparator(exe.isEmpty() ? QStringLiteral(".") : exe);
    QString docs = documentsFolder;
    if (docs.isEmpty()) docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    g_strDataFolder = WithSeparator(docs) + kBrandFolder + '/';
    g_strImageFolder = g_strDataFolder + QStringLiteral("Images/");
    g_strIniPath = g_strDataFolder + QStringLiteral("Setting.ini");
}
