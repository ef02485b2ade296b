#include "presentation_automation/host/shows/slide_media.h"

#include "presentation_automation/host/deadline_workers.h"
#include "presentation_automation/host/shows/frame_tap.h"
#include "presentation_automation/host/shows/media_admission.h"
#include "presentation_automation/host/shows/media_pipeline_limits.h"
#include "presentation_automation/host/shows/player_retirement.h"

#include <QAudioOutput>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

#include <algorithm>

namespace pa::host {

struct SlideMedia::Clip
{
    MediaClip clip;
    int slide = 0;
    int index = 0;
    QMediaPlayer *player = nullptr;
    QAudioOutput *audio = nullptr;
    QVideoSink *sink = nullptr;
    // Shared with the thread that makes its pictures; may outlive the clip there.
    std::shared_ptr<FrameTap> tap;
    QImage frame;
    bool failed = false;
    // On the slide the show is on, not only held ready for a step to come.
    bool shown = false;
    bool ended = false;
    // Why it cannot be played; said once, when its slide shows it.
    QString problem;
    bool told = false;
    QString folder;
    // The file its player plays.
    QString path;
    // A player that fails is made again once: GStreamer's pipelines, several starting at
    // once, now and then fail with "Internal data stream error" and play when made again.
    bool remade = false;
    // Sent to its trim's start once its file is loaded.
    bool positioned = false;
    // Playing on over a later slide than its own.
    bool carried = false;
    // How far it got, as last seen while it played (a video's frames, a sound's position),
    // and since when it got no further.
    qint64 seenProgress = -1;
    QElapsedTimer sinceProgress;
    // Its file is being asked whether it still answers.
    bool stallAsked = false;

    // Counted against the host's bound on open media: a player, or one being made.
    bool takesRoom() const { return (player != nullptr || opening) && !failed; }
    // What it is reckoned to hold (see mediumBytes): as a 1080p picture until its first frame.
    std::int64_t bytes = 0;

    qint64 trimStartMs() const { return static_cast<qint64>(clip.trimStartSeconds * 1000); }
    // Where it ends in the file; unknown until the backend knows the file's length.
    std::optional<qint64> endMs() const
    {
        const qint64 length = player != nullptr ? player->duration() : 0;
        if (length <= 0) {
            return std::nullopt;
        }
        return std::max(length - static_cast<qint64>(clip.trimEndSeconds * 1000), trimStartMs());
    }
    // Its file is being checked off the show's thread: no player yet, the poster shows.
    bool opening = false;
    // Gone with the clip: an answer that comes after it was let go finds it expired.
    std::shared_ptr<int> life = std::make_shared<int>(0);
};

bool mediaPlaybackAvailable()
{
    return true;
}

namespace {

// A PDF's media are named by their whole path; the listing and the log name the file.
QString shownName(const MediaClip &clip)
{
    return QFileInfo(clip.file).fileName();
}

// Every show's media, on the host's one show thread: the bound on open media is the host's.
std::vector<SlideMedia *> &everyShowsMedia()
{
    static std::vector<SlideMedia *> all;
    return all;
}

// Only a regular file: a pipe or a device would hold the backend's reader for good. Its first
// bytes are read so that a share that hangs on reads is found here, not by the backend.
QString checkMediumFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        return QStringLiteral("its file is missing or not a regular file");
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("its file cannot be opened (%1)").arg(file.errorString());
    }
    char first[4096];
    if (file.read(first, sizeof first) <= 0) {
        return QStringLiteral("its file is empty or cannot be read");
    }
    return {};
}

} // namespace

MediaRoom &MediaRoom::instance()
{
    static MediaRoom room;
    return room;
}

void MediaRoom::tell()
{
    if (m_due) {
        return;
    }
    m_due = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_due = false;
            emit changed();
        },
        Qt::QueuedConnection);
}

void SlideMedia::countEveryShow(MediaCounts &open, MediaCounts &heldReady)
{
    for (const SlideMedia *media : everyShowsMedia()) {
        media->countOpen(open, heldReady);
    }
    PlayerRetirement::instance().countOverdue(open);
}

