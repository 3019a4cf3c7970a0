#include "camera/camera_memory.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <algorithm>


namespace {

// Identities hold characters an INI group name may not ("/", "\").
QString GroupOf(const char* kind, const std::string& identity) {
    return QString::fromLatin1(kind) + QLatin1Char('-') +
           QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(identity)));
}

}  // namespace

CCameraMemory::CCameraMemory(const QString& path) : m_store(std::make_unique<QSettings>(path, QSettings::IniFormat)) {}

CCameraMemory::~CCameraMemory() = default;

QString CCameraMemory::DefaultPath(const QString& productTitle) {
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QDir(config).filePath(QStringLiteral("Norvane TECH/%1 cameras.ini").arg(productTitle));
}

CCameraMemory::Values CCameraMemory::Read(const QString& group) const {
    Values out;
    m_store->beginGroup(group);
    for (const QString& key : m_store->childKeys())
        out[QUrl::fromPercentEncoding(key.toLatin1()).toStdString()] =
            m_store->value(key).toString().toStdString();
    m_store->endGroup();
    return out;
}

CCameraMemory::Values CCameraMemory::Remembered(const std::string& identity) const {
    return Read(GroupOf("Camera", identity));
}

void CCameraMemory::Remember(const std::string& identity, const std::string& name, const std::string& text) {
    if (identity.empty()) return;
    m_store->beginGroup(GroupOf("Camera", identity));
    m_store->setValue(QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(name))),
                      QString::fromStdString(text));
    m_store->endGroup();
}

void CCameraMemory::Forget(const std::string& identity) { m_store->remove(GroupOf("Camera", identity)); }

std::vector<std::string> CCameraMemory::Identities() const {
    std::vector<std::string> out;
    for (const QString& group : m_store->childGroups()) {
        const qsizetype dash = group.indexOf(QLatin1Char('-'));
        if (dash < 0) continue;
        const std::string identity = QUrl::fromPercentEncoding(group.mid(dash + 1).toLatin1()).toStdString();
        if (std::find(out.begin(), out.end(), identity) == out.end()) out.push_back(identity);
    }
    return out;
}

bool CCameraMemory::HasDefaults(const std::string& identity) const {
    return m_store->childGroups().contains(GroupOf("Defaults", identity));
}

CCameraMemory::Values CCameraMemory::Defaults(const std::string& identity) const {
    return Read(GroupOf("Defaults", identity));
}

void CCameraMemory::SetDefaults(const std::string& identity, const Values& values) {
    if (identity.empty()) return;
    const QString group = GroupOf("Defaults", identity);
    m_store->remove(group);
    m_store->beginGroup(group);
    for (const auto& [name, text] : values)
        m_store->setValue(QString::fromLatin1(QUrl::toPercentEncoding(QString::fromStdString(name))),
                          QString::fromStdString(text));
    m_store->endGroup();
}

void CCameraMemory::Sync() { m_store->sync(); }
