#pragma once
// CSortListCtrl: a report list whose column headings sort the rows (each click toggles between
// ascending and descending). Texts made of digits only compare as numbers, everything else as
// case-sensitive text. The column widths and order are kept in the application profile, section
// "ListCtrls", under the control's id, and restored the next time columns are set up.

#include <QStringList>
#include <QTreeWidget>

class CSortListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    explicit CSortListCtrl(int controlId, QWidget* parent = nullptr);
    ~CSortListCtrl() override;

    // Columns from "Heading,width;Heading,width;...". Headings pass through the language table;
    // a width never clips its heading. The layout kept in the profile replaces these widths.
    void SetColumns(const QString& columns);

    int ItemCount() const { return topLevelItemCount(); }
    // Appends a row (missing texts are empty); returns its index.
    int AddItem(const QStringList& texts);
    QString ItemText(int row, int column) const;
    void SetItemText(int row, int column, const QString& text);
    bool DeleteItem(int row);
    void DeleteAllItems();
    // The selected row, or -1.
    int SelectedRow() const;
    void SelectRow(int row);

    // What a click on the heading does: sorts by the column, toggling the direction when it is
    // already the sort column, else ascending.
    void SortByColumn(int column);
    int SortColumn() const { return m_sortColumn; }
    bool SortAscending() const { return m_ascending; }

    // Negative, zero or positive as a sorts before, with or after b.
    static int CompareTexts(const QString& a, const QString& b);

    // The profile key of this control's layout ("ListCtrls/<id>").
    QString LayoutKey() const;
    void SaveLayout() const;
    // False when nothing usable is stored for the current columns.
    bool RestoreLayout();

private:
    int m_controlId;
    int m_sortColumn = -1;
    bool m_ascending = true;
};
