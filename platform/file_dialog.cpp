#include "file_dialog.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

namespace platform {

QString startingFolder(const QString &initialDirectory)
{
    if (!initialDirectory.isEmpty() && QDir(initialDirectory).exists()) {
        return initialDirectory;
    }
    // Not where the program started from, which means nothing to the operator.
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(documents).exists() ? documents : QDir::homePath();
}

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
    } else {
        dialog.setDirectory(startingFolder(m_initialDirectory));
    }
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    m_fileName = QDir::toNativeSeparators(dialog.selectedFiles().first());
    return true;
}

} // namespace platform
