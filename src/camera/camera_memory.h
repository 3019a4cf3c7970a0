#pragma once
// CCameraMemory: the settings of each camera the user changed, kept across runs, and the values
// the camera had when it was first seen (its defaults, where it does not describe them itself).
// Cameras are told apart by their identity (model and serial number, or model and port), so two
// cameras of one model keep their own settings. Values are the property model's texts under the
// property names ("gain" = "4", "wb" = "74,64,96", "uvc:14" = "100,auto").
//
// Stored in an INI file of its own; user-interface thread only.

#include <QString>

#include <map>
#include <memory>
#include <string>
#include <vector>

class QSettings;

class CCameraMemory {
public:
    using Values = std::map<std::string, std::string>;

    // An INI file at path (created when first written).
    explicit CCameraMemory(const QString& path);
    ~CCameraMemory();
    // "<config folder>/Norvane TECH/<product title> cameras.ini".
    static QString DefaultPath(const QString& productTitle);

    Values Remembered(const std::string& identity) const;
    void Remember(const std::string& identity, const std::string& name, const std::string& text);
    // Forgets what was remembered of the camera (its defaults stay).
    void Forget(const std::string& identity);

    // The cameras it holds anything of.
    std::vector<std::string> Identities() const;

    bool HasDefaults(const std::string& identity) const;
    Values Defaults(const std::string& identity) const;
    void SetDefaults(const std::string& identity, const Values& values);

    void Sync();

private:
    Values Read(const QString& group) const;
    std::unique_ptr<QSettings> m_store;
};
