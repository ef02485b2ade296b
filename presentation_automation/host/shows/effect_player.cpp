#include "presentation_automation/host/shows/effect_player.h"

#include "presentation_automation/host/decks/frame_plan.h"
#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/shows/effect_motion.h"

#include <QPainter>
#include <QWidget>

#include <algorithm>

namespace pa::host {

namespace {

QTransform pageToWindow(const QRectF &page, const QSize &pageFrame)
{
    QTransform t;
    t.translate(page.x(), page.y());
    t.scale(page.width() / std::max(1, pageFrame.width()),
            page.height() / std::max(1, pageFrame.height()));
    return t;
}

} // namespace

std::optional<EffectPictures> heldEffectPictures(FrameCache &cache, const DeckDescription &deck,
                                                 StepPosition to, const QString &pdf,
                                                 const QSize &box)
{
    // Empty unless `to` is a build of the deck with effects.
    const std::vector<FrameKey> keys = effectFrames(deck, to, pdf, box);
    if (keys.empty()) {
        return std::nullopt;
    }
    for (const FrameKey &key : keys) {
        if (!cache.contains(key)) {
            return std::nullopt;
        }
    }
    EffectPictures pictures;
    pictures.under = *cache.find(keys.front());
    const auto sprite = [&](int page, const QRectF &rect) {
        const QImage *held = page >= 0 ? cache.find(spriteKey(pdf, box, page, rect)) : nullptr;
        return held != nullptr ? *held : QImage();
    };
    const BuildState &state =
        deck.slides[static_cast<size_t>(to.slide - 1)].states[static_cast<size_t>(to.state)];
    for (const SlideEffect &effect : state.effects) {
        pictures.sprites.push_back(sprite(effect.spritePage, effect.rect));
        pictures.afterSprites.push_back(sprite(effect.spriteAfterPage, effect.rect));
    }
    return pictures;
}

void fitParagraphsToInk(std::vector<SlideEffect> &effects, EffectPictures &pictures)
{
    const QSize frame = pictures.under.size();
    for (size_t i = 0; i < effects.size() && i < pictures.sprites.size(); ++i) {
        SlideEffect &effect = effects[i];
        QImage &sprite = pictures.sprites[i];
        const QRect at = spritePixels(effect.rect, frame);
        if (!effect.paragraph || sprite.isNull() || sprite.size() != at.size()) {
            continue;
        }
        QImage *after = i < pictures.afterSprites.size() && !pictures.afterSprites[i].isNull() &&
                                pictures.afterSprites[i].size() == at.size()
                            ? &pictures.afterSprites[i]
                            : nullptr;
        QRect ink = spriteInk(sprite);
        if (after != nullptr) {
            ink = ink.united(spriteInk(*after));
        }
        if (ink == sprite.rect()) {
            continue;
        }
        // spritePixels grows a box by a pixel: one each way inside the ink is what gives the
        // ink's pixels back.
        ink = ink.adjusted(1, 1, -1, -1);
        if (ink.width() < 1 || ink.height() < 1) {
            continue;
        }
        const QRect pixels = ink.translated(at.topLeft());
        effect.rect = QRectF(
            QPointF((pixels.left() + 0.5) / frame.width(), (pixels.top() + 0.5) / frame.height()),
            QPointF((pixels.right() + 0.5) / frame.width(),
                    (pixels.bottom() + 0.5) / frame.height()));
        const QRect cut = spritePixels(effect.rect, frame).translated(-at.topLeft());
        sprite = sprite.copy(cut);
        if (after != nullptr) {
            *after = after->copy(cut);
        }
    }
}

double effectsEndSeconds(const std::vector<SlideEffect> &effects)
{
    double end = 0;
    for (const SlideEffect &effect : effects) {
        end = std::max(end, effectEndSeconds(effect));
    }
    return end;
}

void paintEffects(QPainter &painter, const QRectF &page, const EffectPictures &pictures,
                  const std::vector<SlideEffect> &effects, double t, const QRegion *only)
{
    painter.save();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const QSize frame = pictures.under.size();
    const QTransform toWindow = pageToWindow(page, frame);
    if (only != nullptr) {
        const QTransform toPage = toWindow.inverted();
        for (const QRect &part : only->intersected(page.toAlignedRect())) {
            painter.drawImage(QRectF(part), pictures.under, toPage.mapRect(QRectF(part)));
        }
    } else {
        painter.drawImage(page, pictures.under);
    }
    // An object flying in from outside the slide is not drawn over the bars beside it.
    painter.setClipRect(page, Qt::IntersectClip);
    for (size_t i = 0; i < effects.size() && i < pictures.sprites.size(); ++i) {
        const QImage &sprite = pictures.sprites[i];
        if (sprite.isNull()) {
            continue;
        }
        const SpritePose pose = effectPose(effects[i], t, QSizeF(frame));
        if (!pose.visible || pose.opacity <= 0) {
            continue;
        }
        painter.save();
        painter.setTransform(toWindow, true);
        if (pose.clipped) {
            painter.setClipPath(pose.clip, Qt::IntersectClip);
        }
        painter.setTransform(pose.transform, true);
        const QRect at = spritePixels(effects[i].rect, frame);
        painter.setOpacity(pose.opacity);
        painter.drawImage(at, sprite);
        const QImage &after =
            i < pictures.afterSprites.size() ? pictures.afterSprites[i] : QImage();
        if (pose.afterMix > 0 && !after.isNull()) {
            painter.setOpacity(pose.opacity * std::min(1.0, pose.afterMix));
            painter.drawImage(at, after);
        }
        painter.restore();
    }
    painter.restore();
}

QRegion effectsArea(const QRectF &page, const EffectPictures &pictures,
                    const std::vector<SlideEffect> &effects, double t)
{
    const QSize frame = pictures.under.size();
    const QTransform toWindow = pageToWindow(page, frame);
    QRegion area;
    for (const SlideEffect &effect : effects) {
        const SpritePose pose = effectPose(effect, t, QSizeF(frame));
        if (!pose.visible) {
            continue;
        }
        QRectF box = pose.transform.mapRect(QRectF(spritePixels(effect.rect, frame)));
        if (pose.clipped) {
            box = box.intersected(pose.clip.boundingRect());
        }
        // A pixel around for the smoothing of a scaled or turned sprite.
        area += toWindow.mapRect(box).toAlignedRect().adjusted(-2, -2, 2, 2);
    }
    return area.intersected(page.toAlignedRect());
}

EffectPlayer::EffectPlayer(QWidget *window)
    : QObject(window), m_window(window), m_pacer(new FramePacer(window))
{
    connect(m_pacer, &FramePacer::tick, this, &EffectPlayer::tick);
}

EffectPacing EffectPlayer::lastPacing() const
{
    EffectPacing pacing;
    static_cast<FramePacing &>(pacing) = m_pacer->pacing();
    pacing.effects = static_cast<int>(m_effects.size());
    pacing.seconds = m_end;
    return pacing;
}

void EffectPlayer::start(std::vector<SlideEffect> effects, EffectPictures pictures,
                         const QRect &page, bool underShown)
{
    m_effects = std::move(effects);
    m_pictures = std::move(pictures);
    m_page = page;
    m_end = effectsEndSeconds(m_effects);
    m_t = 0;
    m_lastArea = effectsArea(m_page, m_pictures, m_effects, 0);
    m_running = true;
    m_pacer->start();
    if (underShown) {
        m_window->repaint(m_lastArea);
    } else {
        // The page under the objects replaces the one before: the whole window once.
        m_window->repaint();
    }
}

void EffectPlayer::finish(bool paint)
{
    if (!m_running) {
        return;
    }
    m_running = false;
    m_pacer->stop();
    m_pictures = EffectPictures();
    m_lastArea = QRegion();
    if (paint) {
        m_window->repaint();
    }
    emit finished();
}

void EffectPlayer::tick()
{
    const double t = m_pacer->elapsedSeconds();
    if (t >= m_end) {
        finish();
        return;
    }
    const QRegion area = effectsArea(m_page, m_pictures, m_effects, t);
    m_t = t;
    const QRegion changed = area.united(m_lastArea);
    m_lastArea = area;
    if (!changed.isEmpty()) {
        m_window->repaint(changed);
    } else {
        // Nothing moves yet (an effect waits for its delay): the picture on screen is this
        // moment's.
        m_pacer->frameDrawn();
    }
}

void EffectPlayer::paint(QPainter &painter, const QRegion &region)
{
    m_pacer->frameDrawn();
    paintEffects(painter, QRectF(m_page), m_pictures, m_effects, m_t, &region);
}

} // namespace pa::host
