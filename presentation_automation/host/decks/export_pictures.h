#pragma once

// Export pictures made ahead: a slide's picture at the sizes its controller asks for, scaled
// and encoded while the show waits, so that an export after a step only writes a file, and a
// web remote's picture of what comes next costs nothing when it is asked for.

#include "presentation_automation/host/decks/deck_description.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>
#include <set>
#include <vector>

namespace pa::host {

// A picture as an export asks for it: which page, how large, in which format ("jpg", ...).
struct ExportShape
{
    QSize size;
    QByteArray format;
    bool operator==(const ExportShape &o) const { return size == o.size && format == o.format; }
};

struct PictureKey
{
    QString pdf;
    int page = 0; // 1-based, as frames count
    ExportShape shape;
    bool operator==(const PictureKey &o) const
    {
        return page == o.page && shape == o.shape && pdf == o.pdf;
    }
};
size_t qHash(const PictureKey &key, size_t seed = 0);

// The shapes a presentation was exported at lately, the latest first; a controller's preview
// and a web remote's picture are two, so a few are kept.
inline constexpr size_t maxExportShapes = 3;
void noteExportShape(std::vector<ExportShape> &shapes, const ExportShape &shape);

// The pages whose pictures are made ahead, each once, most wanted first: the slide on screen,
// the slides its controller said come next, then the slide after the one on screen. Each
// slide fully built (its last page), as an export draws it.
std::vector<int> picturePages(const DeckDescription &deck, int slideOnScreen,
                              const std::vector<std::int32_t> &prepared);

// Encoded pictures, the least recently used dropped beyond a count and a byte cap.
class PictureCache
{
public:
    PictureCache(int maxPictures, std::int64_t maxBytes);
    const QByteArray *find(const PictureKey &key);
    void insert(const PictureKey &key, const QByteArray &bytes);
    // Drops the pictures of every document not in pdfs.
    void keepOnly(const std::set<QString> &pdfs);
    int size() const { return static_cast<int>(m_pictures.size()); }
    std::int64_t bytes() const { return m_bytes; }

private:
    struct Entry
    {
        QByteArray bytes;
        std::uint64_t lastUse = 0;
    };
    int m_maxPictures;
    std::int64_t m_maxBytes;
    std::int64_t m_bytes = 0;
    std::uint64_t m_clock = 0;
    QHash<PictureKey, Entry> m_pictures;
};

} // namespace pa::host
