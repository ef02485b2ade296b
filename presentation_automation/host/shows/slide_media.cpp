#include "presentation_automation/host/shows/slide_media.h"

#include <QAudioOutput>
#include <QDir>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QPainter>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>

#include <algorithm>

namespace pa::host {

struct SlideMedia::Clip
{
    MediaClip clip;
    QMediaPlayer *player = nullptr;
    QAudioOutput *audio = nullptr;
    QVideoSink *sink = nullptr;
    QImage frame;
    bool failed = false;
};

bool mediaPlaybackAvailable()
{
    return true;
}

SlideMedia::SlideMedia(QObject *parent) : QObject(parent) {}

SlideMedia::~SlideMedia()
{
    stopAll();
}

void SlideMedia::follow(const DeckDescription &deck, int slide, int state)
{
    if (slide != m_slide) {
        stopAll();
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
            start(deck.mediaFolder, media[i], static_cast<int>(i));
        } else if (!due && m_clips[i]) {
            // Stepped back before the click that started it.
            stop(static_cast<int>(i));
        }
    }
}

void SlideMedia::keepOnly(int slide)
{
    if (slide != m_slide) {
        stopAll();
    }
}

void SlideMedia::stopAll()
{
    for (size_t i = 0; i < m_clips.size(); ++i) {
        stop(static_cast<int>(i));
    }
    m_clips.clear();
    m_slide = 0;
}

void SlideMedia::start(const QString &folder, const MediaClip &clip, int index)
{
    auto c = std::make_unique<Clip>();
    c->clip = clip;
    const QString path = QDir(folder).filePath(clip.file);
    const QFileInfo info(path);
    // Only a regular file: a pipe or a device would hold the backend's reader for good.
    if (folder.isEmpty() || !info.isFile()) {
        qWarning("The medium %s of slide %d is not played: its file is missing or not a regular "
                 "file; the slide's picture stays.",
                 qPrintable(clip.file), m_slide);
        c->failed = true;
        m_clips[static_cast<size_t>(index)] = std::move(c);
        return;
    }
    c->player = new QMediaPlayer(this);
    c->audio = new QAudioOutput(c->player);
    c->audio->setVolume(static_cast<float>(clip.volume));
    c->audio->setMuted(m_held);
    c->player->setAudioOutput(c->audio);
    if (clip.kind == MediaKind::Video) {
        c->sink = new QVideoSink(c->player);
        c->player->setVideoSink(c->sink);
        Clip *raw = c.get();
        connect(c->sink, &QVideoSink::videoFrameChanged, this,
                [this, raw](const QVideoFrame &frame) {
                    if (raw->failed || !frame.isValid()) {
                        return;
                    }
                    raw->frame = frame.toImage();
                    emit frameChanged(raw->clip.rect);
                });
    }
    Clip *raw = c.get();
    const int slide = m_slide;
    connect(c->player, &QMediaPlayer::errorOccurred, this,
            [this, raw, slide](QMediaPlayer::Error, const QString &why) {
                if (raw->failed) {
                    return;
                }
                raw->failed = true;
                raw->frame = QImage();
                qWarning("The medium %s of slide %d cannot be played (%s); the slide's picture "
                         "stays.",
                         qPrintable(raw->clip.file), slide, qPrintable(why));
                emit frameChanged(raw->clip.rect);
            });
    c->player->setLoops(clip.loop ? QMediaPlayer::Infinite : 1);
    c->player->setSource(QUrl::fromLocalFile(info.absoluteFilePath()));
    if (!m_held) {
        c->player->play();
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
    if (c->player != nullptr) {
        c->player->disconnect(this);
        if (c->sink != nullptr) {
            c->sink->disconnect(this);
        }
        c->player->stop();
        // Its backend may still deliver from its threads: gone once back at the event loop.
        c->player->deleteLater();
    }
    c.reset();
    if (hadFrame) {
        emit frameChanged(where);
    }
}

void SlideMedia::setHeld(bool held)
{
    if (held == m_held) {
        return;
    }
    m_held = held;
    for (const auto &c : m_clips) {
        if (!c || c->player == nullptr || c->failed) {
            continue;
        }
        c->audio->setMuted(held);
        if (held) {
            c->player->pause();
        } else if (c->player->mediaStatus() != QMediaPlayer::EndOfMedia) {
            // Paused by the blank, or started behind it and not yet played.
            c->player->play();
        }
    }
}

void SlideMedia::paint(QPainter &painter, const QRect &pageRect) const
{
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
    for (const auto &c : m_clips) {
        if (!c || c->player == nullptr || c->failed ||
            c->player->playbackState() != QMediaPlayer::PlayingState) {
            continue;
        }
        out.playing = true;
        const qint64 length = c->player->duration();
        if (!c->clip.loop && length > 0) {
            const qint64 left = std::max<qint64>(length - c->player->position(), 0);
            out.remainingMs = std::min(out.remainingMs.value_or(left), left);
        }
    }
    return out;
}

QStringList SlideMedia::status() const
{
    QStringList lines;
    for (const auto &c : m_clips) {
        if (!c) {
            continue;
        }
        if (c->failed || c->player == nullptr) {
            lines << QStringLiteral("%1 not played").arg(c->clip.file);
            continue;
        }
        const bool playing = c->player->playbackState() == QMediaPlayer::PlayingState;
        const qint64 elapsed = c->player->position();
        const qint64 length = c->player->duration();
        QString line = QStringLiteral("%1 %2, %3 s elapsed")
                           .arg(c->clip.file, playing  ? QStringLiteral("playing")
                                              : m_held ? QStringLiteral("held")
                                                       : QStringLiteral("stopped"))
                           .arg(elapsed / 1000.0, 0, 'f', 1);
        if (c->clip.loop) {
            line += QStringLiteral(", looping");
        } else if (length > 0) {
            line += QStringLiteral(", %1 s remaining")
                        .arg(std::max<qint64>(length - elapsed, 0) / 1000.0, 0, 'f', 1);
        }
        lines << line;
    }
    return lines;
}

} // namespace pa::host