std::int64_t SlideMedia::openBytes()
{
    MediaCounts open;
    MediaCounts heldReady;
    countEveryShow(open, heldReady);
    return open.bytes;
}

SlideMedia::SlideMedia(QObject *parent)
    : QObject(parent), m_checks(new DeadlineWorkers(4, this)), m_check(checkMediumFile)
{
    everyShowsMedia().push_back(this);
    auto *watch = new QTimer(this);
    watch->setInterval(1000);
    connect(watch, &QTimer::timeout, this, &SlideMedia::watchProgress);
    watch->start();
}

void SlideMedia::watchProgress()
{
    if (m_held) {
        return;
    }
    for (const auto *list : {&m_clips, &m_carried}) {
        for (const std::unique_ptr<Clip> &c : *list) {
            if (!c || c->player == nullptr || c->failed || c->ended ||
                c->player->playbackState() != QMediaPlayer::PlayingState) {
                continue;
            }
            const qint64 progress = c->tap ? c->tap->frames() : c->player->position();
            if (progress != c->seenProgress || !c->sinceProgress.isValid()) {
                c->seenProgress = progress;
                c->sinceProgress.start();
                continue;
            }
            if (progress == 0 || c->stallAsked || c->sinceProgress.elapsed() < m_checkDeadlineMs) {
                continue;
            }
            // It stopped while it plays: a file that no longer answers holds its reader.
            c->stallAsked = true;
            Clip *raw = c.get();
            const std::weak_ptr<int> life = c->life;
            m_checks->run(
                m_checkDeadlineMs, [check = m_check, path = c->path] { return check(path); },
                [raw, life](const QString &) {
                    if (!life.expired()) {
                        raw->stallAsked = false;
                        raw->sinceProgress.start();
                    }
                },
                [this, raw, life, seconds = m_checkDeadlineMs / 1000.0] {
                    if (life.expired() || raw->failed) {
                        return;
                    }
                    giveUp(*raw,
                           QStringLiteral("The medium %1 of slide %2 stopped: its file does "
                                          "not answer within %3 s; the slide's picture stays.")
                               .arg(shownName(raw->clip))
                               .arg(raw->slide)
                               .arg(seconds));
                });
        }
    }
}

void SlideMedia::giveUp(Clip &clip, const QString &problem)
{
    clip.failed = true;
    MediaRoom::instance().tell();
    if (clip.tap) {
        clip.tap->close();
    }
    clip.frame = QImage();
    clip.problem = problem;
    if (clip.shown) {
        tell(clip);
        emit frameChanged(clip.clip.rect);
        // An automatic step that waited for its end goes on.
        emit clipEnded();
    }
}

void SlideMedia::setFileCheck(FileCheck check, int deadlineMs)
{
    m_check = std::move(check);
    m_checkDeadlineMs = deadlineMs;
}

SlideMedia::~SlideMedia()
{
    stopAll();
    std::erase(everyShowsMedia(), this);
}

void SlideMedia::countOpen(MediaCounts &open, MediaCounts &heldReady) const
{
    for (const auto *list : {&m_clips, &m_carried, &m_prepared}) {
        for (const std::unique_ptr<Clip> &c : *list) {
            if (c && c->takesRoom()) {
                open.add(c->clip.kind, 1, c->bytes);
                if (list == &m_prepared) {
                    heldReady.add(c->clip.kind, 1, c->bytes);
                }
            }
        }
    }
}

MediaAdmission SlideMedia::admit(MediaKind kind, bool shown)
{
    MediaCounts open;
    MediaCounts heldReady;
    countEveryShow(open, heldReady);
    const MediaAdmission answer = admitMedium(kind, shown, open, heldReady);
    if (answer != MediaAdmission::AfterHeldOneGoes) {
        return answer;
    }
    // This show's own held clips first: its next step is the one least likely to come now.
    std::vector<SlideMedia *> order{this};
    for (SlideMedia *media : everyShowsMedia()) {
        if (media != this) {
            order.push_back(media);
        }
    }
    for (SlideMedia *media : order) {
        auto held =
            std::find_if(media->m_prepared.begin(), media->m_prepared.end(), [&](const auto &c) {
                return c && c->takesRoom() && c->clip.kind == kind;
            });
        if (held != media->m_prepared.end()) {
            media->release(**held);
            media->m_prepared.erase(held);
            return MediaAdmission::Open;
        }
    }
    return MediaAdmission::Refuse;
}

