#pragma once
// CSelectSourceDlg: the source manager's selection dialog. It lists every SANE device with
// vendor, model, type and device name, marks the preselected one (the default source), and says
// so when there is no device at all. The list is gathered on a worker (network backends can take
// seconds) and can be gathered again.

#include <QDialog>
#include <string>
#include <vector>

#include "camera/acquisition/source_ui.h"

class QLabel;
class QPushButton;
class QTreeWidget;

class CSelectSourceDlg : public QDialog {
    Q_OBJECT
public:
    CSelectSourceDlg(ISaneDeviceLister& lister, const std::string& preselected,
                     QWidget* parent = nullptr);

    // The device chosen (after Accepted).
    std::string SelectedDevice() const;
    QTreeWidget* List() const { return m_list; }
    QLabel* StatusLabel() const { return m_status; }
    QPushButton* SelectButton() const { return m_select; }
    QPushButton* RefreshButton() const { return m_refresh; }
    // True while the devices are being gathered.
    bool IsSearching() const { return m_searching; }

public slots:
    void Refresh();

private:
    void Fill(const std::vector<SaneDeviceInfo>& devices, const std::string& reason);
    void UpdateButtons();

    ISaneDeviceLister& m_lister;
    std::string m_preselected;
    QTreeWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_select = nullptr;
    QPushButton* m_refresh = nullptr;
    bool m_searching = false;
};
