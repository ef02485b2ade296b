#include "file_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace platform {

bool QtFileOpenDialog::show(QWidget *parent)
{
    QFileDialog dialog(parent, m_title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setNameFilters(m_filters);
    if (!m_filters.isEmpty()) {
        dialog.selectNameFilter(m_filters.first());
    }
    if (!m_fileName.isEmpty()) {
        dialog.setDirectory(QFileInfo(m_fileName).absolutePath());
        dialog.selectFile(m_fileName);
    } else if (QDir(m_initialDirectory).exists()) {
        dialog.setDirectory(m_initialDirectory);
    }
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    m_fileName = QDir::toNativeSeparators(dialog.selectedFiles().first());
    return true;
}

} // namespace platform
