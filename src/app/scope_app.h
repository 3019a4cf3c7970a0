#pragma once
// CScopeApp: start-up and shut-down of the program. Start-up prepares the data folders and the
// settings file, loads the language table, makes sure only one instance runs, starts the camera
// side, loads the settings, opens the main window and selects the first camera; shut-down saves
// the settings, starts the program again after a language switch and releases the cameras.

#include <QObject>
#include <QStringList>
#include <memory>

#include "app/single_instance.h"

class CMainFrame;

class CScopeApp : public QObject {
    Q_OBJECT
public:
    // arguments: the command line, program first (QCoreApplication::arguments()).
    explicit CScopeApp(QStringList arguments, QObject* parent = nullptr);
    ~CScopeApp() override;

    // True when the program is to run, false to end it at once (another instance runs).
    bool InitInstance();
    // Qt's own texts (file dialogs, standard buttons) in the language of this code ("de"; "auto"
    // is the system's), from Qt's translations when they are installed. False when there are
    // none for it, as for English.
    static bool InstallQtTranslation(const QString& code);
    static void RemoveQtTranslation();
    // The exit code; runs also after InitInstance refused.
    int ExitInstance();

    CMainFrame* MainFrame() const { return m_frame.get(); }
    CSingleInstance& Instance() { return m_instance; }
    // Pictures named on the command line, opened as still documents after start-up.
    const QStringList& FilesToOpen() const { return m_files; }

    // For tests: another instance socket and Documents folder than the user's.
    void SetInstanceSocket(const QString& path) { m_socketPath = path; }
    void SetDocumentsFolder(const QString& folder) { m_documentsFolder = folder; }
    // The splash (off for tests).
    void SetSplashAllowed(bool allowed) { m_bSplashAllowed = allowed; }

    // Splits the command line into options and pictures: "-nosplash" (also "--nosplash",
    // "/nologo", "-nologo") switches the splash off, "/ini NAME" chooses the settings file, every
    // other argument names a picture.
    static QStringList PicturesOnCommandLine(const QStringList& arguments, bool* showSplash);

private:
    QStringList m_arguments;
    QStringList m_files;
    QString m_socketPath;
    QString m_documentsFolder;
    bool m_bSplashAllowed = true;
    bool m_bCameraStarted = false;
    CSingleInstance m_instance;
    std::unique_ptr<CMainFrame> m_frame;
};
