#pragma once

// Test fakes of the platform's dialogs: they never block and remember what was asked.

#include "platform/file_dialog.h"
#include "platform/message_box.h"

#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace platform::testing {

class FakeMessageBox : public MessageBox
{
public:
    struct Shown
    {
        QString text;
        QString caption;
    };

    void show(QWidget *, const QString &text, const QString &caption) override
    {
        shown.append({text, caption});
        if (onShow) {
            onShow(text, caption);
        }
    }

    QList<Shown> shown;
    // Runs while the "box is open", so a test can deliver other events then.
    std::function<void(const QString &, const QString &)> onShow;
};

class FakeFileOpenDialog : public FileOpenDialog
{
public:
    // Queue of answers: a path is chosen, std::nullopt is a cancel. Empty queue: cancel.
    QList<std::optional<QString>> answers;
    int shownCount = 0;
    // The filters offered at each show, first one selected.
    QList<QStringList> shownFilters;

    bool show(QWidget *) override
    {
        ++shownCount;
        shownFilters.append(m_filters);
        if (answers.isEmpty()) {
            return false;
        }
        const std::optional<QString> answer = answers.takeFirst();
        if (!answer) {
            return false;
        }
        m_fileName = *answer;
        return true;
    }
};

} // namespace platform::testing
