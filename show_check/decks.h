#pragma once

// The three decks as the presentation application sees them: opened read-only and
// without windows, so nothing appears on the displays; slide counts and pictures come
// from the application, so they are what the screens will show.

#include "presentation_automation/automation.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace showcheck {

struct Deck
{
    QString path;
    std::optional<int> slideCount; // none when the deck could not be opened
    QString error;                 // the application's message when it could not
    // Builds (Next presses inside a slide) per slide from slide 1; empty when the
    // application cannot tell.
    std::vector<int> builds;
    // What of the deck its show does not play; nullopt when the application cannot tell.
    std::optional<QStringList> importReport;
    std::shared_ptr<pa::Presentation> presentation;
};

class DeckSet
{
public:
    explicit DeckSet(pa::ApplicationFactory createApplication);

    void open(const std::array<QString, 3> &paths);

    const Deck &deck(int screen) const { return m_decks.at(static_cast<size_t>(screen - 1)); }
    std::array<std::optional<int>, 3> slideCounts() const;
    // Slide's builds on a screen; nullopt when not known.
    std::optional<int> builds(int screen, int slide) const;

    // The slide exported by the application as a JPEG of exactly that size. Throws
    // pa::AutomationError.
    QByteArray thumbnail(int screen, int slide, QSize size);

private:
    static void readSteps(Deck &deck);

    pa::ApplicationFactory m_createApplication;
    std::array<Deck, 3> m_decks;
    QTemporaryDir m_pictures;
};

} // namespace showcheck
