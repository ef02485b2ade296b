#pragma once

// The show settings a deck carries itself. A PDF carries none; a .pptx or .odp may be set to
// loop until stopped, which the converted PDF loses, so it is read from the deck.

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <optional>

namespace pa::host {

// One member of a zip archive, uncompressed; nullopt when the archive cannot be read, has no
// such member or it is larger than maxBytes. Only the archive's directory and that member are
// read, so a deck full of videos costs no more than a small one.
std::optional<QByteArray> readZipMember(QIODevice &archive, const QString &name, qint64 maxBytes);

// Whether the deck's show loops until stopped: <p:showPr loop="1"> in a .pptx/.ppsx's
// ppt/presProps.xml, presentation:endless="true" in an .odp's content.xml. False for anything
// else, and for a deck that cannot be read.
bool deckLoops(const QString &path);

enum class DeckFormat
{
    Pptx,
    Odp,
};
// The same, from the deck's archive (its settings member read and its XML looked through).
bool archiveLoops(QIODevice &archive, DeckFormat format);
// The same, from the settings member's XML alone.
bool settingsXmlLoops(const QByteArray &xml, DeckFormat format);

} // namespace pa::host
