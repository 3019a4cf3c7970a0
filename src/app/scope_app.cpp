#include "app/scope_app.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QProcess>
#include <QTranslator>

#include <memory>

#include "camera/camera_manager.h"
#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/ini_location.h"
#include "settings/language_table.h"
#include "settings/profile_file.h"
#include "ui/main_frame.h"

// Resources of a static library are registered by name from outside any namespace.
static void InitScopeResources() {
    Q_INIT_RESOURCE(norvanescope);
}

CScopeApp::CScopeApp(QStringList arguments, QObject* parent)
    : QObject(parent), m_arguments(std::move(arguments)) {
    InitScopeResources();
}

CScopeApp::~CScopeApp() {
    if (m_frame) ExitInstance();
}

QStringList CScopeApp::PicturesOnCommandLine(const QStringList& arguments, bool* showSplash) {
    QStringList pictures;
    bool splash = true;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("-nosplash") || a == QLatin1String("--nosplash") ||
            a.compare(QLatin1String("/nologo"), Qt::CaseInsensitive) == 0 ||
            a == QLatin1String("-nologo")) {
            splash = false;
        } else if (a.compare(QLatin1String("/ini"), Qt::CaseInsensitive) == 0) {
            ++i;  // the settings file's name
        } else if (!a.isEmpty() && !a.startsWith(u'-')) {
            pictures.append(QFileInfo(a).absoluteFilePath());
        }
    }
    if (showSplash) *showSplash = splash;
    return pictures;
}

namespace {
QTranslator* g_qtTranslation = nullptr;  // the Qt translation installed, owned here
}

void CScopeApp::RemoveQtTranslation() {
    if (!g_qtTranslation) return;
    QCoreApplication::removeTranslator(g_qtTranslation);
    delete g_qtTranslation;
    g_qtTranslation = nullptr;
}

bool CScopeApp::InstallQtTranslation(const QString& code) {
    const QString language =
        code.compare(QLatin1String("auto"), Qt::CaseInsensitive) == 0 ? QLocale::system().name().section(u'_', 0, 0)
                                                                        : code;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    RemoveQtTranslation();
    g_qtTranslation = translator.release();
    QCoreApplication::installTranslator(g_qtTranslation);
    return true;
}

bool CScopeApp::InitInstance() {
    // Folders: the program's, and the data folder under the user's Documents.
    InitAppFolders(QCoreApplication::applicationDirPath(), m_documentsFolder);
    const QString brandFolder = QDir::cleanPath(g_strDataFolder);
    if (!QFileInfo(brandFolder).isDir()) {
        QDir().mkpath(g_strImageFolder);
        QDir().mkpath(g_strDataFolder + QStringLiteral("nrrdata"));
        QDir().mkpath(g_strDataFolder + QStringLiteral("csvdata"));
    }

    // The settings file (first start: a copy of the one beside the program) and the language.
    QStringList iniArguments = m_arguments;
    if (iniArguments.isEmpty()) iniArguments.append(QString());
    // The program's own full path: a bare name found through PATH has no folder part.
    iniArguments[0] = QCoreApplication::applicationFilePath();
    const CIniLocation location(iniArguments, g_strDataFolder);
    LoadLanguage(location.m_strLanguage, location.m_strExeFolder);
    InstallQtTranslation(location.m_strLanguage);
    g_strLanguageCode = location.m_strLanguage;
    g_strHelpFile =
        QString::fromLatin1(kBrandTitle) + u'_' + location.m_strLanguage + QStringLiteral(".pdf");
    g_strIniPath = g_strDataFolder + QStringLiteral("Setting.ini");
    for (const QString& sub :
         {QStringLiteral("Images"), QStringLiteral("nrrdata"), QStringLiteral("csvdata")})
        QDir().mkpath(g_strDataFolder + sub);
    CProfileFile(g_strIniPath)
        .WriteInt(QStringLiteral("Lang"), QStringLiteral("LangId"), SystemLanguageId());

    // One instance per user.
    const QString socket =
        m_socketPath.isEmpty()
            ? CSingleInstance::SocketPath(QString::fromLatin1(CSingleInstance::kInstanceKey))
            : m_socketPath;
    if (m_instance.Start(socket) == CSingleInstance::Result::Activated) return false;

    // The camera side: driver modules and camera libraries beside the program, device watch.
    theCameraManager().Startup(g_strExeFolder.toStdString());
    theCameraManager().StartDeviceWatch();
    m_bCameraStarted = true;

    bool showSplash = true;
    m_files = PicturesOnCommandLine(m_arguments, &showSplash);
    g_bShowSplash = showSplash && m_bSplashAllowed;

    LoadAllSettings(CMainFrame::ProductTitle());

    m_frame = std::make_unique<CMainFrame>();
    connect(&m_instance, &CSingleInstance::activationRequested, m_frame.get(),
            &CMainFrame::OnActivationRequest);
    // The bars always come back as they were; the pictures open at the last close only when
    // the command line names none.
    m_frame->RestoreLayout(m_files.isEmpty());
    m_frame->showMaximized();
    m_frame->repaint();

    m_frame->SelectCamera(0);
    for (const QString& file : m_files) m_frame->OpenDocumentFile(file);
    return true;
}

int CScopeApp::ExitInstance() {
    if (m_frame) {
        if (m_frame->isVisible()) m_frame->close();
        // The documents go with the frame and write their values back into the settings.
        m_frame.reset();
    }
    SaveAllSettings(CMainFrame::ProductTitle());
    if (g_bRestartOnExit) {
        g_bRestartOnExit = false;
        m_instance.Release();
        QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
    }
    if (m_bCameraStarted) {
        theCameraManager().Shutdown();
        m_bCameraStarted = false;
    }
    m_instance.Release();
    return 0;
}