void SlideMedia::follow(const DeckDescription &deck, int slide, int state)
{
    if (slide != m_slide) {
        leaveFor(slide);
        m_slide = slide;
    }
    if (slide < 1 || slide > deck.slideCount()) {
        return;
    }
    const std::vector<MediaClip> &media = deck.slides[static_cast<size_t>(slide - 1)].media;
    m_clips.resize(media.size());
    for (size_t i = 0; i < media.size(); ++i) {
        const bool due = media[i].startState <= state;
        if (due && !m_clips[i]) {
            start(deck, static_cast<int>(i));
        } else if (!due && m_clips[i]) {
            // Stepped back before the click that started it.
            stop(static_cast<int>(i));
        }
    }
}

void SlideMedia::keepOnly(int slide)
{
    if (slide != m_slide) {
        leaveFor(slide);
    }
}

void SlideMedia::leaveFor(int slide)
{
    const auto goesOn = [slide](const Clip &c) {
        return c.clip.kind == MediaKind::Audio && c.player != nullptr && !c.failed && !c.ended &&
               slide > c.slide && slide - c.slide < c.clip.slideSpan;
    };
    std::vector<std::unique_ptr<Clip>> carried;
    for (std::unique_ptr<Clip> &c : m_carried) {
        if (goesOn(*c)) {
            carried.push_back(std::move(c));
        } else {
            release(*c);
        }
    }
    for (std::unique_ptr<Clip> &c : m_clips) {
        if (c && goesOn(*c)) {
            c->carried = true;
            carried.push_back(std::move(c));
        }
    }
    m_carried = std::move(carried);
    stopShown();
}

void SlideMedia::stopShown()
{
    for (size_t i = 0; i < m_clips.size(); ++i) {
        stop(static_cast<int>(i));
    }
    m_clips.clear();
    m_slide = 0;
}

void SlideMedia::release(Clip &clip)
{
    if (clip.player == nullptr) {
        return;
    }
    if (clip.tap) {
        clip.tap->close();
    }
    clip.player->disconnect(this);
    if (clip.sink != nullptr) {
        clip.sink->disconnect(this);
    }
    clip.audio->setMuted(true);
    // Stopping it waits for the backend's reader, which its file may hold for good. A clip
    // already said to have stopped for its file is not told of again.
    PlayerRetirement::instance().retire(
        clip.player, clip.path, m_check, m_checkDeadlineMs,
        clip.told ? QString()
                  : QStringLiteral("The medium %1 of slide %2 is let go without waiting for it: "
                                   "its file does not answer within %3 s; its player is freed "
                                   "once it does.")
                        .arg(shownName(clip.clip))
                        .arg(clip.slide)
                        .arg(m_checkDeadlineMs / 1000.0),
        clip.clip.kind, clip.bytes);
    clip.player = nullptr;
    clip.audio = nullptr;
    clip.sink = nullptr;
    MediaRoom::instance().tell();
}

std::vector<std::unique_ptr<SlideMedia::Clip>>::iterator SlideMedia::preparedAt(int slide,
                                                                                int index)
{
    return std::find_if(m_prepared.begin(), m_prepared.end(),
                        [&](const auto &c) { return c && c->slide == slide && c->index == index; });
}

void SlideMedia::stopAll()
{
    stopShown();
    for (const auto &c : m_carried) {
        release(*c);
    }
    m_carried.clear();
    for (const auto &c : m_prepared) {
        release(*c);
    }
    m_prepared.clear();
}

