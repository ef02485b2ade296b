#pragma once

// Slide frames: rendering pages with Poppler, the frames held ahead of each show, and the
// worker threads that render them. A Poppler document is never shared between threads:
// each worker opens its own.

#include <QHash>
#include <QImage>
#include <QObject>
#include <QRect>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace Poppler {
class Document;
}

namespace pa::host {

// Opens a PDF for rendering (Splash backend, antialiased). nullptr and a reason when it
// cannot be used: not a PDF, unreadable, locked by a password, or without pages. The header
// is checked first, so anything else, however large, is refused at once.
std::unique_ptr<Poppler::Document> loadPdf(const QString &path, QString *why);

// Empty when the file starts like a PDF, else why it is refused (the reason completes a
// sentence that starts with the file's name).
QString checkPdfHeader(const QString &path);

// The largest size with the page's proportions that fits in box (at least 1 by 1).
QSize fitSize(const QSizeF &page, const QSize &box);
// Where a frame of frameSize is drawn in a window of windowSize: centred, proportions kept.
QRect letterboxRect(const QSize &frameSize, const QSize &windowSize);

// page is 0-based. The page fitted into box, proportions kept.
QImage renderFitted(Poppler::Document &doc, int page, const QSize &box,
                    const std::atomic<bool> *abort = nullptr);
// The page stretched to exactly size.
QImage renderStretched(Poppler::Document &doc, int page, const QSize &size);

// A held frame scaled to an export's size. A small picture is first sampled down to a few
// times its size and then filtered: a smooth scale of a whole 1080p frame costs a step
// several milliseconds for each screen, and a thumbnail looks the same either way.
QImage scaledForExport(const QImage &frame, const QSize &size);

// An effect's sprite drawn from a page fitted into pageFrame pixels: the pixels of the page it
// covers, the object's box (fractions of the page) grown by a pixel each way so that its
// antialiased edge is whole, within the page. The renderer crops to it and the player draws
// the sprite there.
QRect spritePixels(const QRectF &box, const QSize &pageFrame);

// The part of a picture that is not wholly transparent (empty when all of it is).
QRect opaqueBounds(const QImage &image);
// A sprite's opaque part: told by the renderer, which finds it off the show's thread, or
// found now for a picture made elsewhere.
QRect spriteInk(const QImage &sprite);

// A page (or an effect's sprite) rendered at the scale of a page fitted into box. A sprite
// keeps only its crop, without paper (ARGB32 premultiplied, transparent around the object), so it
// is the object alone, with its opaque part told (spriteInk); whole pages are opaque.
QImage renderSprite(Poppler::Document &doc, int page, const QSize &box, const QRectF &crop,
                    const std::atomic<bool> *abort = nullptr);

struct FrameKey
{
    QString pdf;
    int slide = 0; // 1-based page of the PDF: one build state of a slide
    QSize box;     // the window's size in device pixels
    // A sprite: the part of the page (fractions) to keep, on a transparent paper. Empty: the
    // whole page, opaque.
    QRectF crop{};

    bool sprite() const { return !crop.isEmpty(); }
    bool operator==(const FrameKey &o) const
    {
        return slide == o.slide && box == o.box && crop == o.crop && pdf == o.pdf;
    }
};

size_t qHash(const FrameKey &key, size_t seed = 0);

// Frames held in memory, within a byte cap. Frames that are wanted (around a show's
// current slide) are evicted last; among the others the least recently used go first.
class FrameCache
{
public:
    explicit FrameCache(std::int64_t capBytes);

    const QImage *find(const FrameKey &key);
    // The largest held frame of that slide at any size, for exports (sprites are not slides).
    const QImage *findAnySize(const QString &pdf, int slide);
    bool contains(const FrameKey &key) const;
    // The pages (1-based) of a document held whole at one size, in ascending order.
    std::vector<int> heldPages(const QString &pdf, const QSize &box) const;
    // The sprites of a document held at one size.
    int heldSprites(const QString &pdf, const QSize &box) const;
    void setWanted(const std::vector<FrameKey> &wanted);
    // Drops every frame of a document not in pdfs: a show that ended holds none.
    void keepOnly(const std::set<QString> &pdfs);
    void insert(const FrameKey &key, const QImage &image);

    std::int64_t bytes() const { return m_bytes; }
    std::int64_t capBytes() const { return m_cap; }
    // A smaller cap lets frames go at once, the unwanted first.
    void setCapBytes(std::int64_t capBytes);
    int size() const { return static_cast<int>(m_frames.size()); }

private:
    struct Entry
    {
        QImage image;
        std::uint64_t lastUse = 0;
    };
    void evict();

    std::int64_t m_cap;
    std::int64_t m_bytes = 0;
    std::uint64_t m_clock = 0;
    QHash<FrameKey, Entry> m_frames;
    QHash<FrameKey, int> m_wanted;
};

inline std::int64_t frameBytes(const QSize &size)
{
    return static_cast<std::int64_t>(size.width()) * size.height() * 4;
}

// What a frame of key will hold, for a deck of pages of that size in points (a whole page at
// box when unknown).
std::int64_t frameBytes(const FrameKey &key, const QSizeF &pagePoints);

// Worker threads rendering the wanted frames in order. setWanted replaces the whole list;
// a render in progress whose frame is no longer wanted is abandoned. The first `urgent`
// frames are needed on screen now; the first worker takes them at normal priority, the
// others run at a lower priority and take only frames for later (or a share of the frames
// needed now when there are several), so rendering ahead never competes with painting and
// answering the controllers.
class RenderPool : public QObject
{
    Q_OBJECT

public:
    explicit RenderPool(int threads, QObject *parent = nullptr);
    ~RenderPool() override;

    void setWanted(std::vector<FrameKey> wanted, size_t urgent);
    // Frames for later also wait until then: a transition playing on screen keeps the
    // processor, and those frames are wanted only after it.
    void holdAheadUntil(std::chrono::steady_clock::time_point until);
    // The documents of the running shows; the workers close every other one they hold.
    void setLiveDocuments(std::set<QString> pdfs);

signals:
    // Delivered in the thread of the pool's owner.
    void frameReady(const pa::host::FrameKey &key, const QImage &image);

private:
    struct Worker
    {
        std::thread thread;
        std::optional<FrameKey> busyWith;
        std::atomic<bool> abort{false};
        bool lowPriority = false;
        std::uint64_t liveSeen = 0;
    };
    std::optional<FrameKey> takeJob(const Worker &worker);
    void run(Worker *worker);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::vector<FrameKey> m_queue;
    size_t m_urgent = 0;
    // Frames for later wait until the controllers have been quiet a moment, so that a step's
    // burst of requests (switches, then exports) does not compete with rendering ahead.
    std::chrono::steady_clock::time_point m_aheadAfter;
    std::chrono::steady_clock::time_point m_holdAhead;
    std::set<QString> m_live;
    std::uint64_t m_liveGeneration = 0;
    std::list<Worker> m_workers;
    bool m_stopping = false;
};

} // namespace pa::host
