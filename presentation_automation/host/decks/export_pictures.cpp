#include "presentation_automation/host/decks/export_pictures.h"

#include <algorithm>

namespace pa::host {

size_t qHash(const PictureKey &key, size_t seed)
{
    return ::qHash(key.pdf, seed) ^ ::qHash(key.shape.format, seed) ^
           ::qHash(key.page * 31 + key.shape.size.width() * 7919 + key.shape.size.height(), seed);
}

void noteExportShape(std::vector<ExportShape> &shapes, const ExportShape &shape)
{
    shapes.erase(std::remove(shapes.begin(), shapes.end(), shape), shapes.end());
    shapes.insert(shapes.begin(), shape);
    if (shapes.size() > maxExportShapes) {
        shapes.resize(maxExportShapes);
    }
}

std::vector<int> picturePages(const DeckDescription &deck, int slideOnScreen,
                              const std::vector<std::int32_t> &prepared)
{
    std::vector<int> pages;
    const auto add = [&](int slide) {
        if (slide < 1 || slide > deck.slideCount()) {
            return;
        }
        const int page = deck.slides[static_cast<size_t>(slide - 1)].lastPage() + 1;
        if (std::find(pages.begin(), pages.end(), page) == pages.end()) {
            pages.push_back(page);
        }
    };
    add(slideOnScreen);
    for (std::int32_t slide : prepared) {
        add(slide);
    }
    add(slideOnScreen + 1);
    return pages;
}

PictureCache::PictureCache(int maxPictures, std::int64_t maxBytes)
    : m_maxPictures(maxPictures), m_maxBytes(maxBytes)
{}

const QByteArray *PictureCache::find(const PictureKey &key)
{
    auto it = m_pictures.find(key);
    if (it == m_pictures.end()) {
        return nullptr;
    }
    it->lastUse = ++m_clock;
    return &it->bytes;
}

void PictureCache::insert(const PictureKey &key, const QByteArray &bytes)
{
    if (bytes.size() > m_maxBytes) {
        return;
    }
    if (auto it = m_pictures.find(key); it != m_pictures.end()) {
        m_bytes -= it->bytes.size();
        m_pictures.erase(it);
    }
    while (!m_pictures.isEmpty() &&
           (m_pictures.size() >= m_maxPictures || m_bytes + bytes.size() > m_maxBytes)) {
        auto oldest =
            std::min_element(m_pictures.begin(), m_pictures.end(),
                             [](const Entry &a, const Entry &b) { return a.lastUse < b.lastUse; });
        m_bytes -= oldest->bytes.size();
        m_pictures.erase(oldest);
    }
    m_pictures.insert(key, Entry{bytes, ++m_clock});
    m_bytes += bytes.size();
}

void PictureCache::keepOnly(const std::set<QString> &pdfs)
{
    for (auto it = m_pictures.begin(); it != m_pictures.end();) {
        if (pdfs.count(it.key().pdf) == 0) {
            m_bytes -= it->bytes.size();
            it = m_pictures.erase(it);
        } else {
            ++it;
        }
    }
}

} // namespace pa::host
