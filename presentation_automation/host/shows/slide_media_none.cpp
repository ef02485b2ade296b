// Without Qt Multimedia: every slide keeps the pictures of its media, and the log says so once.

#include "presentation_automation/host/shows/slide_media.h"

namespace pa::host {

struct SlideMedia::Clip
{
};

bool mediaPlaybackAvailable()
{
    return false;
}

MediaRoom &MediaRoom::instance()
{
    static MediaRoom room;
    return room;
}

void MediaRoom::tell() {}

SlideMedia::SlideMedia(QObject *parent) : QObject(parent) {}

std::int64_t SlideMedia::openBytes()
{
    return 0;
}

SlideMedia::~SlideMedia() = default;

void SlideMedia::follow(const DeckDescription &deck, int slide, int)
{
    if (slide < 1 || slide > deck.slideCount() ||
        deck.slides[static_cast<size_t>(slide - 1)].media.empty()) {
        return;
    }
    static bool told = false;
    if (!told) {
        told = true;
        qWarning("This host is built without media playback: videos and sounds of slides are "
                 "not played, their pictures show.");
    }
}

void SlideMedia::keepOnly(int) {}

void SlideMedia::stopAll() {}

void SlideMedia::stopShown() {}

void SlideMedia::leaveFor(int) {}

void SlideMedia::finish(Clip &) {}

void SlideMedia::prepare(const DeckDescription &, const Step &) {}

bool SlideMedia::awaitsEnd() const
{
    return false;
}

void SlideMedia::tell(Clip &) {}

void SlideMedia::remake(const Clip *) {}

std::unique_ptr<SlideMedia::Clip> SlideMedia::open(const QString &, const MediaClip &, int, int)
{
    return nullptr;
}

void SlideMedia::setHeld(bool) {}

void SlideMedia::paint(QPainter &, const QRect &) const {}

bool SlideMedia::drawsVideo() const
{
    return false;
}

SlideMedia::Playing SlideMedia::playing() const
{
    return {};
}

QStringList SlideMedia::status() const
{
    return {};
}

void SlideMedia::setFileCheck(FileCheck, int) {}

void SlideMedia::opened(Clip &, const QString &, const QString &) {}

void SlideMedia::makePlayer(Clip &, const QString &) {}

void SlideMedia::start(const DeckDescription &, int) {}

void SlideMedia::stop(int) {}

} // namespace pa::host
