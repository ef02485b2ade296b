// Kestro's blank screen: black or white over the show's slide, and back.

#include "frmKestro.h"

#include "error_message.h"

#include "platform/command_button.h"
#include "platform/error.h"
#include "platform/layout.h"

#include <QPushButton>

using platform::BlankKind;

void frmKestro::adoptBlank(std::int32_t viewState)
{
    m_blank = platform::isBlanked(viewState) ? viewState : pa::ppSlideShowRunning;
}

void frmKestro::createBlankControls()
{
    // The bottom row, right of the guide's link, free in both programs.
    cmdBlack = platform::makeControl<platform::CommandButton>(
        this, "cmdBlack", QStringLiteral("Black"), QRect(250, 208, 70, 30));
    cmdWhite = platform::makeControl<platform::CommandButton>(
        this, "cmdWhite", QStringLiteral("White"), QRect(325, 208, 70, 30));
    cmdShow = platform::makeControl<platform::CommandButton>(
        this, "cmdShow", QStringLiteral("Show"), QRect(400, 208, 70, 30));
    connect(cmdBlack, &QPushButton::clicked, this, &frmKestro::cmdBlack_Click);
    connect(cmdWhite, &QPushButton::clicked, this, &frmKestro::cmdWhite_Click);
    connect(cmdShow, &QPushButton::clicked, this, &frmKestro::cmdShow_Click);
}

void frmKestro::cmdBlack_Click()
{
    blankShow(BlankKind::Black);
}

void frmKestro::cmdWhite_Click()
{
    blankShow(BlankKind::White);
}

void frmKestro::cmdShow_Click()
{
    blankShow(BlankKind::Show);
}

void frmKestro::blankShow(BlankKind kind)
{
    try {
        if (!ppPres1) {
            throw platform::runtimeError(
                QStringLiteral("Object variable or With block variable not set"));
        }
        const std::int32_t target = platform::blankTargets(kind, {m_blank}).front();
        ppPres1->slideShowWindow()->view()->setState(target);
        m_blank = target;
    } catch (const std::exception &error) {
        report(kestro::errorMessage(error));
    }
}

void frmKestro::keepBlank(pa::SlideShowView &view)
{
    if (!platform::isBlanked(m_blank)) {
        return;
    }
    // Best effort: the step itself has succeeded, and the show's own rule keeps its blank.
    try {
        if (view.state() != m_blank) {
            view.setState(m_blank);
        }
    } catch (const std::exception &) {
    }
}

void frmKestro::resetBlank()
{
    // A show just started runs on its slide.
    m_blank = pa::ppSlideShowRunning;
}
