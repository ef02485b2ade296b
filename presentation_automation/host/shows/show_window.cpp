#include "presentation_automation/host/shows/show_window.h"

#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/shows/displays.h"
#include "presentation_automation/host/shows/effect_player.h"
#include "presentation_automation/host/shows/slide_media.h"
#include "presentation_automation/host/shows/transitions.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>

#include <cmath>
#include <utility>

namespace pa::host {

ShowWindow::ShowWindow(std::int64_t presId, DeckDescription deck, const QString &title)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus),
      m_presId(presId), m_stepper(std::move(deck), false), m_transition(new TransitionPlayer(this)),
      m_effects(new EffectPlayer(this)), m_media(new SlideMedia(this))
{
    setWindowTitle(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    // A focused show is lifted over the controllers' topmost windows by some window managers,
    // and the presenter's keys belong to the controllers; so a show never takes the focus,
    // not even when it appears.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    m_automaticStep.setSingleShot(true);
    m_automaticStep.setTimerType(Qt::PreciseTimer);
    connect(&m_automaticStep, &QTimer::timeout, this, [this] {
        // Its delay counts from the start of the build before: effects still playing end.
        stepFromMotion([this] { return m_stepper.next(); }, true);
    });
    connect(m_transition, &TransitionPlayer::finished, this, &ShowWindow::armAutomaticStep);
    // Only the videos' rectangles are painted again for their frames.
    connect(m_media, &SlideMedia::frameChanged, this,
            [this](const QRectF &page) { update(SlideMedia::area(page, pageRect())); });
    // An automatic step from a state whose clips play waits for their end.
    connect(m_media, &SlideMedia::clipEnded, this, &ShowWindow::armAutomaticStep);
}

std::vector<int> ShowWindow::pagesAround() const
{
    std::vector<int> pages =
        pa::host::pagesAround(m_stepper.deck(), m_stepper.position(), m_stepper.loops());
    for (int &page : pages) {
        ++page;
    }
    return pages;
}

bool ShowWindow::transitionRunning() const
{
    return m_transition->running();
}

bool ShowWindow::effectsRunning() const
{
    return m_effects->running();
}

void ShowWindow::setEffectPictures(EffectPictures pictures)
{
    if (m_effectsDue) {
        m_effectPictures = std::move(pictures);
    }
}

std::vector<StepPosition> ShowWindow::buildsAhead() const
{
    std::vector<StepPosition> builds;
    StepPosition at = m_stepper.position();
    for (int press = 0; press < 2; ++press) {
        const Step next = nextStep(m_stepper.deck(), at, m_stepper.loops());
        if (next.kind != StepKind::Build) {
            break;
        }
        builds.push_back(next.to);
        at = next.to;
    }
    return builds;
}

QString ShowWindow::stepStatus() const
{
    QString text = QStringLiteral("step %1 of %2, page %3")
                       .arg(currentState() + 1)
                       .arg(stateCount())
                       .arg(currentPage());
    const TransitionPacing pacing = m_transition->lastPacing();
    if (pacing.frames > 0) {
        text += QStringLiteral(", last transition %1 %2")
                    .arg(transitionKindName(pacing.transition.kind),
                         pacingText(pacing, pacing.transition.seconds));
    }
    if (m_effects->running()) {
        text += QStringLiteral(", effects playing");
    }
    if (const EffectPacing effects = m_effects->lastPacing(); effects.frames > 0) {
        text += QStringLiteral(", last effects %1 %2")
                    .arg(effects.effects)
                    .arg(pacingText(effects, effects.seconds));
    }
    text += QStringLiteral(", page on screen: %1")
                .arg(m_shownPage == 0 ? QStringLiteral("none yet") : QString::number(m_shownPage));
    if (const QStringList media = m_media->status(); !media.isEmpty()) {
        text += QStringLiteral(", media: ") + media.join(QStringLiteral("; "));
    }
    if (const int ready = m_media->preparedCount(); ready > 0) {
        text += QStringLiteral(", media ready for the next step: %1").arg(ready);
    }
    return text;
}

QSize ShowWindow::frameBox() const
{
    return (QSizeF(size()) * devicePixelRatioF()).toSize();
}

void ShowWindow::setRequestedLeft(double points)
{
    m_requested.left = points;
    placeOn(currentDisplayLayout());
}

void ShowWindow::setRequestedTop(double points)
{
    m_requested.top = points;
    placeOn(currentDisplayLayout());
}

void ShowWindow::setRequestedWidth(double points)
{
    m_requested.width = points;
    placeOn(currentDisplayLayout());
}

void ShowWindow::setRequested(const RequestedPlacement &placement)
{
    m_requested = placement;
    placeOn(currentDisplayLayout());
}

void ShowWindow::placeFullPrimary()
{
    const DisplayLayout layout = currentDisplayLayout();
    m_requested = fullPrimary(layout);
    placeOn(layout);
}

void ShowWindow::placeOn(const DisplayLayout &layout, bool always)
{
    const QRect wanted = requestedRect(layout, m_requested, m_slideSize);
    const auto display = displayHolding(layout, wanted);
    if (!display && !always) {
        return;
    }
    if (!exactPlacementAvailable()) {
        // Where windows cannot be placed, the nearest thing: all of the display asked for.
        static bool told = false;
        if (!told) {
            told = true;
            qWarning("Exact placement of show windows is not available on this window system "
                     "(Wayland without XWayland); each show fills the display that holds its "
                     "requested rectangle.");
        }
        if (QScreen *screen = screenOf(display.value_or(layout.primary))) {
            setScreen(screen);
            setGeometry(screen->geometry());
        }
        setWindowState(windowState() | Qt::WindowFullScreen);
        return;
    }
    setGeometry(windowRect(layout, m_requested, m_slideSize));
}

void ShowWindow::finishMotion(bool paint)
{
    m_transition->finish(paint);
    m_effects->finish(paint);
}

void ShowWindow::stepFromMotion(const std::function<StepKind()> &move, bool byNext)
{
    const bool moving = m_transition->running() || m_effects->running();
    finishMotion(false);
    m_painted = false;
    step(move(), byNext);
    if (moving && !m_painted) {
        repaint();
    }
}

void ShowWindow::next()
{
    stepFromMotion([this] { return m_stepper.next(); }, true);
}

void ShowWindow::previous()
{
    stepFromMotion([this] { return m_stepper.previous(); });
}

void ShowWindow::gotoSlide(int slide, bool resetSlide)
{
    stepFromMotion([this, slide, resetSlide] { return m_stepper.gotoSlide(slide, resetSlide); });
}

void ShowWindow::restorePosition(int slide, int state)
{
    stepFromMotion([this, slide, state] {
        m_stepper.restore(StepPosition{slide, state});
        return StepKind::Back;
    });
}

void ShowWindow::step(StepKind kind, bool byNext)
{
    if (kind == StepKind::Stay) {
        return;
    }
    m_automaticStep.stop();
    m_effectPictures.reset();
    const BuildState &state = m_stepper.deck()
                                  .slides[static_cast<size_t>(currentSlide() - 1)]
                                  .states[static_cast<size_t>(currentState())];
    m_effectsDue = byNext && kind == StepKind::Build && !state.effects.empty();
    // Leaving a slide silences it at once; the next slide's media start as its frame shows.
    m_media->keepOnly(currentSlide());
    const Transition &entering =
        m_stepper.deck().slides[static_cast<size_t>(currentSlide() - 1)].transition;
    if (kind == StepKind::Forward && entering.kind != TransitionKind::Cut) {
        m_pendingTransition = entering;
    } else {
        m_pendingTransition.reset();
    }
    emit slideChanged();
}

void ShowWindow::showFrame(const QImage &frame, int page)
{
    if (frame.isNull() || page != currentPage()) {
        return;
    }
    if (m_transition->running()) {
        // The same page again at another size, while it is coming in.
        m_frame = frame;
        m_transition->setTarget(frame);
        return;
    }
    if (m_effects->running()) {
        // Shown as the effects end.
        m_frame = frame;
        return;
    }
    const QImage old = m_frame;
    m_frame = frame;
    m_shownPage = page;
    m_shownSlide = currentSlide();
    m_media->follow(m_stepper.deck(), currentSlide(), currentState());
    m_media->prepare(m_stepper.deck(),
                     nextStep(m_stepper.deck(), m_stepper.position(), m_stepper.loops()));
    const bool effectsDue = std::exchange(m_effectsDue, false);
    std::optional<EffectPictures> pictures = std::exchange(m_effectPictures, std::nullopt);
    if (m_blank.covering()) {
        // The slide changed unseen: the reveal shows it without the transition or the effects
        // it came with.
        m_pendingTransition.reset();
        if (m_blank.slideShown()) {
            repaint();
        }
        armAutomaticStep();
        return;
    }
    if (m_pendingTransition && !old.isNull() && isVisible()) {
        const Transition transition = *m_pendingTransition;
        m_pendingTransition.reset();
        m_transition->start(transition, old, frame);
        emit transitionStarted(transition.seconds);
        return;
    }
    m_pendingTransition.reset();
    if (effectsDue && pictures && isVisible() && pictures->under.size() == frame.size()) {
        std::vector<SlideEffect> effects = m_stepper.deck()
                                               .slides[static_cast<size_t>(currentSlide() - 1)]
                                               .states[static_cast<size_t>(currentState())]
                                               .effects;
        fitParagraphsToInk(effects, *pictures);
        const double seconds = effectsEndSeconds(effects);
        // The state before's frame is the very picture held for it.
        const bool underShown = !old.isNull() && old.cacheKey() == pictures->under.cacheKey();
        m_effects->start(std::move(effects), std::move(*pictures), pageRect(), underShown);
        emit effectsStarted(seconds);
        // The next automatic step counts from the start of this one, effects included.
        armAutomaticStep();
        return;
    }
    // Painted now rather than at the next idle moment, so a held slide appears at once.
    repaint();
    armAutomaticStep();
}

void ShowWindow::setViewState(std::int32_t state)
{
    if (state == m_blank.state()) {
        return;
    }
    m_blank.set(state);
    m_media->setHeld(m_blank.blanked());
    if (m_blank.blanked()) {
        // Whatever was coming in is there behind the blank at once.
        finishMotion();
    }
    if (state == ppSlideShowPaused) {
        m_automaticStep.stop();
    } else {
        armAutomaticStep();
    }
    emit viewStateChanged();
}

void ShowWindow::drawViewState()
{
    if (m_blank.draw(m_shownPage == currentPage())) {
        repaint();
    }
}

void ShowWindow::armAutomaticStep()
{
    if (m_ended || m_transition->running() || m_automaticStep.isActive() ||
        m_shownPage != currentPage() || m_blank.state() == ppSlideShowPaused) {
        return;
    }
    const auto seconds = automaticDelay(m_stepper.deck(), m_stepper.position());
    if (seconds && m_media->awaitsEnd()) {
        // Armed again by the clip's end.
        return;
    }
    if (seconds) {
        m_automaticStep.start(static_cast<int>(std::lround(*seconds * 1000.0)));
    }
}

void ShowWindow::endShow()
{
    if (m_ended) {
        return;
    }
    m_ended = true;
    m_automaticStep.stop();
    m_media->stopAll();
    finishMotion();
    hide();
    emit ended();
}

void ShowWindow::paintEvent(QPaintEvent *event)
{
    m_painted = true;
    QPainter painter(this);
    if (m_blank.paint(painter, rect())) {
        return;
    }
    if (m_transition->running()) {
        m_transition->paint(painter);
        return;
    }
    if (m_frame.isNull() && !m_effects->running()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QRect slide = pageRect();
    // Only the bars are filled: a full-window fill under the slide doubles a step's painting.
    for (const QRect &bar : QRegion(rect()).subtracted(QRegion(slide))) {
        painter.fillRect(bar, Qt::black);
    }
    if (m_effects->running()) {
        m_effects->paint(painter, event->region());
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(slide, m_frame);
    }
    m_media->paint(painter, slide);
}

QRect ShowWindow::pageRect() const
{
    if (m_frame.isNull()) {
        return rect();
    }
    const QSize logical = (QSizeF(m_frame.size()) / m_frame.devicePixelRatio()).toSize();
    return letterboxRect(logical, size());
}

void ShowWindow::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down:
    case Qt::Key_Space:
    case Qt::Key_PageDown:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        next();
        break;
    case Qt::Key_Left:
    case Qt::Key_Up:
    case Qt::Key_PageUp:
    case Qt::Key_Backspace:
        previous();
        break;
    case Qt::Key_Home:
        gotoSlide(1);
        break;
    case Qt::Key_End:
        gotoSlide(slideCount());
        break;
    case Qt::Key_Escape:
        endShow();
        break;
    default:
        QWidget::keyPressEvent(event);
    }
}

void ShowWindow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        next();
    } else {
        QWidget::mousePressEvent(event);
    }
}

void ShowWindow::resizeEvent(QResizeEvent *event)
{
    // Its pictures are of the old size.
    finishMotion();
    QWidget::resizeEvent(event);
    emit frameBoxChanged();
}

void ShowWindow::closeEvent(QCloseEvent *event)
{
    // Closed from outside (the window manager): the show ends as with Esc.
    QWidget::closeEvent(event);
    endShow();
}

} // namespace pa::host