void SlideMedia::prepare(const DeckDescription &deck, const Step &next)
{
    std::vector<std::unique_ptr<Clip>> kept;
    std::vector<int> toOpen;
    const std::vector<MediaClip> *media = nullptr;
    if (next.kind != StepKind::Stay && next.to.slide >= 1 && next.to.slide <= deck.slideCount()) {
        media = &deck.slides[static_cast<size_t>(next.to.slide - 1)].media;
        const bool sameSlide = next.to.slide == m_slide;
        for (size_t i = 0; i < media->size(); ++i) {
            // The clips the step starts: on this slide those of the state it reaches, on
            // another every one due by then.
            const MediaClip &clip = (*media)[i];
            const bool starts =
                sameSlide ? clip.startState == next.to.state && (i >= m_clips.size() || !m_clips[i])
                          : clip.startState <= next.to.state;
            if (!starts) {
                continue;
            }
            const int index = static_cast<int>(i);
            if (auto held = preparedAt(next.to.slide, index); held != m_prepared.end()) {
                kept.push_back(std::move(*held));
            } else {
                toOpen.push_back(index);
            }
        }
    }
    // Those no longer wanted go first, so that the new ones may take their room.
    for (const auto &c : m_prepared) {
        if (c) {
            release(*c);
        }
    }
    m_prepared = std::move(kept);
    for (const int index : toOpen) {
        const MediaClip &clip = (*media)[static_cast<size_t>(index)];
        // Beyond the bound it is not held: it opens when its step comes, if it may then.
        if (admit(clip.kind, false) != MediaAdmission::Open) {
            continue;
        }
        m_prepared.push_back(open(deck.mediaFolder, clip, next.to.slide, index));
    }
}

std::unique_ptr<SlideMedia::Clip> SlideMedia::open(const QString &folder, const MediaClip &clip,
                                                   int slide, int index)
{
    auto c = std::make_unique<Clip>();
    c->clip = clip;
    c->bytes = mediumBytes(clip.kind, QSize());
    c->folder = folder;
    c->slide = slide;
    c->index = index;
    if (folder.isEmpty()) {
        c->failed = true;
        c->problem = QStringLiteral("The medium %1 of slide %2 is not played: the deck has no "
                                    "folder of media; the slide's picture stays.")
                         .arg(shownName(clip))
                         .arg(slide);
        return c;
    }
    // Even a stat of a file on a hung share can stop a thread for good: not the show's.
    const QString path = QFileInfo(QDir(folder).filePath(clip.file)).absoluteFilePath();
    c->opening = true;
    MediaRoom::instance().tell();
    Clip *raw = c.get();
    const std::weak_ptr<int> life = c->life;
    m_checks->run(
        m_checkDeadlineMs, [check = m_check, path] { return check(path); },
        [this, raw, life, path](const QString &why) {
            if (!life.expired()) {
                opened(*raw, path, why);
            }
        },
        [this, raw, life, path, seconds = m_checkDeadlineMs / 1000.0] {
            if (!life.expired()) {
                opened(*raw, path,
                       QStringLiteral("its file does not answer within %1 s").arg(seconds));
            }
        });
    return c;
}

void SlideMedia::opened(Clip &clip, const QString &path, const QString &why)
{
    clip.opening = false;
    if (!why.isEmpty()) {
        giveUp(clip, QStringLiteral("The medium %1 of slide %2 is not played: %3; the slide's "
                                    "picture stays.")
                         .arg(shownName(clip.clip))
                         .arg(clip.slide)
                         .arg(why));
        return;
    }
    makePlayer(clip, path);
    if (!clip.shown) {
        // Prepared for a step to come: paused, the backend decodes up to the first frame.
        clip.player->pause();
        return;
    }
    if (clip.tap) {
        clip.tap->setCounting(true);
    }
    clip.audio->setMuted(m_held);
    if (!m_held) {
        clip.player->play();
    }
}

