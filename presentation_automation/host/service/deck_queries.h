#pragma once

// Questions about a deck that its description answers, with no show needed: a slide's
// builds, and what of the deck the host does not play.

#include "presentation_automation/host/decks/deck_description.h"
#include "presentation_automation/host/service/protocol.h"

namespace pa::host {

// For Op::SlideBuilds and Op::ImportReport.
Reply answerDeckQuery(const Request &request, const DeckDescription &deck);

// Puts what of file's deck is not played into the host's log, a line each.
void logImportReport(const QString &file, const DeckDescription &deck);

} // namespace pa::host
