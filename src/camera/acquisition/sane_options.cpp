#include "camera/acquisition/sane_options.h"

#include <sane/saneopts.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "camera/acquisition/sane_library.h"

namespace {

QString Text(SANE_String_Const s) {
    return s ? QString::fromUtf8(s) : QString();
}

// The SANE word of a boolean, integer or fixed option, from a value of any type or its text.
std::optional<SANE_Word> WordFor(const SaneOption& o, const QVariant& v) {
    bool ok = false;
    switch (o.type) {
        case SANE_TYPE_BOOL: {
            if (v.typeId() == QMetaType::Bool) return v.toBool() ? SANE_TRUE : SANE_FALSE;
            const QString t = v.toString().trimmed().toLower();
            if (t == QLatin1String("yes") || t == QLatin1String("true") || t == QLatin1String("1"))
                return SANE_TRUE;
            if (t == QLatin1String("no") || t == QLatin1String("false") || t == QLatin1String("0"))
                return SANE_FALSE;
            return std::nullopt;
        }
        case SANE_TYPE_INT: {
            const double d = v.toDouble(&ok);
            if (!ok || !std::isfinite(d) || std::fabs(d) > 2147483647.0) return std::nullopt;
            return static_cast<SANE_Word>(std::lround(d));
        }
        case SANE_TYPE_FIXED: {
            const double d = v.toDouble(&ok);
            if (!ok || !std::isfinite(d) || std::fabs(d) >= 32768.0) return std::nullopt;
            return SANE_FIX(d);
        }
        default:
            return std::nullopt;
    }
}

}  // namespace

bool SaneOption::IsScalar() const {
    switch (type) {
        case SANE_TYPE_BOOL:
        case SANE_TYPE_INT:
        case SANE_TYPE_FIXED:
            return size == static_cast<int>(sizeof(SANE_Word));
        case SANE_TYPE_STRING:
            return size > 0;
        default:
            return false;
    }
}

CSaneOptions::CSaneOptions(const CSaneLibrary& lib, SANE_Handle handle)
    : m_lib(lib), m_handle(handle) {
    Reload();
}

void CSaneOptions::Reload() {
    m_options.clear();
    SANE_Int count = 0;
    if (m_lib.control_option(m_handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr) !=
        SANE_STATUS_GOOD)
        return;
    // A device that claims an absurd number of options still gets a bounded table.
    count = std::min<SANE_Int>(count, 4096);
    QString group;
    for (SANE_Int i = 1; i < count; ++i) {
        const SANE_Option_Descriptor* d = m_lib.get_option_descriptor(m_handle, i);
        if (!d) continue;
        if (d->type == SANE_TYPE_GROUP) {
            group = Text(d->title);
            continue;
        }
        SaneOption o;
        o.index = i;
        o.name = Text(d->name);
        o.title = Text(d->title);
        o.description = Text(d->desc);
        o.group = group;
        o.type = d->type;
        o.unit = d->unit;
        o.size = d->size;
        o.active = SANE_OPTION_IS_ACTIVE(d->cap);
        o.settable = SANE_OPTION_IS_SETTABLE(d->cap);
        o.advanced = (d->cap & SANE_CAP_ADVANCED) != 0;
        const bool fixed = d->type == SANE_TYPE_FIXED;
        auto number = [fixed](SANE_Word w) { return fixed ? SANE_UNFIX(w) : double(w); };
        switch (d->constraint_type) {
            case SANE_CONSTRAINT_RANGE:
                if (d->constraint.range) {
                    o.constraint = SaneOption::Constraint::Range;
                    o.min = number(d->constraint.range->min);
                    o.max = number(d->constraint.range->max);
                    o.quant = number(d->constraint.range->quant);
                }
                break;
            case SANE_CONSTRAINT_WORD_LIST:
                if (const SANE_Word* list = d->constraint.word_list) {
                    o.constraint = SaneOption::Constraint::WordList;
                    const int n = std::min<SANE_Word>(list[0], 4096);
                    for (int k = 1; k <= n; ++k) o.words.push_back(number(list[k]));
                }
                break;
            case SANE_CONSTRAINT_STRING_LIST:
                if (const SANE_String_Const* list = d->constraint.string_list) {
                    o.constraint = SaneOption::Constraint::StringList;
                    for (int k = 0; list[k] && k < 4096; ++k) o.strings.append(Text(list[k]));
                }
                break;
            default:
                break;
        }
        if (o.active && (d->cap & SANE_CAP_SOFT_DETECT) && o.IsScalar()) {
            if (o.type == SANE_TYPE_STRING) {
                std::vector<char> buf(static_cast<size_t>(o.size) + 1, 0);
                if (m_lib.control_option(m_handle, i, SANE_ACTION_GET_VALUE, buf.data(), nullptr) ==
                    SANE_STATUS_GOOD)
                    o.value = QString::fromUtf8(buf.data());
            } else {
                SANE_Word w = 0;
                if (m_lib.control_option(m_handle, i, SANE_ACTION_GET_VALUE, &w, nullptr) ==
                    SANE_STATUS_GOOD) {
                    if (o.type == SANE_TYPE_BOOL)
                        o.value = w != SANE_FALSE;
                    else if (o.type == SANE_TYPE_INT)
                        o.value = int(w);
                    else
                        o.value = SANE_UNFIX(w);
                }
            }
        }
        m_options.push_back(std::move(o));
    }
}

