#pragma once

// The transitions a PDF carries on its own pages (/Trans), as slide transitions: what
// LibreOffice writes for a deck's transitions, and what other tools write for theirs.

#include "presentation_automation/host/decks/deck_description.h"

namespace Poppler {
class Document;
class PageTransition;
} // namespace Poppler

namespace pa::host {

// A cut when there is none or it is of a kind the host does not draw.
Transition transitionFrom(const Poppler::PageTransition *pdf);

// Each slide that has no transition of its own takes the one of its first page; of a deck
// the importer did not describe, each slide without a timing takes its last page's display
// duration.
void addPdfTransitions(Poppler::Document &doc, DeckDescription &deck);

} // namespace pa::host
