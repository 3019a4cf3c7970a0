#include "camera/acquisition/source_settings.h"

#include <QSettings>
#include <QUrl>

#include "settings/app_folders.h"
#include "settings/app_settings.h"

namespace {

QSettings Store() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QString::fromLatin1(kCompanyKey),
                     QString::fromLatin1(kBrandTitle));
}

QString Key(const QString& name) {
    return QStringLiteral("Acquisition/") + name;
}

// Device names hold ':' and '/', which settings keys do not keep.
QString DeviceKey(const std::string& name) {
    return QStringLiteral("Device_") +
           QString::fromLatin1(
               QUrl::toPercentEncoding(QString::fromStdString(name)).replace('%', '_'));
}

}  // namespace

std::optional<SaneDeviceInfo> StoredDefaultSource() {
    QSettings s = Store();
    const QString name = s.value(Key(QStringLiteral("DefaultSource"))).toString();
    if (name.isEmpty()) return std::nullopt;
    SaneDeviceInfo d;
    d.name = name.toStdString();
    d.vendor = s.value(Key(QStringLiteral("DefaultVendor"))).toString().toStdString();
    d.model = s.value(Key(QStringLiteral("DefaultModel"))).toString().toStdString();
    d.type = s.value(Key(QStringLiteral("DefaultType"))).toString().toStdString();
    return d;
}

void StoreDefaultSource(const SaneDeviceInfo& d) {
    QSettings s = Store();
    s.setValue(Key(QStringLiteral("DefaultSource")), QString::fromStdString(d.name));
    s.setValue(Key(QStringLiteral("DefaultVendor")), QString::fromStdString(d.vendor));
    s.setValue(Key(QStringLiteral("DefaultModel")), QString::fromStdString(d.model));
    s.setValue(Key(QStringLiteral("DefaultType")), QString::fromStdString(d.type));
}

QStringList StoredSourceOptions(const std::string& deviceName) {
    return Store().value(Key(DeviceKey(deviceName) + QStringLiteral("/Options"))).toStringList();
}

void StoreSourceOptions(const std::string& deviceName, const QStringList& options) {
    QSettings s = Store();
    s.setValue(Key(DeviceKey(deviceName) + QStringLiteral("/Options")), options);
}
