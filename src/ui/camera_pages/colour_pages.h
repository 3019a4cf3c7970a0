#pragma once
// The colour pages: hue, saturation, brightness, contrast and gamma of maker cameras
// (CColorAdjustDlg), saturation, contrast and gamma of module cameras (CDTCamColorAdjustDlg) and
// the same five settings of UVC cameras (CUVCColorAdjustDlg), each row a slider with its number.
// "Default" sets the maker and module pages to fixed values and the UVC page back to the values
// the camera had when it was opened.

#include <vector>

#include "ui/camera_pages/camera_page.h"

class QPushButton;

class CColourPage : public CCameraPage {
    Q_OBJECT
public:
    // One row: its caption, the setting, the range query's property number, the state as created
    // and reset (range, position, shown text; null: the position), and the Default value.
    struct RowSpec {
        const char* caption;
        CameraPropertyId id;
        int video;
        int resetMin, resetMax, resetPos;
        const char* resetText;
        int defaultValue;
    };

    void ResetPage() override;
    void InitForCamera() override;

    // The row of a setting, or null.
    const CSliderRow* RowOf(CameraPropertyId id) const;
    QPushButton* DefaultButton() const { return m_default; }

protected:
    // rows in the order shown; initOrder and defaultOrder list settings by id.
    CColourPage(int dialogId, const QString& objectName, std::vector<RowSpec> rows, std::vector<CameraPropertyId> initOrder,
                std::vector<CameraPropertyId> defaultOrder, QWidget* parent);
    virtual void SetCamera(const RowSpec& spec, int value);
    virtual void OnDefault();
    CSliderRow* Row(CameraPropertyId id);
    const RowSpec* Spec(CameraPropertyId id) const;

    // The setting as the memory knows it: by id, or by property number for UVC cameras.
    void ChangedRow(const RowSpec& spec) {
        if (m_bOnlyWhatTheCameraHas)
            Changed(CameraPropertyId::Video, spec.video);
        else
            Changed(spec.id);
    }
    bool Known(CameraPropertyId id) const;

    std::vector<RowSpec> m_specs;
    std::vector<CSliderRow> m_rows;
    std::vector<bool> m_known;  // the camera has the row's setting
    std::vector<CameraPropertyId> m_initOrder, m_defaultOrder;
    // A setting the camera lacks keeps its row disabled (UVC); maker and module pages enable all.
    bool m_bOnlyWhatTheCameraHas = false;
    QPushButton* m_default = nullptr;
};

class CColorAdjustDlg : public CColourPage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 354;
    explicit CColorAdjustDlg(QWidget* parent = nullptr);
};

class CDTCamColorAdjustDlg : public CColourPage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 358;
    explicit CDTCamColorAdjustDlg(QWidget* parent = nullptr);
};

class CUVCColorAdjustDlg : public CColourPage {
    Q_OBJECT
public:
    static constexpr int kDialogId = 240;
    explicit CUVCColorAdjustDlg(QWidget* parent = nullptr);
    void InitForCamera() override;

protected:
    void SetCamera(const RowSpec& spec, int value) override;
    void OnDefault() override;

private:
    // The values read when the camera was opened, by setting.
    int m_nInitHue = 0, m_nInitSaturation = 0, m_nInitBrightness = 0, m_nInitContrast = 0, m_nInitGamma = 0;
    int* InitValue(CameraPropertyId id);
};
