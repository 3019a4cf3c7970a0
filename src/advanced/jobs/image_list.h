#pragma once
// CImageListModel: what the image-list dialogs of stitching, HDR and EDF (CStitchingDlg,
// CHDRDlg, CEDFDlg) hold and decide, without their widgets: the candidate rows on the left, the
// chosen rows on the right in processing order, the two key sets that keep a picture from being
// listed or chosen twice, which buttons are enabled, and the OK steps that turn the chosen rows
// into the slots a job reads. User-interface thread only.

#include <QString>
#include <QStringList>
#include <set>
#include <vector>

class CScopeDoc;
class IScopePrompt;

// The item data of a row.
struct ImageListEntry {
    enum Kind { File = 0, OpenPicture = 1 };
    int m_nKind = File;
    QString m_strKey;             // the file's full path (File) or the document's title
    CScopeDoc* m_pDoc = nullptr;  // OpenPicture only
};

struct ImageListRow {
    QString text;  // what the list shows
    ImageListEntry entry;
};

class CImageListModel {
public:
    static constexpr int kSlots = 2048;
    // Temporary files of the EDF step, numbered in the pictures folder.
    static constexpr const char* kTempPrefix = "2CD74B47-D4ED-48A0-86AB-0F38FBE0BC37_";

    // Opening: empties both lists and sets; every open document that is not a live preview
    // becomes a candidate (a file's document by its path, any other by its title).
    void Open(const std::vector<CScopeDoc*>& documents);
    // "Loading...": each path not yet a candidate becomes a left row showing its file name.
    void AddFiles(const QStringList& paths);
    // A selection changed: the left one enables "Add>>", the right one "Delete".
    void LeftSelectionChanged(bool anySelected);
    void RightSelectionChanged(bool anySelected);
    // "Add>>" with the selected left rows (ascending); disables itself.
    void AddSelected(const std::vector<int>& leftRows);
    // "Add All>>": left row i not yet chosen goes in at position i of the right list.
    void AddAll();
    // "Delete" with the selected right rows; disables itself.
    void DeleteRows(std::vector<int> rightRows);
    // "Clean".
    void Clean();

    const std::vector<ImageListRow>& Left() const { return m_left; }
    const std::vector<ImageListRow>& Right() const { return m_right; }
    bool AddEnabled() const { return m_bAddEnabled; }
    bool DeleteEnabled() const { return m_bDeleteEnabled; }
    bool CleanEnabled() const { return m_bCleanEnabled; }

    // OK of stitching and HDR: the chosen rows in order; a file's row puts its path in its
    // slot, an open picture's row leaves the slot empty (its pixels are read directly).
    void AcceptPaths();
    // OK of EDF: every chosen row is written as a temporary BMP file in folder (an open picture
    // through its document's save, a file loaded and written again) into its slot, flagged
    // for deletion. A file that cannot be read shows "Invalid Image Format" (through prompt)
    // and keeps its slot, which then names no file.
    void AcceptTemporaries(const QString& folder, IScopePrompt* prompt);

    int m_nSelected = 0;
    std::vector<QString> m_strPaths = std::vector<QString>(kSlots);
    std::vector<bool> m_bTempFile = std::vector<bool>(kSlots, false);
    QString m_strResultPath;
    std::set<QString> m_mapAvailable;
    std::set<QString> m_mapSelected;

private:
    void AfterRightChange();

    std::vector<ImageListRow> m_left;
    std::vector<ImageListRow> m_right;
    bool m_bAddEnabled = false;
    bool m_bDeleteEnabled = false;
    bool m_bCleanEnabled = false;
};
