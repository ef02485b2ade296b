// The presentation host's export pictures made ahead: for every running show that was
// exported from, the pictures of its slide on screen and of the slides its controller said
// come next, at the shapes it was exported at, scaled from held frames on workers.

#include "presentation_automation/host/deadline_workers.h"
#include "presentation_automation/host/host_core.h"
#include "presentation_automation/host/service/picture_file.h"
#include "presentation_automation/host/shows/show_window.h"

#include <QTimer>

namespace pa::host {

namespace {

constexpr int pictureDeadlineMs = 10000;
// A step is a burst of requests (switches, exports, hints): pictures are made after it, so
// that they never compete with it for the processor.
constexpr int quietMs = 40;

} // namespace

void PresentationHost::makePicturesAhead()
{
    if (m_picturesTimer == nullptr) {
        m_picturesTimer = new QTimer(this);
        m_picturesTimer->setSingleShot(true);
        m_picturesTimer->setInterval(quietMs);
        connect(m_picturesTimer, &QTimer::timeout, this, &PresentationHost::makePicturesNow);
    }
    m_picturesTimer->start();
}

void PresentationHost::makePicturesNow()
{
    for (auto &[id, p] : m_presentations) {
        const ShowWindow *show = p.show.data();
        if (show == nullptr || p.exportShapes.empty()) {
            continue;
        }
        for (int page : picturePages(p.deck, show->currentSlide(), p.prepared)) {
            const QImage *frame = m_cache.findAnySize(p.pdf, page);
            if (frame == nullptr) {
                continue; // made when its frame is drawn
            }
            for (const ExportShape &shape : p.exportShapes) {
                PictureKey key{p.pdf, page, shape};
                if (m_picturesMaking.contains(key) || m_pictures.find(key) != nullptr) {
                    continue;
                }
                m_picturesMaking.insert(key);
                m_workers->run(
                    pictureDeadlineMs,
                    [frame = *frame, shape] {
                        QString why;
                        return encodePicture(scaledForExport(frame, shape.size), shape.format,
                                             &why);
                    },
                    [this, key](const QByteArray &bytes) {
                        m_picturesMaking.remove(key);
                        if (!bytes.isEmpty()) {
                            m_pictures.insert(key, bytes);
                        }
                    },
                    [this, key] { m_picturesMaking.remove(key); });
            }
        }
    }
}

} // namespace pa::host