void SlideMedia::makePlayer(Clip &clip, const QString &path)
{
    limitMediaPipelines();
    clip.path = path;
    clip.player = new QMediaPlayer(this);
    clip.audio = new QAudioOutput(clip.player);
    clip.audio->setVolume(static_cast<float>(clip.clip.volume));
    clip.audio->setMuted(true);
    clip.player->setAudioOutput(clip.audio);
    Clip *raw = &clip;
    if (clip.clip.kind == MediaKind::Video) {
        clip.sink = new QVideoSink(clip.player);
        clip.player->setVideoSink(clip.sink);
        clip.tap = std::make_shared<FrameTap>(
            this, [this](const std::shared_ptr<FrameTap> &tap) { takeFrame(tap.get()); });
        clip.tap->setTarget(drawnSize(clip.clip.rect));
        // Direct, whichever thread the backend delivers in: only the tap is touched there, and
        // the connection holds it, not the clip.
        connect(
            clip.sink, &QVideoSink::videoFrameChanged, clip.sink,
            [tap = clip.tap](const QVideoFrame &frame) { tap->deliver(frame); },
            Qt::DirectConnection);
    }
    connect(clip.player, &QMediaPlayer::errorOccurred, this,
            [this, raw](QMediaPlayer::Error, const QString &why) {
                if (raw->failed) {
                    return;
                }
                if (!raw->remade) {
                    // Whatever else this player says is of no use now.
                    raw->remade = true;
                    raw->failed = true;
                    QMetaObject::invokeMethod(
                        this, [this, raw] { remake(raw); }, Qt::QueuedConnection);
                    return;
                }
                giveUp(*raw, QStringLiteral("The medium %1 of slide %2 cannot be played (%3); "
                                            "the slide's picture stays.")
                                 .arg(shownName(raw->clip))
                                 .arg(raw->slide)
                                 .arg(why));
            });
    connect(
        clip.player, &QMediaPlayer::mediaStatusChanged, this,
        [this, raw](QMediaPlayer::MediaStatus status) {
            if ((status == QMediaPlayer::LoadedMedia || status == QMediaPlayer::BufferedMedia) &&
                !raw->positioned) {
                // The backend seeks only once the file is loaded.
                raw->positioned = true;
                if (raw->trimStartMs() > 0) {
                    raw->player->setPosition(raw->trimStartMs());
                }
            }
            if (status == QMediaPlayer::EndOfMedia && !raw->ended) {
                finish(*raw);
            }
        });
    if (clip.clip.trimEndSeconds > 0) {
        connect(clip.player, &QMediaPlayer::positionChanged, this, [this, raw](qint64 at) {
            const std::optional<qint64> end = raw->endMs();
            if (!raw->ended && !raw->failed && end && at >= *end &&
                raw->player->playbackState() == QMediaPlayer::PlayingState) {
                finish(*raw);
            }
        });
    }
    // A trimmed clip loops its part, which the backend's own loop does not know.
    clip.player->setLoops(clip.clip.loop && !clip.clip.trimmed() ? QMediaPlayer::Infinite : 1);
    clip.player->setSource(QUrl::fromLocalFile(path));
}

void SlideMedia::finish(Clip &clip)
{
    if (clip.clip.loop) {
        clip.player->setPosition(clip.trimStartMs());
        if (!m_held) {
            clip.player->play();
        }
        return;
    }
    clip.ended = true;
    if (clip.player->playbackState() == QMediaPlayer::PlayingState) {
        // At its trim's end: held there, as at the file's end.
        clip.player->pause();
    }
    if (clip.clip.hideWhenStopped && !clip.frame.isNull()) {
        clip.frame = QImage();
        if (clip.shown && !clip.carried) {
            emit frameChanged(clip.clip.rect);
        }
    }
    if (clip.shown && !clip.carried) {
        emit clipEnded();
    }
}

std::unique_ptr<SlideMedia::Clip> SlideMedia::refused(const MediaClip &clip, int slide, int index,
                                                      MediaAdmission why)
{
    auto c = std::make_unique<Clip>();
    c->clip = clip;
    c->slide = slide;
    c->index = index;
    c->failed = true;
    const bool video = clip.kind == MediaKind::Video;
    const QString already =
        why == MediaAdmission::RefuseForMemory
            ? QStringLiteral("the shows' media already take about %1 MiB, the most they hold")
                  .arg(openBytes() / (1024 * 1024))
            : QStringLiteral("the shows already play %1 %2, the most they play")
                  .arg(mostMediaAtOnce.of(clip.kind))
                  .arg(video ? QStringLiteral("videos") : QStringLiteral("sounds"));
    c->problem = QStringLiteral("The medium %1 of slide %2 is not played: %3 at once; the slide's "
                                "picture stays.")
                     .arg(shownName(clip))
                     .arg(slide)
                     .arg(already);
    return c;
}

