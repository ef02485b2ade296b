#pragma once

// The host's application window: the list of open presentations, shown when a client
// makes the application visible.

#include <QStringList>
#include <QWidget>

#include <vector>

class QLabel;
class QTableWidget;

namespace pa::host {

struct PresentationRow
{
    QString id;
    QString file;
    QString slides;
    QString show;
    QString slide;
    QString placement;
};

class AppWindow : public QWidget
{
    Q_OBJECT

public:
    AppWindow();

    void setRows(const std::vector<PresentationRow> &rows, const QString &active);
    QTableWidget *table() const { return m_table; }

private:
    QLabel *m_lblActive;
    QTableWidget *m_table;
};

} // namespace pa::host
