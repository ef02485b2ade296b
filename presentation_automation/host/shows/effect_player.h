#pragma once

// A build's effects drawn by the show window: the page they play over, each effect's object
// (its sprite, cut from a page that holds it alone) at its pose of the moment, and once every
// effect has ended the state's own page. Paced like transitions by the display's clock; only
// the areas the objects cover are drawn again, so three shows animate at once on one thread.

#include "presentation_automation/host/decks/deck_description.h"
#include "presentation_automation/host/decks/slide_stepping.h"
#include "presentation_automation/host/shows/frame_pacer.h"

#include <QImage>
#include <QObject>
#include <QRegion>

#include <optional>
#include <vector>

class QPainter;
class QWidget;

namespace pa::host {

class FrameCache;

// What one step's effects play with, all at the show's scale: the page under them and, for
// each effect in order, its sprite and the sprite it turns into (null when it has none).
struct EffectPictures
{
    QImage under;
    std::vector<QImage> sprites;
    std::vector<QImage> afterSprites;
};

// The pictures of the step into `to` from the frames held (see effectFrames); nullopt when any
// is not held, or the state has no effects to play.
std::optional<EffectPictures> heldEffectPictures(FrameCache &cache, const DeckDescription &deck,
                                                 StepPosition to, const QString &pdf,
                                                 const QSize &box);

// A paragraph's sprite is its whole text shape's box with the other paragraphs left out: each
// such effect's box becomes the paragraph's own (its sprites cut to their opaque part), so a
// wipe sweeps, and a zoom or spin turns about, the paragraph and not its shape.
void fitParagraphsToInk(std::vector<SlideEffect> &effects, EffectPictures &pictures);

// Seconds from a step's start until its last effect has ended.
double effectsEndSeconds(const std::vector<SlideEffect> &effects);

// The step at t seconds from its start, drawn onto the page's place in the window (logical
// pixels; the pictures are in the page's pixels, the under page's size).
// With `only`, the under page is drawn within that region alone, rectangle by rectangle: one
// large picture under a clip of several rectangles costs the raster engine a whole blend.
void paintEffects(QPainter &painter, const QRectF &page, const EffectPictures &pictures,
                  const std::vector<SlideEffect> &effects, double t, const QRegion *only = nullptr);
// Where the effects' objects are drawn at t: what changes between two moments is within the
// areas of both.
QRegion effectsArea(const QRectF &page, const EffectPictures &pictures,
                    const std::vector<SlideEffect> &effects, double t);

// How evenly the last build's effects of a window were drawn.
struct EffectPacing : FramePacing
{
    int effects = 0;
    double seconds = 0; // until the last one ended
};

// Plays one step's effects at a time on a window. Time, not frames, sets every pose, so a
// late frame never makes the effects longer.
class EffectPlayer : public QObject
{
    Q_OBJECT

public:
    explicit EffectPlayer(QWidget *window);

    bool running() const { return m_running; }
    // page: where the page is drawn in the window, for the whole of the step. underShown: the
    // window shows the under page already (the state before's), so only the objects' areas
    // are drawn for the first frame.
    void start(std::vector<SlideEffect> effects, EffectPictures pictures, const QRect &page,
               bool underShown = false);
    // Ends at once, every object where its effect leaves it (the state's own page); painted
    // now unless the caller paints what comes next itself.
    void finish(bool paint = true);
    // Draws the current moment onto the page's place, within the region the window paints,
    // and counts it as a frame.
    void paint(QPainter &painter, const QRegion &region);
    EffectPacing lastPacing() const;

signals:
    void finished();

private:
    void tick();

    QWidget *m_window;
    FramePacer *m_pacer;
    std::vector<SlideEffect> m_effects;
    EffectPictures m_pictures;
    QRect m_page;
    double m_end = 0;
    double m_t = 0;
    QRegion m_lastArea;
    bool m_running = false;
};

} // namespace pa::host