void SlideMedia::remake(const Clip *failed)
{
    for (auto *list : {&m_clips, &m_prepared, &m_carried}) {
        for (std::unique_ptr<Clip> &c : *list) {
            if (c.get() != failed) {
                continue;
            }
            std::unique_ptr<Clip> fresh = open(c->folder, c->clip, c->slide, c->index);
            fresh->remade = true;
            fresh->shown = c->shown;
            fresh->carried = c->carried;
            if (fresh->tap) {
                fresh->tap->setCounting(fresh->shown);
            }
            release(*c);
            c = std::move(fresh);
            // Its file is checked again: the answer plays it as its clip is by then.
            if (c->opening) {
                return;
            }
            if (c->player != nullptr) {
                if (!c->shown) {
                    c->player->pause();
                } else {
                    c->audio->setMuted(m_held);
                    if (m_held) {
                        c->player->pause();
                    } else {
                        c->player->play();
                    }
                }
            } else if (c->shown) {
                tell(*c);
            }
            return;
        }
    }
}

void SlideMedia::tell(Clip &clip)
{
    if (!clip.told && !clip.problem.isEmpty()) {
        clip.told = true;
        qWarning("%s", qPrintable(clip.problem));
    }
}

void SlideMedia::start(const DeckDescription &deck, int index)
{
    std::unique_ptr<Clip> c;
    if (auto held = preparedAt(m_slide, index); held != m_prepared.end()) {
        c = std::move(*held);
        m_prepared.erase(held);
    } else {
        const MediaClip &clip =
            deck.slides[static_cast<size_t>(m_slide - 1)].media[static_cast<size_t>(index)];
        if (const MediaAdmission answer = admit(clip.kind, true); answer == MediaAdmission::Open) {
            c = open(deck.mediaFolder, clip, m_slide, index);
        } else {
            c = refused(clip, m_slide, index, answer);
        }
    }
    c->shown = true;
    if (c->tap) {
        c->tap->setCounting(true);
    }
    if (c->failed) {
        tell(*c);
    } else if (c->player != nullptr) {
        c->audio->setMuted(m_held);
        if (!m_held) {
            c->player->play();
        }
    }
    if (!c->frame.isNull()) {
        emit frameChanged(c->clip.rect);
    }
    m_clips[static_cast<size_t>(index)] = std::move(c);
}

void SlideMedia::stop(int index)
{
    std::unique_ptr<Clip> &c = m_clips[static_cast<size_t>(index)];
    if (!c) {
        return;
    }
    const bool hadFrame = !c->frame.isNull();
    const QRectF where = c->clip.rect;
    release(*c);
    c.reset();
    if (hadFrame) {
        emit frameChanged(where);
    }
}

bool SlideMedia::awaitsEnd() const
{
    return std::any_of(m_clips.begin(), m_clips.end(), [](const auto &c) {
        // One whose file is still being checked may yet play: the step waits for its answer.
        return c && (c->player != nullptr || c->opening) && !c->failed && !c->clip.loop &&
               !c->ended;
    });
}

void SlideMedia::setHeld(bool held)
{
    if (held == m_held) {
        return;
    }
    m_held = held;
    for (auto *list : {&m_clips, &m_carried}) {
        for (const auto &c : *list) {
            if (!c || c->player == nullptr || c->failed) {
                continue;
            }
            c->audio->setMuted(held);
            if (held) {
                c->player->pause();
            } else if (!c->ended && c->player->mediaStatus() != QMediaPlayer::EndOfMedia) {
                // Paused by the blank, or started behind it and not yet played.
                c->player->play();
            }
        }
    }
}

void SlideMedia::takeFrame(const FrameTap *tap)
{
    for (auto *list : {&m_clips, &m_prepared}) {
        for (const std::unique_ptr<Clip> &c : *list) {
            if (!c || c->tap.get() != tap) {
                continue;
            }
            if (const std::int64_t bytes =
                    mediumBytes(c->clip.kind, c->tap->frameSize(), c->tap->frameDeep());
                bytes != c->bytes) {
                c->bytes = bytes;
                MediaRoom::instance().tell();
            }
            QImage frame = c->tap->take();
            // Frames before the trim's start come as the file loads, before it is sent there.
            if (c->failed || frame.isNull() || (c->ended && c->clip.hideWhenStopped) ||
                (c->trimStartMs() > 0 &&
                 (!c->positioned || c->player->position() + 250 < c->trimStartMs()))) {
                return;
            }
            c->frame = std::move(frame);
            if (c->shown) {
                emit frameChanged(c->clip.rect);
            }
            return;
        }
    }
}

