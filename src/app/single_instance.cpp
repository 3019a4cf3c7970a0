#include "app/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>

namespace {
constexpr int kConnectMs = 2000;
}

CSingleInstance::CSingleInstance(QObject* parent) : QObject(parent) {}

CSingleInstance::~CSingleInstance() {
    Release();
}

QString CSingleInstance::SocketPath(const QString& key) {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime + u'/' + key;
    return QDir::tempPath() + u'/' + key + u'-' + QString::number(getuid());
}

bool CSingleInstance::AskToActivate(const QString& socketPath, int timeoutMs, bool* connected) {
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    *connected = socket.waitForConnected(kConnectMs);
    if (!*connected) return false;
    socket.write(kActivateMessage);
    if (!socket.waitForBytesWritten(kConnectMs)) return false;
    // The running instance answers once its window is forward and its hint was seen; a
    // silent one is not waited for longer than the timeout.
    QByteArray answer;
    while (!answer.contains('\n') && socket.waitForReadyRead(timeoutMs)) answer += socket.readAll();
    socket.disconnectFromServer();
    return true;
}

CSingleInstance::Result CSingleInstance::Start(const QString& socketPath, int timeoutMs) {
    Release();
    m_server = new QLocalServer(this);
    // No access options: with them Qt binds elsewhere and renames over an existing socket, so
    // a second listen would silently take the name. The runtime folder is the user's alone.
    connect(m_server, &QLocalServer::newConnection, this, &CSingleInstance::OnNewConnection);
    if (m_server->listen(socketPath)) return Result::First;

    bool connected = false;
    if (AskToActivate(socketPath, timeoutMs, &connected) || connected) {
        Release();
        return Result::Activated;
    }
    // Nobody answers: a socket left by a run that ended without cleaning up.
    QLocalServer::removeServer(socketPath);
    if (m_server->listen(socketPath)) return Result::First;
    Release();
    return Result::Failed;
}

void CSingleInstance::Release() {
    if (!m_server) return;
    m_server->close();
    delete m_server;
    m_server = nullptr;
}

bool CSingleInstance::IsListening() const {
    return m_server && m_server->isListening();
}

void CSingleInstance::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) return;
            const QByteArray line = socket->readLine();
            if (line != kActivateMessage) {
                socket->disconnectFromServer();
                return;
            }
            // Queued: the window and its message box do not run inside the socket's handler.
            QPointer<QLocalSocket> guard(socket);
            QMetaObject::invokeMethod(
                this,
                [this, guard] {
                    emit activationRequested();
                    if (guard) {
                        guard->write(kActivatedAnswer);
                        guard->flush();
                        guard->disconnectFromServer();
                    }
                },
                Qt::QueuedConnection);
        });
    }
}
