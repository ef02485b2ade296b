#include "remote_control/page_pictures.h"

#include "remote_control/remote_control.h"

#include "platform/busy_calls.h"

#include <QDateTime>
#include <QFile>

#include <algorithm>

namespace remote {

namespace {

// A page that asked for pictures this long ago is still looking.
constexpr qint64 watchMs = 30000;
// While a page looks: every so often, for hand steps and the show's own moves; sooner when
// a picture was not drawn yet.
constexpr int lookAgainMs = 1000;
constexpr int notDrawnMs = 250;
constexpr size_t maxMade = 48;
// An application that failed to answer is not asked again for a while: each call to a hung
// one would hold the window up until it timed out.
constexpr qint64 afterFailureMs = 10000;
constexpr qint64 slowFailureMs = 500;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

} // namespace

PagePictures::PagePictures(RemoteControl &control, Wanted wanted, QObject *parent)
    : QObject(parent), m_control(control), m_wanted(std::move(wanted))
{
    m_turn.setSingleShot(true);
    m_turn.setInterval(0);
    connect(&m_turn, &QTimer::timeout, this, &PagePictures::takeOne);
    m_again.setSingleShot(true);
    connect(&m_again, &QTimer::timeout, this, &PagePictures::lookAgain);
    connect(&m_control, &RemoteControl::picturesWanted, this, [this] {
        const bool wasWatching = m_watchUntilMs > nowMs();
        m_watchUntilMs = nowMs() + watchMs;
        if (!wasWatching) {
            lookAgain();
        }
    });
}

void PagePictures::refresh()
{
    if (m_watchUntilMs <= nowMs()) {
        return;
    }
    std::vector<std::pair<QString, std::pair<const void *, std::int32_t>>> wanted;
    for (const PagePicture &picture : m_wanted()) {
        wanted.push_back(
            {picture.name,
             {picture.presentation.get(), picture.slide.value_or(-1 - picture.after)}});
    }
    if (wanted != m_lastWanted) {
        lookAgain();
    }
}

void PagePictures::lookAgain()
{
    if (m_watchUntilMs <= nowMs()) {
        return; // nobody looks: the application is not asked
    }
    if (m_quietUntilMs > nowMs()) {
        m_again.start(int(m_quietUntilMs - nowMs()));
        return;
    }
    const std::vector<PagePicture> wanted = m_wanted();
    m_lastWanted.clear();
    for (const PagePicture &picture : wanted) {
        m_lastWanted.push_back(
            {picture.name,
             {picture.presentation.get(), picture.slide.value_or(-1 - picture.after)}});
    }
    m_todo.assign(wanted.begin(), wanted.end());
    m_missing = false;
    m_turn.start();
}

void PagePictures::takeOne()
{
    // Never a call inside the window's own: it is waiting on the application already.
    if (platform::BusyCalls::inCall()) {
        m_turn.start(20);
        return;
    }
    if (m_todo.empty()) {
        m_again.start(m_missing ? notDrawnMs : lookAgainMs);
        return;
    }
    const PagePicture picture = m_todo.front();
    m_todo.pop_front();
    m_turn.start(); // the next one after whatever the window has to do meanwhile
    const qint64 startedMs = nowMs();
    const std::optional<Resolved> resolved = resolve(picture);
    if (!resolved) {
        failed(nowMs() - startedMs);
        return;
    }
    if (resolved->slide == 0) {
        send(picture.name, {}, {});
        return;
    }
    const QByteArray tag = tagOf(*resolved);
    if (m_sent.value(picture.name) == tag) {
        return;
    }
    const auto made = std::find_if(m_made.begin(), m_made.end(),
                                   [&](const auto &entry) { return entry.first == tag; });
    if (made != m_made.end()) {
        send(picture.name, tag, made->second);
        return;
    }
    const QString file = m_dir.filePath(QStringLiteral("picture"));
    bool drawn = false;
    try {
        drawn = resolved->presentation->slides()
                    ->item(resolved->slide)
                    ->exportIfDrawn(file.toStdString(), "JPG", width, height);
    } catch (const std::exception &) {
        failed(nowMs() - startedMs);
        return;
    }
    if (!drawn) {
        m_missing = true;
        return;
    }
    QFile picked(file);
    if (!picked.open(QIODevice::ReadOnly)) {
        m_missing = true;
        return;
    }
    const QByteArray bytes = picked.readAll();
    m_made.emplace_back(tag, bytes);
    if (m_made.size() > maxMade) {
        m_made.pop_front();
    }
    send(picture.name, tag, bytes);
}

void PagePictures::failed(qint64 tookMs)
{
    if (tookMs < slowFailureMs) {
        m_missing = true; // refused at once (a show not running): asked again shortly
        return;
    }
    m_todo.clear();
    m_turn.stop();
    m_quietUntilMs = nowMs() + afterFailureMs;
    m_again.start(int(afterFailureMs));
}

std::optional<PagePictures::Resolved> PagePictures::resolve(const PagePicture &picture)
{
    Resolved resolved{picture.name, picture.presentation, 0};
    if (!picture.presentation) {
        return resolved; // no show on that screen
    }
    try {
        std::int32_t slide =
            picture.slide ? *picture.slide
                          : picture.presentation->slideShowWindow()->view()->slide()->slideIndex();
        slide += picture.after;
        if (slide < 1 || slide > picture.presentation->slides()->count()) {
            return resolved; // past the end: nothing comes next
        }
        resolved.slide = slide;
        return resolved;
    } catch (const std::exception &) {
        return std::nullopt;
    }
}

QByteArray PagePictures::tagOf(const Resolved &picture)
{
    // A number of our own for each presentation, never its address: a new one loaded where
    // an old one was gets a new number.
    m_serials.erase(std::remove_if(m_serials.begin(), m_serials.end(),
                                   [](const auto &entry) { return entry.first.expired(); }),
                    m_serials.end());
    int serial = 0;
    for (const auto &[weak, number] : m_serials) {
        if (!weak.owner_before(picture.presentation) && !picture.presentation.owner_before(weak)) {
            serial = number;
        }
    }
    if (serial == 0) {
        serial = m_nextSerial++;
        m_serials.emplace_back(picture.presentation, serial);
    }
    return QByteArray::number(serial) + '-' + QByteArray::number(picture.slide);
}

void PagePictures::send(const QString &name, const QByteArray &tag, const QByteArray &bytes)
{
    if (m_sent.contains(name) && m_sent.value(name) == tag) {
        return;
    }
    if (bytes.isEmpty() && !m_sent.contains(name)) {
        return;
    }
    if (bytes.isEmpty()) {
        m_sent.remove(name);
    } else {
        m_sent.insert(name, tag);
    }
    m_control.setPageData(name, tag, bytes);
}

} // namespace remote
