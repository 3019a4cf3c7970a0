#pragma once
// CSaneOptions: the options of one open SANE device, described once (name, title, group, type,
// unit, range or list, active, settable, advanced) with their current values, so the source's
// dialog, the command-line tool and the per-device memory all read the same table. Values are
// set through the device and the table is read again afterwards, since one option can change
// the range or activity of others (colour mode and three-pass, say).
//
// Not thread-safe: used on one thread, never while the device scans.

#include <sane/sane.h>

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <string>
#include <vector>

class CSaneLibrary;

struct SaneOption {
    enum class Constraint { None, Range, WordList, StringList };

    int index = 0;
    QString name;
    QString title;
    QString description;
    QString group;  // title of the group the option stands in
    SANE_Value_Type type = SANE_TYPE_INT;
    SANE_Unit unit = SANE_UNIT_NONE;
    int size = 0;  // bytes of the value
    bool active = false;
    bool settable = false;
    bool advanced = false;
    Constraint constraint = Constraint::None;
    double min = 0, max = 0, quant = 0;  // Range
    std::vector<double> words;           // WordList
    QStringList strings;                 // StringList
    QVariant value;  // bool, int, double (fixed) or QString; invalid when it cannot be read

    // One value (not an array, not a button or group).
    bool IsScalar() const;
    // What a user may change: active, settable, scalar and not advanced.
    bool IsOffered() const { return active && settable && !advanced && IsScalar(); }
};

class CSaneOptions {
public:
    CSaneOptions(const CSaneLibrary& lib, SANE_Handle handle);

    // Reads every descriptor and value again.
    void Reload();
    const std::vector<SaneOption>& All() const { return m_options; }
    const SaneOption* Find(const QString& name) const;

    // Sets an option (a value of its type, or text that reads as one) and reads the table again.
    // False, with the reason, when the option is unknown, inactive or not settable, or the device
    // refuses the value.
    bool Set(const QString& name, const QVariant& value, std::string* reason = nullptr);

    // The well-known options.
    std::optional<double> Resolution() const;   // "resolution", else "x-resolution"
    std::optional<double> YResolution() const;  // "y-resolution", else the resolution
    // The current source is a document feeder (one scan gives a page after page).
    bool FeederSelected() const;
    static bool IsFeederValue(const QString& value);

    // Every offered option as "name=value", in the device's order.
    QStringList Snapshot() const;
    // Sets what a snapshot holds, in its order; values the device no longer takes are skipped.
    void Restore(const QStringList& snapshot);

    // A value as text and back (for snapshots and the command line).
    static QString ValueText(const SaneOption& option, const QVariant& value);

private:
    const CSaneLibrary& m_lib;
    SANE_Handle m_handle;
    std::vector<SaneOption> m_options;
};
