#include "app_window.h"

#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace pa::host {

AppWindow::AppWindow() : m_lblActive(new QLabel(this)), m_table(new QTableWidget(0, 6, this))
{
    setWindowTitle(QStringLiteral("Presentation host"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("File"),
                                        QStringLiteral("Slides"), QStringLiteral("Show"),
                                        QStringLiteral("Slide"), QStringLiteral("Window")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_lblActive);
    layout->addWidget(m_table);
    resize(900, 300);
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
