#include "advanced/jobs/image_list.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "document/prompt.h"
#include "document/scope_doc.h"
#include "image/obj_image.h"
#include "settings/app_folders.h"
#include "settings/language_table.h"

void CImageListModel::Open(const std::vector<CScopeDoc*>& documents) {
    m_bAddEnabled = m_bDeleteEnabled = m_bCleanEnabled = false;
    m_left.clear();
    m_right.clear();
    m_mapAvailable.clear();
    m_mapSelected.clear();
    m_nSelected = 0;
    for (CScopeDoc* doc : documents) {
        if (!doc || doc->m_bLive) continue;
        ImageListRow row;
        row.text = doc->GetTitle();
        if (!doc->m_strPath.isEmpty()) {
            row.entry = {ImageListEntry::File, doc->m_strPath, nullptr};
        } else {
            row.entry = {ImageListEntry::OpenPicture, doc->GetTitle(), doc};
        }
        m_mapAvailable.insert(row.entry.m_strKey);
        m_left.push_back(std::move(row));
    }
}

void CImageListModel::AddFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        if (path.isEmpty() || m_mapAvailable.count(path)) continue;
        m_mapAvailable.insert(path);
        m_left.push_back({QFileInfo(path).fileName(), {ImageListEntry::File, path, nullptr}});
    }
}

void CImageListModel::LeftSelectionChanged(bool anySelected) {
    if (anySelected) m_bAddEnabled = true;
}

void CImageListModel::RightSelectionChanged(bool anySelected) {
    if (anySelected) m_bDeleteEnabled = true;
}

void CImageListModel::AddSelected(const std::vector<int>& leftRows) {
    m_bAddEnabled = false;
    for (int i : leftRows) {
        if (i < 0 || i >= static_cast<int>(m_left.size())) continue;
        const ImageListRow& row = m_left[i];
        if (m_mapSelected.count(row.entry.m_strKey)) continue;
        m_mapSelected.insert(row.entry.m_strKey);
        m_right.push_back(row);
    }
    AfterRightChange();
}

void CImageListModel::AddAll() {
    for (size_t i = 0; i < m_left.size(); ++i) {
        const ImageListRow& row = m_left[i];
        if (m_mapSelected.count(row.entry.m_strKey)) continue;
        m_mapSelected.insert(row.entry.m_strKey);
        m_right.insert(m_right.begin() + static_cast<std::ptrdiff_t>(std::min(i, m_right.size())),
                       row);
    }
    AfterRightChange();
}

void CImageListModel::DeleteRows(std::vector<int> rightRows) {
    m_bDeleteEnabled = false;
    std::sort(rightRows.begin(), rightRows.end());
    rightRows.erase(std::unique(rightRows.begin(), rightRows.end()), rightRows.end());
    // From the bottom up, so the remaining row numbers stay valid.
    for (auto it = rightRows.rbegin(); it != rightRows.rend(); ++it) {
        if (*it < 0 || *it >= static_cast<int>(m_right.size())) continue;
        m_mapSelected.erase(m_right[*it].entry.m_strKey);
        m_right.erase(m_right.begin() + *it);
    }
    AfterRightChange();
}

void CImageListModel::Clean() {
    m_right.clear();
    m_mapSelected.clear();
    AfterRightChange();
}

void CImageListModel::AfterRightChange() {
    m_nSelected = static_cast<int>(m_right.size());
    m_bCleanEnabled = m_nSelected > 0;
}

void CImageListModel::AcceptPaths() {
    m_nSelected = static_cast<int>(m_right.size());
    for (int i = 0; i < std::min(m_nSelected, kSlots); ++i) {
        const ImageListEntry& e = m_right[i].entry;
        m_strPaths[i] = e.m_nKind == ImageListEntry::File ? e.m_strKey : QString();
        m_bTempFile[i] = false;
    }
}

void CImageListModel::AcceptTemporaries(const QString& folder, IScopePrompt* prompt) {
    m_nSelected = static_cast<int>(m_right.size());
    if (!QFileInfo::exists(folder)) QDir().mkpath(folder);
    for (int i = 0; i < std::min(m_nSelected, kSlots); ++i) {
        const ImageListEntry& e = m_right[i].entry;
        const QString temp =
            MakeUniqueName(folder, QString::fromLatin1(kTempPrefix), QStringLiteral("bmp"), i);
        if (e.m_nKind == ImageListEntry::OpenPicture && e.m_pDoc) {
            e.m_pDoc->SaveToPath(temp);
        } else {
            FCObjImage picture;
            if (picture.LoadFromFile(e.m_strKey.toStdString())) {
                picture.ToTrueColor24();
                picture.SaveToFile(temp.toStdString());
            } else if (prompt) {
                prompt->message(QString::fromUtf8(kBrandTitle),
                                Translate(QStringLiteral("Invalid Image Format")));
            }
        }
        m_strPaths[i] = temp;
        m_bTempFile[i] = true;
    }
}
