#pragma once

// The pictures the web remote's page shows, kept up to date from the presentation
// application while a page looks at them. Asked on the window's thread (the application's
// objects belong to it), one call at a time between the window's own work, and only from
// slides the application has drawn already: the page never makes the window wait.

#include "presentation_automation/automation.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace remote {

class RemoteControl;

struct PagePicture
{
    QString name; // "screen2/current", "slide/next"
    std::shared_ptr<pa::Presentation> presentation;
    // The slide; nothing: the slide its show is on now.
    std::optional<std::int32_t> slide;
    // Slides further on from that one (the slide after the one on screen).
    std::int32_t after = 0;
};

class PagePictures : public QObject
{
    Q_OBJECT

public:
    // The picture size of the page: the previews' shape, large enough for a tablet.
    static constexpr int width = 420;
    static constexpr int height = 300;

    using Wanted = std::function<std::vector<PagePicture>()>;
    PagePictures(RemoteControl &control, Wanted wanted, QObject *parent = nullptr);

    // The show may have moved: the pictures are looked at again (cheap when nothing moved).
    void refresh();

private:
    struct Resolved
    {
        QString name;
        std::shared_ptr<pa::Presentation> presentation;
        std::int32_t slide = 0; // 0: no picture
    };

    void lookAgain();
    void takeOne();
    std::optional<Resolved> resolve(const PagePicture &picture);
    // A call that failed after tookMs: a slow failure is an application not answering.
    void failed(qint64 tookMs);
    QByteArray tagOf(const Resolved &picture);
    void send(const QString &name, const QByteArray &tag, const QByteArray &bytes);

    RemoteControl &m_control;
    Wanted m_wanted;
    QTemporaryDir m_dir;
    QTimer m_turn;
    QTimer m_again;
    qint64 m_watchUntilMs = 0;
    qint64 m_quietUntilMs = 0;
    std::vector<std::pair<QString, std::pair<const void *, std::int32_t>>> m_lastWanted;
    std::deque<PagePicture> m_todo;
    bool m_missing = false;
    QHash<QString, QByteArray> m_sent;                    // name -> tag the page has
    std::deque<std::pair<QByteArray, QByteArray>> m_made; // tag -> picture, newest last
    std::vector<std::pair<std::weak_ptr<pa::Presentation>, int>> m_serials;
    int m_nextSerial = 1;
};

} // namespace remote
