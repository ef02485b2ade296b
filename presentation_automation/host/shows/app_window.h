#pragma once

// The host's application window: the list of open presentations, shown when a client
// makes the application visible.

#include <QStringList>
#include <QWidget>

#include <vector>

class QLabel;
class QPushButton;
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
    QPushButton *cmdEndAll() const { return m_cmdEndAll; }

    // Shows the window without raising it over the slide shows that are up.
    void showBehindShows();

signals:
    void endAllRequested();
    // The window came to the front (shown, clicked, activated): the host puts shows back over it.
    void cameForward();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void cmdEndAll_Click();

    QLabel *m_lblActive;
    QTableWidget *m_table;
    QPushButton *m_cmdEndAll;
};

} // namespace pa::host