QSize SlideMedia::drawnSize(const QRectF &fractions) const
{
    if (m_pageRect.isEmpty()) {
        return {};
    }
    return (QSizeF(area(fractions, m_pageRect).size()) * m_devicePixelRatio).toSize();
}

void SlideMedia::paint(QPainter &painter, const QRect &pageRect) const
{
    const qreal ratio = painter.device() != nullptr ? painter.device()->devicePixelRatioF() : 1.0;
    if (pageRect != m_pageRect || ratio != m_devicePixelRatio) {
        // The window or its page changed size: pictures are made at the new one from now on.
        m_pageRect = pageRect;
        m_devicePixelRatio = ratio;
        for (auto *list : {&m_clips, &m_prepared}) {
            for (const std::unique_ptr<Clip> &c : *list) {
                if (c && c->tap) {
                    c->tap->setTarget(drawnSize(c->clip.rect));
                }
            }
        }
    }
    for (const auto &c : m_clips) {
        if (c && !c->frame.isNull()) {
            painter.drawImage(area(c->clip.rect, pageRect), c->frame);
        }
    }
}

bool SlideMedia::drawsVideo() const
{
    for (const auto &c : m_clips) {
        if (c && !c->frame.isNull()) {
            return true;
        }
    }
    return false;
}

SlideMedia::Playing SlideMedia::playing() const
{
    Playing out;
    for (auto *list : {&m_clips, &m_carried}) {
        for (const auto &c : *list) {
            if (!c || c->player == nullptr || c->failed ||
                c->player->playbackState() != QMediaPlayer::PlayingState) {
                continue;
            }
            out.playing = true;
            if (const std::optional<qint64> end = c->endMs(); !c->clip.loop && end) {
                const qint64 left = std::max<qint64>(*end - c->player->position(), 0);
                out.remainingMs = std::min(out.remainingMs.value_or(left), left);
            }
        }
    }
    return out;
}

QStringList SlideMedia::status() const
{
    QStringList lines;
    std::vector<const Clip *> clips;
    for (auto *list : {&m_clips, &m_carried}) {
        for (const auto &c : *list) {
            if (c) {
                clips.push_back(c.get());
            }
        }
    }
    for (const Clip *c : clips) {
        if (c->opening) {
            lines << QStringLiteral("%1 opening").arg(shownName(c->clip));
            continue;
        }
        if (c->failed || c->player == nullptr) {
            lines << QStringLiteral("%1 not played").arg(shownName(c->clip));
            continue;
        }
        const bool playing = c->player->playbackState() == QMediaPlayer::PlayingState;
        const qint64 elapsed = std::max<qint64>(c->player->position() - c->trimStartMs(), 0);
        const std::optional<qint64> end = c->endMs();
        QString line = QStringLiteral("%1 %2, %3 s elapsed")
                           .arg(shownName(c->clip), playing  ? QStringLiteral("playing")
                                                    : m_held ? QStringLiteral("held")
                                                             : QStringLiteral("stopped"))
                           .arg(elapsed / 1000.0, 0, 'f', 1);
        if (c->clip.loop) {
            line += QStringLiteral(", looping");
        } else if (end) {
            line += QStringLiteral(", %1 s remaining")
                        .arg(std::max<qint64>(*end - c->player->position(), 0) / 1000.0, 0, 'f', 1);
        }
        if (c->carried) {
            line += QStringLiteral(", from slide %1").arg(c->slide);
        }
        if (const int frames = c->tap ? c->tap->frames() : 0; frames > 0) {
            line += QStringLiteral(", %1 frames, %2 pictures, longest gap %3 ms")
                        .arg(frames)
                        .arg(c->tap->pictures())
                        .arg(c->tap->longestGapMs(), 0, 'f', 1);
        }
        lines << line;
    }
    return lines;
}

} // namespace pa::host
