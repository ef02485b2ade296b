// Corvane's blank screens: black or white over a screen's slide, per screen and for all three.

#include "frmControl.h"

#include "platform/error.h"
#include "platform/layout.h"
#include "platform/resume_next.h"

#include <QLabel>
#include <QPushButton>

#include <array>

using platform::BlankKind;
using platform::resumeNext;
using platform::twips;

namespace {

std::shared_ptr<pa::SlideShowView> viewOf(const std::shared_ptr<pa::Presentation> &pres)
{
    if (!pres) {
        throw platform::runtimeError(
            QStringLiteral("Object variable or With block variable not set"));
    }
    const std::shared_ptr<pa::SlideShowWindow> window = pres->slideShowWindow();
    std::shared_ptr<pa::SlideShowView> view = window ? window->view() : nullptr;
    if (!view) {
        throw platform::runtimeError(
            QStringLiteral("Object variable or With block variable not set"));
    }
    return view;
}

} // namespace

std::int32_t frmControl::blankOf(int screen) const
{
    return screen >= 1 && screen <= 3 ? m_blank[screen - 1] : pa::ppSlideShowRunning;
}

void frmControl::adoptBlank(int screen, std::int32_t viewState)
{
    if (screen < 1 || screen > 3) {
        return;
    }
    const std::int32_t blank = platform::isBlanked(viewState) ? viewState : pa::ppSlideShowRunning;
    if (m_blank[screen - 1] != blank) {
        m_blank[screen - 1] = blank;
        markBlank(screen);
    }
}

void frmControl::createBlankControls()
{
    auto button = [this](QPushButton *&control, const char *name, const QString &caption,
                         QRect rect, void (frmControl::*handler)()) {
        control = makeButton(name, caption, rect, handler);
    };
    // One row under each preview, between it and the file name box.
    struct Row
    {
        int left;
        std::array<QPushButton **, 3> controls;
        std::array<const char *, 3> names;
        std::array<void (frmControl::*)(), 3> handlers;
    };
    const Row rows[] = {
        {810,
         {&cmdBlackNorth, &cmdWhiteNorth, &cmdShowNorth},
         {"cmdBlackNorth", "cmdWhiteNorth", "cmdShowNorth"},
         {&frmControl::cmdBlackNorth_Click, &frmControl::cmdWhiteNorth_Click,
          &frmControl::cmdShowNorth_Click}},
        {4852,
         {&cmdBlackCenter, &cmdWhiteCenter, &cmdShowCenter},
         {"cmdBlackCenter", "cmdWhiteCenter", "cmdShowCenter"},
         {&frmControl::cmdBlackCenter_Click, &frmControl::cmdWhiteCenter_Click,
          &frmControl::cmdShowCenter_Click}},
        {8895,
         {&cmdBlackSouth, &cmdWhiteSouth, &cmdShowSouth},
         {"cmdBlackSouth", "cmdWhiteSouth", "cmdShowSouth"},
         {&frmControl::cmdBlackSouth_Click, &frmControl::cmdWhiteSouth_Click,
          &frmControl::cmdShowSouth_Click}},
    };
    const QString captions[] = {QStringLiteral("Black"), QStringLiteral("White"),
                                QStringLiteral("Show")};
    for (const Row &row : rows) {
        for (int i = 0; i < 3; ++i) {
            button(*row.controls[i], row.names[i], captions[i],
                   twips(row.left + i * 1000, 3870, 970, 300), row.handlers[i]);
        }
    }
    // All three at once, left of the file name box.
    lblBlankAll = new QLabel(QStringLiteral("All screens"), this);
    lblBlankAll->setObjectName(QStringLiteral("lblBlankAll"));
    lblBlankAll->setGeometry(twips(120, 4200, 2205, 255));
    button(cmdBlackAll, "cmdBlackAll", captions[0], twips(120, 4470, 720, 450),
           &frmControl::cmdBlackAll_Click);
    button(cmdWhiteAll, "cmdWhiteAll", captions[1], twips(870, 4470, 720, 450),
           &frmControl::cmdWhiteAll_Click);
    button(cmdShowAll, "cmdShowAll", captions[2], twips(1620, 4470, 720, 450),
           &frmControl::cmdShowAll_Click);
}

void frmControl::cmdBlackNorth_Click()
{
    blankScreens(BlankKind::Black, 3);
}
void frmControl::cmdWhiteNorth_Click()
{
    blankScreens(BlankKind::White, 3);
}
void frmControl::cmdShowNorth_Click()
{
    blankScreens(BlankKind::Show, 3);
}
void frmControl::cmdBlackCenter_Click()
{
    blankScreens(BlankKind::Black, 2);
}
void frmControl::cmdWhiteCenter_Click()
{
    blankScreens(BlankKind::White, 2);
}
void frmControl::cmdShowCenter_Click()
{
    blankScreens(BlankKind::Show, 2);
}
void frmControl::cmdBlackSouth_Click()
{
    blankScreens(BlankKind::Black, 1);
}
void frmControl::cmdWhiteSouth_Click()
{
    blankScreens(BlankKind::White, 1);
}
void frmControl::cmdShowSouth_Click()
{
    blankScreens(BlankKind::Show, 1);
}
void frmControl::cmdBlackAll_Click()
{
    blankScreens(BlankKind::Black, 0);
}
void frmControl::cmdWhiteAll_Click()
{
    blankScreens(BlankKind::White, 0);
}
void frmControl::cmdShowAll_Click()
{
    blankScreens(BlankKind::Show, 0);
}

void frmControl::blankScreens(BlankKind kind, int screen)
{
    std::vector<int> screens;
    for (int s = 1; s <= 3; ++s) {
        // A screen with no show has nothing to blank, and must not decide a toggle.
        if ((screen == 0 || screen == s) && presentationOf(s)) {
            screens.push_back(s);
        }
    }
    std::vector<std::int32_t> current;
    for (const int s : screens) {
        current.push_back(m_blank[s - 1]);
    }
    const std::vector<std::int32_t> targets = platform::blankTargets(kind, current);
    for (std::size_t i = 0; i < screens.size(); ++i) {
        const int s = screens[i];
        resumeNext([&] {
            viewOf(presentationOf(s))->setState(targets[i]);
            m_blank[s - 1] = targets[i];
        });
        markBlank(s);
    }
}

void frmControl::keepBlank(int screen)
{
    const std::int32_t blank = m_blank[screen - 1];
    if (!platform::isBlanked(blank)) {
        return;
    }
    resumeNext([&] {
        const std::shared_ptr<pa::SlideShowView> view = viewOf(presentationOf(screen));
        if (view->state() != blank) {
            view->setState(blank);
        }
    });
}

void frmControl::resetBlank(int screen)
{
    // A show just started runs on its slide.
    m_blank[screen - 1] = pa::ppSlideShowRunning;
    markBlank(screen);
}

void frmControl::markBlank(int screen)
{
    platform::markPreviewBlank(imageBoxOf(screen), m_blank[screen - 1]);
}
