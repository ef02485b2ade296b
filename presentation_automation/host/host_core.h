#pragma once

// The presentation host itself: the open presentations, their slide shows, the frames
// held for them, and the socket server through which the controllers drive it.

#include "presentation_automation/host/decks/deck_description.h"
#include "presentation_automation/host/decks/export_pictures.h"
#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/service/journal.h"
#include "presentation_automation/host/service/protocol.h"

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

class QLocalSocket;
class QTimer;

namespace pa::host {

class AppWindow;
class Converter;
class DeadlineWorkers;
class ShowPlacer;
class ShowWindow;
class SocketKeeper;
class SwitchBatch;

struct HostSettings
{
    QString runtimeDir;
    QString cacheDir;
    bool replace = false;
    // All frames ahead (6 per show) of three 1080p shows; with the rest of the host that
    // stays within 256 MiB. Open media take their memory from it, down to a third.
    std::int64_t frameCacheBytes = 144ll * 1024 * 1024;
    int renderThreads = 2;
    int conversionTimeoutMs = 170000;
    // The stepped import's script; empty: decks are converted a page per slide.
    QString importScript;
    // A deck not read by then (a share that hangs) is reported as failed and left alone.
    int readDeadlineMs = 30000;
    int exportDeadlineMs = 60000;
    // A PDF opened as it is plays the steps described beside it, as a converted one does.
    bool pdfSteps = false;
};

class PresentationHost : public QObject
{
    Q_OBJECT

public:
    explicit PresentationHost(HostSettings settings, QObject *parent = nullptr);
    // A host that ends here ends cleanly: its journal goes with it.
    ~PresentationHost() override;

    // Takes the socket, then puts back what the journal of a host that died there holds.
    // False with a reason when it cannot; *otherHost is set when another host already
    // answers there (and this one should leave it in charge).
    bool listen(QString *why, bool *otherHost);

    // Runs one request; reply is called once, at once or later (a load, a conversion or a
    // slide drawn for an export runs on a worker thread).
    void handle(const Request &request, const std::function<void(const Reply &)> &reply);

    QString statusText() const;
    ShowWindow *showWindow(std::int64_t presId) const;
    AppWindow *appWindow() const { return m_appWindow.get(); }
    const FrameCache &frameCache() const { return m_cache; }

    // Ends every show and then the host's event loop.
    void endAllShowsAndQuit();
    // What ending cleanly leaves behind without waiting for any worker: no journal, no
    // socket file. The process then ends at once.
    void releaseForExit();

private:
    using ReplyFn = std::function<void(const Reply &)>;

    // What a load finds out about a deck, on a worker.
    struct LoadedDeck
    {
        int slideCount = 0;
        QSizeF slideSize;
        bool loops = false;
        DeckDescription deck;
        QString why;
    };

    // Holds no document and no frames of its own: those belong to a running show.
    struct Presentation
    {
        std::int64_t id = 0;
        QString file;
        QString pdf;
        int slideCount = 0;
        QSizeF slideSize;     // of the first page, in points: the show window's shape
        bool loops = false;   // the deck's own show setting
        DeckDescription deck; // slides and their build states over the PDF's pages
        QPointer<ShowWindow> show;
        // As the controllers set them, for the journal.
        std::optional<double> left;
        std::optional<double> top;
        std::optional<double> width;
        // Seconds since the epoch of the last request that named it.
        std::int64_t touched = 0;
        // The slides a controller said the show goes to next, most likely first.
        std::vector<std::int32_t> prepared;
        // Whether the slide on screen came from a frame held ahead.
        bool shownFromHeld = false;
        // The shapes its slides were exported at lately: pictures ahead are made at these.
        std::vector<ExportShape> exportShapes;
    };

    // A journaled presentation being loaded again; requests for it wait until it is.
    struct Restoring
    {
        JournalEntry entry;
        bool started = false;
        std::vector<std::pair<Request, ReplyFn>> waiting;
    };

    void acceptConnection(QLocalSocket *socket);
    void open(const QString &path, const ReplyFn &reply);
    // Loads pdf on a worker, then adds it as file under id (0: a new id).
    void loadPdfOffThread(const QString &file, const QString &pdf, std::int64_t id,
                          const ReplyFn &reply);
    std::int64_t addPdf(const QString &file, const QString &pdf, const LoadedDeck &deck,
                        std::int64_t id);
    std::int64_t newPresentationId() const;
    // The controllers' message for a file not read within the deadline (and a line in the log).
    QString notReadInTime(const QString &path) const;
    // restoring: the journaled show it puts back (placement and slide).
    void run(Presentation &p, const JournalEntry *restoring = nullptr);
    // Empty when placed, else why not.
    QString place(Presentation &p, Op op, double points);
    void exportSlide(Presentation &p, const Request &request,
                     const std::function<void(const Reply &)> &reply);
    Presentation *find(std::int64_t id);
    void showEnded(ShowWindow *window);
    void updateShow(ShowWindow *window);
    void frameReady(const FrameKey &key, const QImage &image);
    void scheduleFrames();

    // In host_pictures.cpp: the export pictures of what comes next, made from held frames on
    // workers once the controllers have been quiet a moment.
    void makePicturesAhead();
    void makePicturesNow();
    // Coalesced: once per turn of the event loop, less often while a journal is put back.
    void refreshListing();
    void fillListing();
    void socketTakenByAnother();

    // In host_journal.cpp.
    void restoreFromJournal();
    void restoreEntry(Restoring &restoring);
    void startRestores();
    void forgetLongUnused();
    void restoreFinished(std::int64_t id, const Reply &outcome);
    bool waitForRestore(std::int64_t id, const Request &request, const ReplyFn &reply);
    void writeJournal();
    void saveJournal();

    HostSettings m_settings;
    std::map<std::int64_t, Presentation> m_presentations;
    std::int64_t m_nextId = 0;
    std::int64_t m_active = 0;
    FrameCache m_cache;
    RenderPool *m_pool;
    Converter *m_converter;
    SocketKeeper *m_socket;
    std::unique_ptr<AppWindow> m_appWindow;
    ShowPlacer *m_placer;
    SwitchBatch *m_batch;
    // A controller's switch is being carried out: its held frame waits for the step's others.
    bool m_switching = false;
    Journal m_journal;
    QString m_session;
    std::map<std::int64_t, Restoring> m_restoring;
    std::int64_t m_journalActive = 0;
    QTimer *m_journalTimer = nullptr;
    bool m_listingDue = false;
    // Journaled presentations in the order they are put back: running shows first.
    std::deque<std::int64_t> m_restoreOrder;
    int m_restoresRunning = 0;
    // Loads and exports of slides nobody holds; never waited for.
    DeadlineWorkers *m_workers;
    // A few shapes of the pages around every show: well under a frame's memory.
    PictureCache m_pictures{96, 16ll * 1024 * 1024};
    QSet<PictureKey> m_picturesMaking;
    QTimer *m_picturesTimer = nullptr;
};

} // namespace pa::host
