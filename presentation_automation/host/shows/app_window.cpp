#include "presentation_automation/host/shows/app_window.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace pa::host {

AppWindow::AppWindow()
    : m_lblActive(new QLabel(this)), m_table(new QTableWidget(0, 6, this)),
      m_cmdEndAll(new QPushButton(QStringLiteral("End all shows and quit"), this))
{
    setWindowTitle(QStringLiteral("Presentation host"));
    // Some window managers (fluxbox, icewm) focus every new window, even one shown without
    // activating; this one must not take the keys (a presenter's clicker) from the controllers.
    // It is a list with one button, used with the mouse.
    setWindowFlag(Qt::WindowDoesNotAcceptFocus, true);
    m_table->setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("File"),
                                        QStringLiteral("Slides"), QStringLiteral("Show"),
                                        QStringLiteral("Slide"), QStringLiteral("Window")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lblActive);
    layout->addWidget(m_table);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdEndAll);
    layout->addLayout(buttons);
    connect(m_cmdEndAll, &QPushButton::clicked, this, &AppWindow::cmdEndAll_Click);
    resize(900, 300);
    for (QWidget *child : findChildren<QWidget *>()) {
        child->installEventFilter(this);
    }
}

void AppWindow::cmdEndAll_Click()
{
    emit endAllRequested();
}

void AppWindow::showBehindShows()
{
    setAttribute(Qt::WA_ShowWithoutActivating, true);
    if (isMinimized()) {
        showNormal();
    } else {
        show();
    }
    // Mapping a window puts it on top; the host answers by raising its shows again.
    emit cameForward();
}

bool AppWindow::event(QEvent *event)
{
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::WindowActivate || event->type() == QEvent::MouseButtonPress) {
        emit cameForward();
    }
    return handled;
}

bool AppWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Taking no focus, it is not activated by a click, which brings it forward all the same.
    if (event->type() == QEvent::MouseButtonPress) {
        emit cameForward();
    }
    return QWidget::eventFilter(watched, event);
}

void AppWindow::setRows(const std::vector<PresentationRow> &rows, const QString &active)
{
    m_lblActive->setText(QStringLiteral("Active presentation: ") + active);
    m_table->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r) {
        const auto &row = rows[static_cast<size_t>(r)];
        const QStringList cells{row.id, row.file, row.slides, row.show, row.slide, row.placement};
        for (int c = 0; c < cells.size(); ++c) {
            m_table->setItem(r, c, new QTableWidgetItem(cells[c]));
        }
    }
}

} // namespace pa::host
