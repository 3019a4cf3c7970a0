#pragma once
// What the source manager remembers per user: the default source (the last one used) and, per
// device, the option values its dialog was last used with. Kept in the program's per-user
// settings file, group "Acquisition".

#include <QStringList>
#include <optional>
#include <string>

#include "camera/acquisition/source_ui.h"

std::optional<SaneDeviceInfo> StoredDefaultSource();
void StoreDefaultSource(const SaneDeviceInfo& device);

// "name=value" entries as CSaneOptions::Snapshot gives them.
QStringList StoredSourceOptions(const std::string& deviceName);
void StoreSourceOptions(const std::string& deviceName, const QStringList& options);
