#include "camera/camera_memory.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include "camera/camera_log.h"
#include "camera/camera_manager.h"

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

CCameraMemory::Values ReadCameraSettings(CCameraManager& cm) {
    CCameraMemory::Values out;
    for (const CameraPropertyInfo& info : cm.Properties()) {
        if (info.readOnly) continue;
        CameraPropertyValue v;
        if (cm.GetProperty(info.key, &v) == 0) out[info.name] = FormatCameraValue(info, v, true);
    }
    return out;
}

int ApplyCameraSettings(CCameraManager& cm, const CCameraMemory::Values& values) {
    int applied = 0;
    for (const CameraPropertyInfo& info : cm.Properties()) {
        const auto it = values.find(info.name);
        if (it == values.end()) continue;
        std::string why;
        const auto v = ParseCameraValue(info, it->second, &why);
        if (!v) {
            // A setting stored by another version, or a range that changed: leave it.
            qCInfo(lcCamera).noquote() << "remembered setting left out:" << QString::fromStdString(why);
            continue;
        }
        if (cm.SetProperty(info.key, *v) == 0)
            ++applied;
        else
            qCInfo(lcCamera).noquote() << "remembered setting not taken:" << QString::fromStdString(cm.LastError());
    }
    return applied;
}
