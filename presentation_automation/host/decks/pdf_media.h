#pragma once

// The movies and sounds a PDF carries on its pages, as slides' media: movie annotations and
// screen annotations with a rendition action, as LaTeX's multimedia packages and PDF
// presentation tools write them. A medium the PDF names is read beside it, never from
// elsewhere; one the PDF embeds is written out into a folder of the host's cache.

#include "presentation_automation/host/decks/deck_description.h"

#include <QString>

namespace Poppler {
class Document;
} // namespace Poppler

namespace pa::host {

// The file a PDF in pdfFolder names as named, or empty with why when it is not to be read:
// an absolute path, a URL, or a path that leaves pdfFolder (through "..", or a link that
// points out of it), or no regular file.
QString pdfMediumPath(const QString &pdfFolder, const QString &named, QString *why);

// "<cacheDir>/<key>.pdf.media": where the media embedded in the PDF at pdf are written, the
// key following the file's path, size and modification time.
QString embeddedMediaFolder(const QString &cacheDir, const QString &pdf);
// Whether a folder's name is one embeddedMediaFolder gives.
bool isEmbeddedMediaFolderName(const QString &name);

// Adds the media of each page to the slide that shows it, starting with the first state that
// shows that page, with its rectangle from the annotation's. Only for a deck the importer did
// not describe (its media are described already). Media that cannot be used are left out,
// each with one line in the log. The folder of cacheDir its embedded media are in, or empty
// when it plays none.
QString addPdfMedia(Poppler::Document &doc, const QString &pdf, const QString &cacheDir,
                    DeckDescription &deck);

} // namespace pa::host
