#pragma once

// One running slide show: a frameless window drawing the page of its current slide and build
// state letterboxed on black. Until the frame of a new page is ready the window keeps the old
// one, so a step never flashes blank; a slide entered forwards comes in through its
// transition once its frame is there, and a build entered by Next (or on its own) plays its
// effects once its frame is there, if the pictures they need were held when it was asked for.

#include "presentation_automation/host/decks/slide_stepping.h"
#include "presentation_automation/host/shows/effect_player.h"
#include "presentation_automation/host/shows/show_blank.h"
#include "presentation_automation/placement/placement.h"

#include <QImage>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace pa::host {

class SlideMedia;
class TransitionPlayer;

class ShowWindow : public QWidget
{
    Q_OBJECT

public:
    ShowWindow(std::int64_t presId, DeckDescription deck, const QString &title);

    std::int64_t presId() const { return m_presId; }
    int currentSlide() const { return m_stepper.position().slide; }
    int slideCount() const { return m_stepper.deck().slideCount(); }
    // 0-based build state of the current slide, and how many it has.
    int currentState() const { return m_stepper.position().state; }
    int stateCount() const { return m_stepper.stateCount(); }
    // The 1-based page of the PDF that shows the current slide and state.
    int currentPage() const { return m_stepper.page() + 1; }
    // The 1-based pages to keep rendered, most wanted first.
    std::vector<int> pagesAround() const;
    // The slide and 1-based page whose frame is on screen now (0 before the first frame).
    int shownSlide() const { return m_shownSlide; }
    int shownPage() const { return m_shownPage; }
    bool transitionRunning() const;
    StepPosition position() const { return m_stepper.position(); }
    const DeckDescription &deck() const { return m_stepper.deck(); }
    // The build on screen plays its effects.
    bool effectsRunning() const;
    // The build stepped to plays effects once its frame shows, given their pictures first
    // (setEffectPictures); without them it is cut to.
    bool effectsDue() const { return m_effectsDue; }
    void setEffectPictures(EffectPictures pictures);
    // The builds that Next goes to from here, one and two presses ahead: their effects'
    // pictures are held ahead.
    std::vector<StepPosition> buildsAhead() const;
    // The step, the page on screen and the last transition's pacing, for the status listing.
    QString stepStatus() const;
    // The size frames are rendered at: the window in device pixels.
    QSize frameBox() const;

    // The slide's size in points; its shape gives the window's height.
    void setSlideSize(const QSizeF &points) { m_slideSize = points; }
    // A deck set to loop until stopped: Next on the last slide goes to the first.
    void setLoop(bool loop) { m_stepper.setLoop(loop); }
    bool loops() const { return m_stepper.loops(); }

    // Where the controllers asked for the window, in points from the primary display's corner.
    const RequestedPlacement &requested() const { return m_requested; }
    void setRequestedLeft(double points);
    void setRequestedTop(double points);
    void setRequestedWidth(double points);
    // All three at once, as a show put back after a restart was placed.
    void setRequested(const RequestedPlacement &placement);
    // Fills the primary display, as a show starts.
    void placeFullPrimary();
    // Moves the window to its requested place on these displays. Unless always, a window whose
    // requested rectangle lies on no display stays where the window system put it.
    void placeOn(const DisplayLayout &layout, bool always = true);

    // Stepping, as the keys and the host's clients do it, by the deck's builds. Next on the
    // last slide stays there unless the deck loops; previous on the first stays there. A step
    // during a transition or a build's effects ends them at once and then steps; only Next
    // plays the effects of the build it goes to.
    void next();
    void previous();
    // slide must be in 1..slideCount(). resetSlide false: the slide as it was left.
    void gotoSlide(int slide, bool resetSlide = true);
    // Back where a journal left the show, without a transition.
    void restorePosition(int slide, int state);
    // A frame of page (1-based); one of any other page than the current one is not shown.
    // Behind a blank it is kept for the reveal, and no transition plays.
    void showFrame(const QImage &frame, int page);

    // The view state (see ShowBlank), answered at once; state must be valid. A blank covers
    // any paint from now on; drawViewState() puts the state on screen now.
    std::int32_t viewState() const { return m_blank.state(); }
    bool blanked() const { return m_blank.blanked(); }
    void setViewState(std::int32_t state);
    void drawViewState();
    void endShow();
    // The media of the slide the show is on.
    const SlideMedia &media() const { return *m_media; }

signals:
    // The slide or its build state changed.
    void slideChanged();
    void viewStateChanged();
    void frameBoxChanged();
    void transitionStarted(double seconds);
    void effectsStarted(double seconds);
    void ended();

protected:
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // byNext: the step is a Next press or an automatic build, which plays a build's effects.
    void step(StepKind kind, bool byNext = false);
    // Ends what moves on the window at once, at its end; painted now unless the caller paints
    // what comes next.
    void finishMotion(bool paint = true);
    // A step from whatever moves: it ends unpainted, and the step's own state is painted
    // instead, so the end is never flashed before it; when that state's frame is not there
    // yet, the end shows until it comes.
    void stepFromMotion(const std::function<StepKind()> &move, bool byNext = false);
    void armAutomaticStep();
    // Where the page is drawn in the window.
    QRect pageRect() const;

    std::int64_t m_presId;
    SlideStepper m_stepper;
    int m_shownSlide = 0;
    int m_shownPage = 0;
    bool m_painted = false; // since stepFromMotion began
    QImage m_frame;
    bool m_ended = false;
    // The transition a slide entered forwards plays once its frame is there.
    std::optional<Transition> m_pendingTransition;
    TransitionPlayer *m_transition;
    EffectPlayer *m_effects;
    bool m_effectsDue = false;
    std::optional<EffectPictures> m_effectPictures;
    SlideMedia *m_media;
    ShowBlank m_blank;
    QTimer m_automaticStep;
    QSizeF m_slideSize;
    RequestedPlacement m_requested;
};

} // namespace pa::host
