#pragma once

// The presentation host itself: the open presentations, their slide shows, the frames
// held for them, and the socket server through which the controllers drive it.

#include "protocol.h"
#include "render.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <sys/types.h>

class QLocalServer;
class QTimer;

namespace Poppler {
class Document;
}

namespace pa::host {

class AppWindow;
class Converter;
class ShowPlacer;
class ShowWindow;

struct HostSettings
{
    QString runtimeDir;
    QString cacheDir;
    bool replace = false;
    // All frames ahead (6 per show) of three 1080p shows; with the rest of the host that
    // stays within 256 MiB.
    std::int64_t frameCacheBytes = 144ll * 1024 * 1024;
    int renderThreads = 2;
    int conversionTimeoutMs = 170000;
};

class PresentationHost : public QObject
{
    Q_OBJECT

public:
    explicit PresentationHost(HostSettings settings, QObject *parent = nullptr);
    ~PresentationHost() override;

    // Takes the socket. False with a reason when it cannot; *otherHost is set when another
    // host already answers there (and this one should leave it in charge).
    bool listen(QString *why, bool *otherHost);

    // Runs one request; reply is called once, at once or later (a conversion takes long).
    void handle(const Request &request, const std::function<void(const Reply &)> &reply);

    QString statusText() const;
    ShowWindow *showWindow(std::int64_t presId) const;
    AppWindow *appWindow() const { return m_appWindow.get(); }
    const FrameCache &frameCache() const { return m_cache; }

    // Ends every show and then the host's event loop.
    void endAllShowsAndQuit();

private:
    struct Presentation
    {
        std::int64_t id = 0;
        QString file;
        QString pdf;
        int slideCount = 0;
        bool loops = false;                     // the deck's own show setting
        std::unique_ptr<Poppler::Document> doc; // this thread's own, for exports
        QPointer<ShowWindow> show;
    };

    void acceptConnections();
    void addPdf(const QString &file, const QString &pdf,
                const std::function<void(const Reply &)> &reply);
    void run(Presentation &p);
    void exportSlide(Presentation &p, const Request &request,
                     const std::function<void(const Reply &)> &reply);
    Presentation *find(std::int64_t id);
    void showEnded(ShowWindow *window);
    void updateShow(ShowWindow *window);
    void frameReady(const FrameKey &key, const QImage &image);
    void scheduleFrames();
    void refreshListing();
    void checkSocket();

    HostSettings m_settings;
    std::map<std::int64_t, Presentation> m_presentations;
    std::int64_t m_nextId = 0;
    std::int64_t m_active = 0;
    FrameCache m_cache;
    RenderPool *m_pool;
    Converter *m_converter;
    QLocalServer *m_server;
    QTimer *m_socketCheck;
    ino_t m_socketInode = 0;
    std::unique_ptr<AppWindow> m_appWindow;
    ShowPlacer *m_placer;
};

} // namespace pa::host
