#pragma once

// The three decks as the presentation application sees them: opened read-only and
// without windows, so nothing appears on the displays; slide counts and pictures come
// from the application, so they are what the screens will show.

#include "presentation_automation/automation.h"

#include <QByteArray>
#include <QSize>
#include <QString>
#include <QTemporaryDir>

#include <array>
#include <memory>
#include <optional>

namespace showcheck {

struct Deck
{
    QString path;
    std::optional<int> slideCount; // none when the deck could not be opened
    QString error;                 // the application's message when it could not
    std::shared_ptr<pa::Presentation> presentation;
};

class DeckSet
{
public:
    explicit DeckSet(pa::ApplicationFactory createApplication);

    void open(const std::array<QString, 3> &paths);

    const Deck &deck(int screen) const { return m_decks.at(static_cast<size_t>(screen - 1)); }
    std::array<std::optional<int>, 3> slideCounts() const;

    // The slide exported by the application as a JPEG of exactly that size. Throws
    // pa::AutomationError.
    QByteArray thumbnail(int screen, int slide, QSize size);

private:
    pa::ApplicationFactory m_createApplication;
    std::array<Deck, 3> m_decks;
    QTemporaryDir m_pictures;
};

} // namespace showcheck
