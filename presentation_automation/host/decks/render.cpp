#include "presentation_automation/host/decks/render.h"

#include "presentation_automation/host/service/host_process.h"
#include "presentation_automation/host/service/regular_file.h"

#include <poppler-qt6.h>

#include <QFileInfo>
#include <QVariant>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

namespace pa::host {

QString checkPdfHeader(const QString &path)
{
    QString why;
    const int fd = openRegularFile(path, &why);
    if (fd < 0) {
        return why;
    }
    // Readers accept the marker anywhere in the first kilobyte (some files carry a prefix).
    char head[1024];
    ssize_t got = 0;
    for (;;) {
        const ssize_t n = ::read(fd, head + got, sizeof head - static_cast<size_t>(got));
        if (n > 0 && (got += n) < static_cast<ssize_t>(sizeof head)) {
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
    ::close(fd);
    if (!QByteArray::fromRawData(head, got).contains("%PDF-")) {
        return QStringLiteral("is not a readable PDF document");
    }
    return {};
}

std::unique_ptr<Poppler::Document> loadPdf(const QString &path, QString *why)
{
    *why = checkPdfHeader(path);
    if (!why->isEmpty()) {
        return nullptr;
    }
    auto doc = Poppler::Document::load(path);
    if (!doc) {
        *why = outOfFileDescriptors() ? QStringLiteral("cannot be opened: too many open files")
                                      : QStringLiteral("is not a readable PDF document");
        return nullptr;
    }
    if (doc->isLocked()) {
        *why = QStringLiteral("is protected by a password");
        return nullptr;
    }
    if (doc->numPages() <= 0) {
        *why = QStringLiteral("has no slides");
        return nullptr;
    }
    doc->setRenderBackend(Poppler::Document::SplashBackend);
    doc->setRenderHint(Poppler::Document::Antialiasing, true);
    doc->setRenderHint(Poppler::Document::TextAntialiasing, true);
    return doc;
}

QSize fitSize(const QSizeF &page, const QSize &box)
{
    if (page.width() <= 0 || page.height() <= 0 || box.isEmpty()) {
        return QSize(std::max(1, box.width()), std::max(1, box.height()));
    }
    const double scale = std::min(box.width() / page.width(), box.height() / page.height());
    const int w = std::clamp(static_cast<int>(std::lround(page.width() * scale)), 1, box.width());
    const int h = std::clamp(static_cast<int>(std::lround(page.height() * scale)), 1, box.height());
    return QSize(w, h);
}

QRect letterboxRect(const QSize &frameSize, const QSize &windowSize)
{
    const QSize fitted = fitSize(QSizeF(frameSize), windowSize);
    return QRect(QPoint((windowSize.width() - fitted.width()) / 2,
                        (windowSize.height() - fitted.height()) / 2),
                 fitted);
}

namespace {

bool shouldAbort(const QVariant &closure)
{
    const auto *flag = static_cast<const std::atomic<bool> *>(closure.value<void *>());
    return flag != nullptr && flag->load(std::memory_order_relaxed);
}

QImage renderAt(Poppler::Document &doc, int page, double xres, double yres,
                const std::atomic<bool> *abort, const QRect &part = QRect(-1, -1, -1, -1))
{
    std::unique_ptr<Poppler::Page> p(doc.page(page));
    if (!p) {
        return {};
    }
    QVariant closure = QVariant::fromValue(const_cast<void *>(static_cast<const void *>(abort)));
    QImage image = p->renderToImage(xres, yres, part.x(), part.y(), part.width(), part.height(),
                                    Poppler::Page::Rotate0, nullptr, nullptr,
                                    abort ? shouldAbort : nullptr, closure);
    if (abort != nullptr && abort->load()) {
        return {};
    }
    return image;
}

} // namespace

QImage renderFitted(Poppler::Document &doc, int page, const QSize &box,
                    const std::atomic<bool> *abort)
{
    std::unique_ptr<Poppler::Page> p(doc.page(page));
    if (!p) {
        return {};
    }
    const QSizeF points = p->pageSizeF();
    const QSize target = fitSize(points, box);
    const double res = 72.0 * target.width() / std::max(1.0, points.width());
    QImage image = renderAt(doc, page, res, res, abort);
    if (!image.isNull() && image.size() != target) {
        // Rounding inside the renderer may be a pixel off; frames are exactly what was asked.
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

QRect spritePixels(const QRectF &box, const QSize &pageFrame)
{
    const double w = pageFrame.width();
    const double h = pageFrame.height();
    const QRect grown(QPoint(static_cast<int>(std::floor(box.left() * w)) - 1,
                             static_cast<int>(std::floor(box.top() * h)) - 1),
                      QPoint(static_cast<int>(std::ceil(box.right() * w)),
                             static_cast<int>(std::ceil(box.bottom() * h))));
    return grown.intersected(QRect(QPoint(0, 0), pageFrame));
}

QImage renderSprite(Poppler::Document &doc, int page, const QSize &box, const QRectF &crop,
                    const std::atomic<bool> *abort)
{
    if (crop.isEmpty()) {
        return renderFitted(doc, page, box, abort);
    }
    std::unique_ptr<Poppler::Page> p(doc.page(page));
    if (!p) {
        return {};
    }
    const QSizeF points = p->pageSizeF();
    const QSize target = fitSize(points, box);
    const QRect part = spritePixels(crop, target);
    if (part.isEmpty()) {
        return {};
    }
    const double res = 72.0 * target.width() / std::max(1.0, points.width());
    // A transparent paper colour still comes out opaque black from Splash; leaving the paper
    // out gives premultiplied ARGB. The hint belongs to the document, which this thread alone
    // holds: set for this render.
    const bool paperless = doc.renderHints().testFlag(Poppler::Document::IgnorePaperColor);
    doc.setRenderHint(Poppler::Document::IgnorePaperColor, true);
    QImage image = renderAt(doc, page, res, res, abort, part);
    doc.setRenderHint(Poppler::Document::IgnorePaperColor, paperless);
    if (image.isNull()) {
        return image;
    }
    if (image.size() != part.size()) {
        image = image.scaled(part.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    image.convertTo(QImage::Format_ARGB32_Premultiplied);
    const QRect ink = opaqueBounds(image);
    image.setText(
        QStringLiteral("ink"),
        QStringLiteral("%1 %2 %3 %4").arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height()));
    return image;
}

QRect opaqueBounds(const QImage &image)
{
    if (image.isNull()) {
        return {};
    }
    if (!image.hasAlphaChannel()) {
        return image.rect();
    }
    const QImage argb = image.format() == QImage::Format_ARGB32_Premultiplied ||
                                image.format() == QImage::Format_ARGB32
                            ? image
                            : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = argb.width();
    const auto opaqueRow = [&](int y, int from, int to) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        for (int x = from; x < to; ++x) {
            if (qAlpha(line[x]) != 0) {
                return x;
            }
        }
        return -1;
    };
    int top = 0;
    while (top < argb.height() && opaqueRow(top, 0, w) < 0) {
        ++top;
    }
    if (top == argb.height()) {
        return {};
    }
    int bottom = argb.height() - 1;
    while (opaqueRow(bottom, 0, w) < 0) {
        --bottom;
    }
    int left = w;
    int right = -1;
    for (int y = top; y <= bottom; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(argb.constScanLine(y));
        const int first = opaqueRow(y, 0, left);
        if (first >= 0) {
            left = first;
        }
        for (int x = w - 1; x > right; --x) {
            if (qAlpha(line[x]) != 0) {
                right = x;
                break;
            }
        }
    }
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

QRect spriteInk(const QImage &sprite)
{
    const QStringList told = sprite.text(QStringLiteral("ink")).split(QLatin1Char(' '));
    if (told.size() == 4) {
        return QRect(told[0].toInt(), told[1].toInt(), told[2].toInt(), told[3].toInt());
    }
    return opaqueBounds(sprite);
}

QImage renderStretched(Poppler::Document &doc, int page, const QSize &size)
{
    std::unique_ptr<Poppler::Page> p(doc.page(page));
    if (!p) {
        return {};
    }
    const QSizeF points = p->pageSizeF();
    const double xres = 72.0 * size.width() / std::max(1.0, points.width());
    const double yres = 72.0 * size.height() / std::max(1.0, points.height());
    QImage image = renderAt(doc, page, xres, yres, nullptr);
    if (!image.isNull() && image.size() != size) {
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return image;
}

QImage scaledForExport(const QImage &frame, const QSize &size)
{
    const QSize sampled = size * 4;
    if (sampled.width() < frame.width() && sampled.height() < frame.height()) {
        return frame.scaled(sampled, Qt::IgnoreAspectRatio, Qt::FastTransformation)
            .scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    return frame.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

size_t qHash(const FrameKey &key, size_t seed)
{
    size_t h = ::qHash(key.pdf, seed) ^
               ::qHash(key.slide * 31 + key.box.width() * 7919 + key.box.height(), seed);
    if (key.sprite()) {
        h ^= ::qHash(key.crop.x(), seed) ^ ::qHash(key.crop.y() * 3, seed) ^
             ::qHash(key.crop.width() * 5, seed) ^ ::qHash(key.crop.height() * 7, seed);
    }
    return h;
}

std::int64_t frameBytes(const FrameKey &key, const QSizeF &pagePoints)
{
    if (!key.sprite()) {
        return frameBytes(key.box);
    }
    return frameBytes(spritePixels(key.crop, fitSize(pagePoints, key.box)).size());
}

FrameCache::FrameCache(std::int64_t capBytes) : m_cap(capBytes) {}

const QImage *FrameCache::find(const FrameKey &key)
{
    auto it = m_frames.find(key);
    if (it == m_frames.end()) {
        return nullptr;
    }
    it->lastUse = ++m_clock;
    return &it->image;
}

const QImage *FrameCache::findAnySize(const QString &pdf, int slide)
{
    Entry *best = nullptr;
    for (auto it = m_frames.begin(); it != m_frames.end(); ++it) {
        if (it.key().slide == slide && !it.key().sprite() && it.key().pdf == pdf &&
            (best == nullptr || frameBytes(it->image.size()) > frameBytes(best->image.size()))) {
            best = &it.value();
        }
    }
    if (best == nullptr) {
        return nullptr;
    }
    best->lastUse = ++m_clock;
    return &best->image;
}

bool FrameCache::contains(const FrameKey &key) const
{
    return m_frames.contains(key);
}

std::vector<int> FrameCache::heldPages(const QString &pdf, const QSize &box) const
{
    std::vector<int> pages;
    for (auto it = m_frames.begin(); it != m_frames.end(); ++it) {
        if (it.key().box == box && !it.key().sprite() && it.key().pdf == pdf) {
            pages.push_back(it.key().slide);
        }
    }
    std::sort(pages.begin(), pages.end());
    return pages;
}

int FrameCache::heldSprites(const QString &pdf, const QSize &box) const
{
    int held = 0;
    for (auto it = m_frames.begin(); it != m_frames.end(); ++it) {
        held += it.key().box == box && it.key().sprite() && it.key().pdf == pdf ? 1 : 0;
    }
    return held;
}

void FrameCache::setCapBytes(std::int64_t capBytes)
{
    m_cap = capBytes;
    evict();
}

void FrameCache::setWanted(const std::vector<FrameKey> &wanted)
{
    m_wanted.clear();
    for (const auto &key : wanted) {
        m_wanted.insert(key, 1);
    }
    evict();
}

void FrameCache::keepOnly(const std::set<QString> &pdfs)
{
    for (auto it = m_frames.begin(); it != m_frames.end();) {
        if (pdfs.count(it.key().pdf) == 0) {
            m_bytes -= it->image.sizeInBytes();
            it = m_frames.erase(it);
        } else {
            ++it;
        }
    }
}

void FrameCache::insert(const FrameKey &key, const QImage &image)
{
    if (image.isNull()) {
        return;
    }
    auto it = m_frames.find(key);
    if (it != m_frames.end()) {
        m_bytes -= it->image.sizeInBytes();
        m_frames.erase(it);
    }
    m_frames.insert(key, Entry{image, ++m_clock});
    m_bytes += image.sizeInBytes();
    evict();
}

void FrameCache::evict()
{
    while (m_bytes > m_cap && !m_frames.isEmpty()) {
        // Unwanted frames first, oldest use first; wanted ones only when they alone overflow.
        auto victim = m_frames.end();
        bool victimWanted = true;
        for (auto it = m_frames.begin(); it != m_frames.end(); ++it) {
            const bool wanted = m_wanted.contains(it.key());
            if (victim == m_frames.end() || (victimWanted && !wanted) ||
                (wanted == victimWanted && it->lastUse < victim->lastUse)) {
                victim = it;
                victimWanted = wanted;
            }
        }
        m_bytes -= victim->image.sizeInBytes();
        m_frames.erase(victim);
    }
}

namespace {
constexpr auto aheadDelay = std::chrono::milliseconds(40);
}

RenderPool::RenderPool(int threads, QObject *parent) : QObject(parent)
{
    for (int i = 0; i < std::max(1, threads); ++i) {
        Worker &w = m_workers.emplace_back();
        w.lowPriority = i > 0;
        w.thread = std::thread([this, &w] { run(&w); });
    }
}

RenderPool::~RenderPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_queue.clear();
        m_urgent = 0;
        for (auto &w : m_workers) {
            w.abort = true;
        }
    }
    m_wake.notify_all();
    for (auto &w : m_workers) {
        w.thread.join();
    }
}

void RenderPool::setWanted(std::vector<FrameKey> wanted, size_t urgent)
{
    {
        std::lock_guard lock(m_mutex);
        urgent = std::min(urgent, wanted.size());
        for (auto &w : m_workers) {
            if (w.busyWith &&
                std::find(wanted.begin(), wanted.end(), *w.busyWith) == wanted.end()) {
                w.abort = true;
            }
        }
        const auto busy = [this](const FrameKey &key) {
            return std::any_of(m_workers.begin(), m_workers.end(),
                               [&](const Worker &w) { return w.busyWith && *w.busyWith == key; });
        };
        m_queue.clear();
        m_urgent = 0;
        m_aheadAfter = std::max(std::chrono::steady_clock::now() + aheadDelay, m_holdAhead);
        for (size_t i = 0; i < wanted.size(); ++i) {
            if (!busy(wanted[i])) {
                m_queue.push_back(wanted[i]);
                m_urgent += i < urgent ? 1 : 0;
            }
        }
    }
    m_wake.notify_all();
}

void RenderPool::holdAheadUntil(std::chrono::steady_clock::time_point until)
{
    {
        std::lock_guard lock(m_mutex);
        m_holdAhead = std::max(m_holdAhead, until);
        m_aheadAfter = std::max(m_aheadAfter, until);
    }
    m_wake.notify_all();
}

void RenderPool::setLiveDocuments(std::set<QString> pdfs)
{
    {
        std::lock_guard lock(m_mutex);
        if (pdfs == m_live) {
            return;
        }
        m_live = std::move(pdfs);
        ++m_liveGeneration;
    }
    m_wake.notify_all();
}

std::optional<FrameKey> RenderPool::takeJob(const Worker &worker)
{
    // Several frames needed on screen at once (shows put back after a crash, or started
    // together) are shared out rather than drawn one after another.
    const size_t first = worker.lowPriority && m_urgent < 2 ? m_urgent : 0;
    if (first >= m_queue.size()) {
        return std::nullopt;
    }
    if (first >= m_urgent && std::chrono::steady_clock::now() < m_aheadAfter) {
        return std::nullopt;
    }
    FrameKey key = m_queue[first];
    m_queue.erase(m_queue.begin() + static_cast<std::ptrdiff_t>(first));
    if (first < m_urgent) {
        --m_urgent;
    }
    return key;
}

void RenderPool::run(Worker *worker)
{
    if (worker->lowPriority) {
        // Relative to the process's own, which may already run niced.
        const auto self = static_cast<id_t>(::gettid());
        ::setpriority(PRIO_PROCESS, self, ::getpriority(PRIO_PROCESS, self) + 10);
    }
    std::map<QString, std::unique_ptr<Poppler::Document>> documents;
    std::unique_lock lock(m_mutex);
    for (;;) {
        std::optional<FrameKey> job;
        for (;;) {
            job = m_stopping ? std::nullopt : takeJob(*worker);
            if (m_stopping || job || worker->liveSeen != m_liveGeneration) {
                break;
            }
            // Frames for later may be held back until m_aheadAfter: look again then.
            if (m_urgent < m_queue.size()) {
                m_wake.wait_until(lock, m_aheadAfter);
            } else {
                m_wake.wait(lock);
            }
        }
        if (m_stopping) {
            return;
        }
        if (worker->liveSeen != m_liveGeneration) {
            // Documents of shows that ended are closed: each holds memory and an open file.
            worker->liveSeen = m_liveGeneration;
            std::vector<std::unique_ptr<Poppler::Document>> closing;
            for (auto it = documents.begin(); it != documents.end();) {
                if (m_live.count(it->first) == 0) {
                    closing.push_back(std::move(it->second));
                    it = documents.erase(it);
                } else {
                    ++it;
                }
            }
            lock.unlock();
            closing.clear();
            lock.lock();
            if (!job) {
                continue;
            }
        }
        const FrameKey key = *job;
        worker->busyWith = key;
        worker->abort = false;
        lock.unlock();

        QImage image;
        auto &doc = documents[key.pdf];
        if (!doc) {
            QString why;
            doc = loadPdf(key.pdf, &why);
        }
        if (doc && key.slide >= 1 && key.slide <= doc->numPages()) {
            image = renderSprite(*doc, key.slide - 1, key.box, key.crop, &worker->abort);
            // In the windows' own format here, so painting it is a plain copy.
            if (!image.isNull() && !key.sprite()) {
                image.convertTo(QImage::Format_RGB32);
            }
        }
        if (!image.isNull()) {
            QMetaObject::invokeMethod(
                this, [this, key, image] { emit frameReady(key, image); }, Qt::QueuedConnection);
        }

        lock.lock();
        worker->busyWith.reset();
    }
}

} // namespace pa::host