const SaneOption* CSaneOptions::Find(const QString& name) const {
    for (const SaneOption& o : m_options)
        if (o.name == name) return &o;
    return nullptr;
}

bool CSaneOptions::Set(const QString& name, const QVariant& value, std::string* reason) {
    auto fail = [reason](const std::string& text) {
        if (reason) *reason = text;
        return false;
    };
    const SaneOption* o = Find(name);
    if (!o) return fail("the device has no option \"" + name.toStdString() + "\"");
    if (!o->active || !o->settable || !o->IsScalar())
        return fail("the option \"" + name.toStdString() + "\" cannot be set now");
    SANE_Int info = 0;
    SANE_Status status;
    if (o->type == SANE_TYPE_STRING) {
        const QByteArray text = value.toString().toUtf8();
        std::vector<char> buf(static_cast<size_t>(o->size) + 1, 0);
        std::memcpy(buf.data(), text.constData(),
                    std::min<size_t>(text.size(), static_cast<size_t>(o->size) - 1));
        status = m_lib.control_option(m_handle, o->index, SANE_ACTION_SET_VALUE, buf.data(), &info);
    } else {
        std::optional<SANE_Word> w = WordFor(*o, value);
        if (!w)
            return fail("\"" + value.toString().toStdString() + "\" is no value for " +
                        name.toStdString());
        status = m_lib.control_option(m_handle, o->index, SANE_ACTION_SET_VALUE, &*w, &info);
    }
    if (status != SANE_STATUS_GOOD) {
        const std::string what = name.toStdString();
        Reload();
        return fail(what + ": " + m_lib.StatusText(status));
    }
    Reload();
    return true;
}

std::optional<double> CSaneOptions::Resolution() const {
    for (const char* n : {SANE_NAME_SCAN_RESOLUTION, SANE_NAME_SCAN_X_RESOLUTION}) {
        const SaneOption* o = Find(QString::fromLatin1(n));
        if (o && o->active && o->value.isValid()) return o->value.toDouble();
    }
    return std::nullopt;
}

std::optional<double> CSaneOptions::YResolution() const {
    const SaneOption* o = Find(QString::fromLatin1(SANE_NAME_SCAN_Y_RESOLUTION));
    if (o && o->active && o->value.isValid()) return o->value.toDouble();
    return Resolution();
}

bool CSaneOptions::IsFeederValue(const QString& value) {
    const QString v = value.toLower();
    return v.contains(QLatin1String("feeder")) || v.contains(QLatin1String("adf")) ||
           v.contains(QLatin1String("duplex"));
}

bool CSaneOptions::FeederSelected() const {
    const SaneOption* o = Find(QString::fromLatin1(SANE_NAME_SCAN_SOURCE));
    return o && o->active && o->value.isValid() && IsFeederValue(o->value.toString());
}

QString CSaneOptions::ValueText(const SaneOption& option, const QVariant& value) {
    if (option.type == SANE_TYPE_BOOL)
        return value.toBool() ? QStringLiteral("yes") : QStringLiteral("no");
    if (option.type == SANE_TYPE_FIXED) return QString::number(value.toDouble(), 'g', 10);
    return value.toString();
}

QStringList CSaneOptions::Snapshot() const {
    QStringList out;
    for (const SaneOption& o : m_options)
        if (o.IsOffered() && o.value.isValid() && !o.name.isEmpty())
            out.append(o.name + u'=' + ValueText(o, o.value));
    return out;
}

void CSaneOptions::Restore(const QStringList& snapshot) {
    for (const QString& entry : snapshot) {
        const qsizetype eq = entry.indexOf(u'=');
        if (eq <= 0) continue;
        const QString name = entry.left(eq);
        const SaneOption* o = Find(name);
        if (!o || !o->IsOffered()) continue;
        const QString text = entry.mid(eq + 1);
        if (o->value.isValid() && ValueText(*o, o->value) == text) continue;
        Set(name, text);
    }
}
