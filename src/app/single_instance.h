#pragma once
// One running NorvaneScope per user. The first start listens on a local socket named after the
// instance key; a later start finds it, asks it to come forward and ends. A socket left behind
// by a crashed run answers nobody: it is removed and listened on again.

#include <QObject>
#include <QString>

class QLocalServer;

class CSingleInstance : public QObject {
    Q_OBJECT
public:
    // The key of the instance check.
    static constexpr const char* kInstanceKey = "{1AB792D6-EAF2-3267-9A84-91356G1127A4}";
    static constexpr const char* kActivateMessage = "activate\n";
    static constexpr const char* kActivatedAnswer = "activated\n";

    enum class Result {
        First,      // this is the running instance now
        Activated,  // another instance runs and was asked to come forward
        Failed,     // neither: the check could not be made (the program runs unguarded)
    };

    explicit CSingleInstance(QObject* parent = nullptr);
    ~CSingleInstance() override;

    // The socket for a key: in the user's runtime folder, so each user runs their own instance.
    static QString SocketPath(const QString& key);

    // timeoutMs bounds how long a second start waits for the first one's answer.
    Result Start(const QString& socketPath, int timeoutMs = 10000);
    // Stops listening, so that a restarted program passes the check.
    void Release();
    bool IsListening() const;

signals:
    // A later start asked this instance to come forward. The answer goes back once every
    // connected slot has returned.
    void activationRequested();

private:
    void OnNewConnection();
    static bool AskToActivate(const QString& socketPath, int timeoutMs, bool* connected);

    QLocalServer* m_server = nullptr;
};
