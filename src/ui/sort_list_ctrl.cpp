#include "ui/sort_list_ctrl.h"

#include <QHeaderView>
#include <QSettings>

#include "settings/app_folders.h"
#include "settings/app_settings.h"
#include "settings/language_table.h"

namespace {

bool DigitsOnly(const QString& s) {
    if (s.isEmpty()) return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9') return false;
    return true;
}

// Digit strings of any length compare without overflow: drop leading zeros, then the longer
// number is the larger one, and equal lengths compare digit by digit.
int CompareDigits(const QString& a, const QString& b) {
    auto strip = [](const QString& s) {
        qsizetype i = 0;
        while (i + 1 < s.size() && s[i] == u'0') ++i;
        return QStringView(s).mid(i);
    };
    const QStringView x = strip(a), y = strip(b);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y, Qt::CaseSensitive);
}

class CSortListItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    bool operator<(const QTreeWidgetItem& other) const override {
        const int column = treeWidget() ? treeWidget()->sortColumn() : 0;
        return CSortListCtrl::CompareTexts(text(column), other.text(column)) < 0;
    }
};

// The application profile: the per-user store the settings groups live in.
QSettings Profile() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QLatin1String(kCompanyKey),
                     QLatin1String(kBrandTitle));
}

QList<int> ParseNumbers(const QString& text) {
    QList<int> out;
    for (const QString& part : text.split(u' ', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int v = part.toInt(&ok);
        if (!ok) return {};
        out.push_back(v);
    }
    return out;
}

}  // namespace

CSortListCtrl::CSortListCtrl(int controlId, QWidget* parent)
    : QTreeWidget(parent), m_controlId(controlId) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // Rows are appended where they are added; only a heading click sorts.
    setSortingEnabled(false);
    header()->setSectionsClickable(true);
    header()->setSectionsMovable(true);
    header()->setStretchLastSection(false);
    connect(header(), &QHeaderView::sectionClicked, this, &CSortListCtrl::SortByColumn);
}

CSortListCtrl::~CSortListCtrl() {
    SaveLayout();
}

void CSortListCtrl::SetColumns(const QString& columns) {
    QStringList headings;
    QList<int> widths;
    for (const QString& pair : columns.split(u';', Qt::SkipEmptyParts)) {
        const qsizetype comma = pair.lastIndexOf(u',');
        headings.push_back(Translate(comma < 0 ? pair : pair.left(comma)));
        widths.push_back(comma < 0 ? 80 : pair.mid(comma + 1).trimmed().toInt());
    }
    setColumnCount(static_cast<int>(headings.size()));
    setHeaderLabels(headings);
    const QFontMetrics fm = header()->fontMetrics();
    for (int i = 0; i < headings.size(); ++i) {
        // Longer translated headings widen their column instead of being cut off.
        const int needed = fm.horizontalAdvance(headings[i]) + 2 * fm.averageCharWidth() + 8;
        setColumnWidth(i, std::max(widths[i], needed));
    }
    m_sortColumn = -1;
    m_ascending = true;
    RestoreLayout();
}

int CSortListCtrl::AddItem(const QStringList& texts) {
    auto* item = new CSortListItem(this);
    for (int i = 0; i < columnCount() && i < texts.size(); ++i) item->setText(i, texts[i]);
    return indexOfTopLevelItem(item);
}

QString CSortListCtrl::ItemText(int row, int column) const {
    const QTreeWidgetItem* item = topLevelItem(row);
    return item ? item->text(column) : QString();
}

void CSortListCtrl::SetItemText(int row, int column, const QString& text) {
    if (QTreeWidgetItem* item = topLevelItem(row)) item->setText(column, text);
}

bool CSortListCtrl::DeleteItem(int row) {
    QTreeWidgetItem* item = takeTopLevelItem(row);
    delete item;
    return item != nullptr;
}

void CSortListCtrl::DeleteAllItems() {
    clear();
}

int CSortListCtrl::SelectedRow() const {
    const QList<QTreeWidgetItem*> items = selectedItems();
    return items.isEmpty() ? -1 : indexOfTopLevelItem(items.front());
}

void CSortListCtrl::SelectRow(int row) {
    clearSelection();
    if (QTreeWidgetItem* item = topLevelItem(row)) {
        item->setSelected(true);
        setCurrentItem(item);
    }
}

void CSortListCtrl::SortByColumn(int column) {
    if (column < 0 || column >= columnCount()) return;
    m_ascending = column == m_sortColumn ? !m_ascending : true;
    m_sortColumn = column;
    header()->setSortIndicatorShown(true);
    sortItems(column, m_ascending ? Qt::AscendingOrder : Qt::DescendingOrder);
}

int CSortListCtrl::CompareTexts(const QString& a, const QString& b) {
    if (DigitsOnly(a) && DigitsOnly(b)) return CompareDigits(a, b);
    return a.compare(b, Qt::CaseSensitive);
}

QString CSortListCtrl::LayoutKey() const {
    return QStringLiteral("ListCtrls/%1").arg(m_controlId);
}

// Stored as "<width> <width> ...;<visual index> <visual index> ..." per logical column.
void CSortListCtrl::SaveLayout() const {
    const int n = columnCount();
    if (n <= 0) return;
    QStringList widths, order;
    for (int i = 0; i < n; ++i) {
        widths << QString::number(columnWidth(i));
        order << QString::number(header()->visualIndex(i));
    }
    QSettings profile = Profile();
    profile.setValue(LayoutKey(), widths.join(u' ') + u';' + order.join(u' '));
}

bool CSortListCtrl::RestoreLayout() {
    const int n = columnCount();
    const QString text = Profile().value(LayoutKey()).toString();
    const qsizetype semi = text.indexOf(u';');
    if (n <= 0 || semi < 0) return false;
    const QList<int> widths = ParseNumbers(text.left(semi));
    const QList<int> order = ParseNumbers(text.mid(semi + 1));
    // A layout of another column set, or a damaged one, is ignored.
    if (widths.size() != n || order.size() != n) return false;
    QList<bool> seen(n, false);
    for (int v : order) {
        if (v < 0 || v >= n || seen[v]) return false;
        seen[v] = true;
    }
    for (int w : widths)
        if (w < 0 || w > 10000) return false;
    for (int i = 0; i < n; ++i) setColumnWidth(i, widths[i]);
    for (int visual = 0; visual < n; ++visual) {
        const int logical = static_cast<int>(order.indexOf(visual));
        header()->moveSection(header()->visualIndex(logical), visual);
    }
    return true;
}
