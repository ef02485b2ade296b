#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace platform {

// The one file-open dialog of a window: title, filters and starting folder set once, and
// the file name of its last use kept, as the original dialog control did.
class FileOpenDialog
{
public:
    virtual ~FileOpenDialog() = default;

    // Shows the dialog; true when the operator chose a file (then fileName() is it),
    // false when cancelled (fileName() keeps the earlier choice).
    virtual bool show(QWidget *parent) = 0;

    QString fileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    QString title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    // Name filters in dialog form, "Presentations (*.ppt)"; the first is selected.
    QStringList filters() const { return m_filters; }
    void setFilters(const QStringList &filters) { m_filters = filters; }
    QString initialDirectory() const { return m_initialDirectory; }
    void setInitialDirectory(const QString &dir) { m_initialDirectory = dir; }

protected:
    QString m_fileName;
    QString m_title;
    QStringList m_filters;
    QString m_initialDirectory;
};

// The folder a dialog opens in: its initial folder, or the user's documents folder (the home
// folder when there is none) while that does not exist.
QString startingFolder(const QString &initialDirectory);

class QtFileOpenDialog : public FileOpenDialog
{
public:
    bool show(QWidget *parent) override;
};

} // namespace platform
