#include "presentation_automation/host/host_core.h"

#include "presentation_automation/host/deadline_workers.h"
#include "presentation_automation/host/decks/converted_cache.h"
#include "presentation_automation/host/decks/converter.h"
#include "presentation_automation/host/decks/deck_file.h"
#include "presentation_automation/host/decks/frame_plan.h"
#include "presentation_automation/host/decks/pdf_media.h"
#include "presentation_automation/host/decks/pdf_transitions.h"
#include "presentation_automation/host/decks/show_settings.h"
#include "presentation_automation/host/service/client_link.h"
#include "presentation_automation/host/service/deck_queries.h"
#include "presentation_automation/host/service/export_limits.h"
#include "presentation_automation/host/service/host_process.h"
#include "presentation_automation/host/service/picture_file.h"
#include "presentation_automation/host/service/regular_file.h"
#include "presentation_automation/host/service/runtime_dir.h"
#include "presentation_automation/host/service/socket_keeper.h"
#include "presentation_automation/host/shows/app_window.h"
#include "presentation_automation/host/shows/displays.h"
#include "presentation_automation/host/shows/effect_player.h"
#include "presentation_automation/host/shows/media_admission.h"
#include "presentation_automation/host/shows/show_window.h"
#include "presentation_automation/host/shows/slide_media.h"
#include "presentation_automation/host/shows/switch_batch.h"

#include <poppler-qt6.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QScopedValueRollback>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <set>
#include <unistd.h>

namespace pa::host {

namespace {

const QString errorSource = QStringLiteral("Presentation host");

Reply failure(const QString &description)
{
    return Reply::failure(errorSource, description);
}

// The requests of a controller switching its screens; anything else ends the step's switches.
bool partOfSwitch(Op op)
{
    return op == Op::Activate || op == Op::CheckShow || op == Op::GotoSlide || op == Op::Next ||
           op == Op::Previous || op == Op::SetViewState;
}

QString points(double value)
{
    return QString::number(value, 'g', 6);
}

// Empty when written, else why not, as the controllers show it.
QString writeExport(const QImage &image, const QString &path, const QByteArray &format)
{
    const QString problem = writePicture(image, path, format);
    return problem.isEmpty()
               ? QString()
               : QStringLiteral("The file %1 cannot be written: %2").arg(path, problem);
}

QString writeExportBytes(const QByteArray &bytes, const QString &path)
{
    const QString problem = writePictureBytes(bytes, path);
    return problem.isEmpty()
               ? QString()
               : QStringLiteral("The file %1 cannot be written: %2").arg(path, problem);
}

} // namespace

PresentationHost::PresentationHost(HostSettings settings, QObject *parent)
    : QObject(parent), m_settings(std::move(settings)), m_cache(m_settings.frameCacheBytes),
      m_pool(new RenderPool(m_settings.renderThreads, this)),
      m_converter(new Converter(m_settings.cacheDir.isEmpty() ? Converter::defaultCacheDir()
                                                              : m_settings.cacheDir,
                                this)),
      m_socket(new SocketKeeper(m_settings.runtimeDir, this)),
      m_appWindow(std::make_unique<AppWindow>()), m_placer(new ShowPlacer(m_appWindow.get(), this)),
      m_batch(new SwitchBatch(10, this)), m_journal(journalPath(m_settings.runtimeDir)),
      m_workers(new DeadlineWorkers(4, this))
{
    connect(m_appWindow.get(), &AppWindow::endAllRequested, this,
            &PresentationHost::endAllShowsAndQuit);
    m_converter->setTimeoutMs(m_settings.conversionTimeoutMs);
    m_converter->setImportScript(m_settings.importScript);
    connect(m_pool, &RenderPool::frameReady, this, &PresentationHost::frameReady);
    // Open media take the place of the farthest frames, so clips do not add to the host's
    // memory beyond what the frames give up.
    connect(&MediaRoom::instance(), &MediaRoom::changed, this, [this] {
        m_cache.setCapBytes(framesRoomBeside(m_settings.frameCacheBytes, SlideMedia::openBytes()));
        scheduleFrames();
    });
    connect(m_socket, &SocketKeeper::newConnection, this, &PresentationHost::acceptConnection);
    connect(m_socket, &SocketKeeper::displaced, this, &PresentationHost::socketTakenByAnother);
    connect(m_socket, &SocketKeeper::regained, this, &PresentationHost::writeJournal);
    refreshListing();
}

PresentationHost::~PresentationHost()
{
    for (auto &[id, p] : m_presentations) {
        if (ShowWindow *show = p.show.data()) {
            show->disconnect(this);
            delete show;
        }
    }
    if (m_socket->ownsPath()) {
        m_journal.remove();
    }
}

void PresentationHost::releaseForExit()
{
    if (m_socket->ownsPath()) {
        m_journal.remove();
    }
    m_socket->release();
}

bool PresentationHost::listen(QString *why, bool *otherHost)
{
    if (!m_socket->listen(m_settings.replace, why, otherHost)) {
        return false;
    }
    hostLog(QStringLiteral("Listening at %1 (process %2).")
                .arg(m_socket->path())
                .arg(QCoreApplication::applicationPid()));
    restoreFromJournal();
    return true;
}

void PresentationHost::socketTakenByAnother()
{
    if (m_presentations.empty() && m_restoring.empty()) {
        hostLog(QStringLiteral("No presentation is open here; this host ends."));
        // Without the usual clean-up: closing the server would remove the other host's
        // socket file, and the journal is the other host's now.
        std::fflush(nullptr);
        ::_exit(0);
    }
    if (m_journal.carriesSession(m_session)) {
        // The other host put this one's journal back: its shows are on screen there, and the
        // programs reach them there with the same ids.
        hostLog(QStringLiteral("The host that took over puts this host's %1 presentations back "
                               "from its journal; this host ends.")
                    .arg(m_presentations.size() + m_restoring.size()));
        for (auto &[id, p] : m_presentations) {
            if (ShowWindow *w = p.show.data()) {
                w->hide();
            }
        }
        std::fflush(nullptr);
        ::_exit(0);
    }
    hostLog(QStringLiteral("This host keeps its %1 presentations and serves the programs "
                           "already connected to it.")
                .arg(m_presentations.size() + m_restoring.size()));
}

void PresentationHost::acceptConnection(QLocalSocket *socket)
{
    new ClientLink(socket, this);
}

PresentationHost::Presentation *PresentationHost::find(std::int64_t id)
{
    auto it = m_presentations.find(id);
    return it == m_presentations.end() ? nullptr : &it->second;
}

ShowWindow *PresentationHost::showWindow(std::int64_t presId) const
{
    auto it = m_presentations.find(presId);
    return it == m_presentations.end() ? nullptr : it->second.show.data();
}

void PresentationHost::handle(const Request &request,
                              const std::function<void(const Reply &)> &reply)
{
    if (!partOfSwitch(request.op)) {
        m_batch->flush();
    }
    switch (request.op) {
    case Op::Hello: {
        Reply hello =
            Reply::success(QCoreApplication::applicationPid(), QLatin1String(protocolGreeting));
        hello.session = m_session;
        reply(hello);
        return;
    }
    case Op::Status:
        reply(Reply::success(0, statusText()));
        return;
    case Op::Quit:
        reply(Reply::success());
        // After the reply is on its way, so the asking client hears it.
        QTimer::singleShot(0, this, &PresentationHost::endAllShowsAndQuit);
        return;
    case Op::SetVisible:
        if (request.flag != 0) {
            fillListing();
            m_appWindow->showBehindShows();
        } else {
            m_appWindow->hide();
        }
        reply(Reply::success());
        return;
    case Op::ActivePresentation:
        if (waitForRestore(m_active, request, reply)) {
            return;
        }
        if (find(m_active) == nullptr) {
            reply(failure(QStringLiteral("No presentation is open.")));
        } else {
            reply(Reply::success(m_active));
        }
        return;
    case Op::Open:
        open(request.path, reply);
        return;
    default:
        break;
    }

    if (waitForRestore(request.pres, request, reply)) {
        return;
    }
    Presentation *p = find(request.pres);
    if (p == nullptr) {
        reply(failure(QStringLiteral("The presentation is not open.")));
        return;
    }
    p->touched = QDateTime::currentSecsSinceEpoch();
    const auto slideInRange = [&](int slide) {
        if (slide >= 1 && slide <= p->slideCount) {
            return true;
        }
        reply(failure(
            QStringLiteral("Slide %1 is out of range (1 to %2).").arg(slide).arg(p->slideCount)));
        return false;
    };

    switch (request.op) {
    case Op::Run:
        run(*p);
        writeJournal();
        reply(Reply::success());
        return;
    case Op::SlideCount:
        reply(Reply::success(p->slideCount));
        return;
    case Op::CheckSlide:
        if (slideInRange(request.slide)) {
            reply(Reply::success(request.slide));
        }
        return;
    case Op::Export:
    case Op::ExportHeld:
        if (slideInRange(request.slide)) {
            exportSlide(*p, request, reply);
        }
        return;
    case Op::SlideBuilds:
    case Op::ImportReport:
        reply(answerDeckQuery(request, p->deck));
        return;
    case Op::Prepare:
        p->prepared = request.slides;
        scheduleFrames();
        makePicturesAhead();
        refreshListing();
        reply(Reply::success());
        return;
    default:
        break;
    }

    ShowWindow *show = p->show.data();
    if (show == nullptr) {
        reply(failure(QStringLiteral("The presentation has no running slide show.")));
        return;
    }
    const QScopedValueRollback switching(m_switching, partOfSwitch(request.op));
    switch (request.op) {
    case Op::CheckShow:
        reply(Reply::success());
        return;
    case Op::SetLeft:
    case Op::SetTop:
    case Op::SetWidth: {
        const QString why = place(*p, request.op, request.points);
        if (!why.isEmpty()) {
            reply(failure(why));
            return;
        }
        writeJournal();
        reply(Reply::success());
        return;
    }
    case Op::Activate:
        // The show becomes the active presentation's and goes above the other shows; it is
        // not given the focus (see ShowWindow).
        show->raise();
        m_active = p->id;
        refreshListing();
        writeJournal();
        reply(Reply::success());
        return;
    case Op::Next:
        show->next();
        reply(Reply::success());
        return;
    case Op::Previous:
        show->previous();
        reply(Reply::success());
        return;
    case Op::GotoSlide:
        if (slideInRange(request.slide)) {
            show->gotoSlide(request.slide, request.flag != 0);
            reply(Reply::success());
        }
        return;
    case Op::CurrentSlide:
        reply(Reply::success(show->currentSlide()));
        return;
    case Op::CurrentBuild:
        reply(Reply::success(show->currentState()));
        return;
    case Op::SetViewState:
        if (const QString why = viewStateProblem(request.flag); !why.isEmpty()) {
            reply(failure(why));
            return;
        }
        show->setViewState(request.flag);
        m_batch->addViewState(show);
        reply(Reply::success());
        return;
    case Op::ViewState:
        reply(Reply::success(show->viewState()));
        return;
    case Op::MediaState: {
        const SlideMedia::Playing playing = show->media().playing();
        Reply r = Reply::success(playing.remainingMs.value_or(-1));
        r.text = playing.playing ? QStringLiteral("playing") : QStringLiteral("stopped");
        reply(r);
        return;
    }
    default:
        reply(failure(QStringLiteral("The request is not known.")));
        return;
    }
}

void PresentationHost::open(const QString &path, const ReplyFn &reply)
{
    if (path.isEmpty()) {
        reply(failure(QStringLiteral("No file name was given.")));
        return;
    }
    m_workers->run(
        m_settings.readDeadlineMs, [path] { return deckFileProblem(path); },
        [this, path, reply](const QString &problem) {
            if (!problem.isEmpty()) {
                reply(failure(problem));
            } else if (QFileInfo(path).suffix().compare(QLatin1String("pdf"),
                                                        Qt::CaseInsensitive) == 0) {
                loadPdfOffThread(path, path, 0, reply);
            } else if (Converter::needsConversion(path)) {
                m_converter->convert(
                    path, [this, path, reply](const QString &pdf, const QString &error) {
                        if (!error.isEmpty()) {
                            reply(failure(QStringLiteral("The file %1 %2.").arg(path, error)));
                        } else {
                            loadPdfOffThread(path, pdf, 0, reply);
                        }
                    });
            } else {
                reply(failure(QStringLiteral("The file %1 is not a kind of presentation that can "
                                             "be opened (.pdf, .ppt, .pps, .pptx, .ppsx, .odp).")
                                  .arg(path)));
            }
        },
        [this, path, reply] { reply(failure(notReadInTime(path))); });
}

QString PresentationHost::notReadInTime(const QString &path) const
{
    hostLog(QStringLiteral("Reading %1 did not end within %2 s; it is left to itself.")
                .arg(oneLine(path))
                .arg(m_settings.readDeadlineMs / 1000.0));
    return QStringLiteral("The file %1 could not be read within %2 s.")
        .arg(path)
        .arg(m_settings.readDeadlineMs / 1000.0);
}

namespace {

// A converted deck may carry a description of its build states; a PDF the user opened is one
// state per page, whatever lies beside it (unless the host is told to read it).
DeckDescription describeDeck(const QString &pdf, bool readSteps, int pageCount)
{
    if (readSteps) {
        QFile file(descriptionPathFor(pdf));
        if (file.exists()) {
            QString why;
            std::optional<DeckDescription> deck;
            if (const auto text =
                    readRegularFile(file.fileName(), 16ll * 1024 * 1024, 30000, &why)) {
                deck = readDeckDescription(*text, pageCount, &why);
            }
            if (deck) {
                deck->mediaFolder = mediaFolderFor(pdf);
                return *deck;
            }
            qWarning("The build steps of %s are not used, one slide per page instead: %s.",
                     qPrintable(pdf), qPrintable(why));
        }
    }
    return plainDeck(pageCount);
}

} // namespace

void PresentationHost::loadPdfOffThread(const QString &file, const QString &pdf, std::int64_t id,
                                        const ReplyFn &reply)
{
    m_workers->run(
        m_settings.readDeadlineMs,
        [file, pdf, pdfSteps = m_settings.pdfSteps, cacheDir = m_converter->cacheDir()] {
            // Opened only to be checked and counted: the document is opened again by the
            // workers that draw its show, and by nothing while no show runs.
            LoadedDeck out;
            if (auto doc = loadPdf(pdf, &out.why)) {
                out.slideCount = doc->numPages();
                if (std::unique_ptr<Poppler::Page> first{doc->page(0)}) {
                    out.slideSize = first->pageSizeF();
                }
                out.loops = deckLoops(file);
                out.deck = describeDeck(pdf, pdfSteps || pdf != file, out.slideCount);
                addPdfTransitions(*doc, out.deck);
                if (const QString media = addPdfMedia(*doc, pdf, cacheDir, out.deck);
                    !media.isEmpty()) {
                    useConverted(cacheDir, media);
                }
            }
            return out;
        },
        [this, file, pdf, id, reply](const LoadedDeck &loaded) {
            if (loaded.slideCount <= 0) {
                qWarning("The file %s %s.", qPrintable(file), qPrintable(loaded.why));
                reply(failure(QStringLiteral("The file %1 %2.").arg(file, loaded.why)));
                return;
            }
            logImportReport(file, loaded.deck);
            reply(Reply::success(addPdf(file, pdf, loaded, id)));
        },
        [this, file, reply] { reply(failure(notReadInTime(file))); });
}

std::int64_t PresentationHost::addPdf(const QString &file, const QString &pdf,
                                      const LoadedDeck &deck, std::int64_t id)
{
    Presentation p;
    p.id = id > 0 ? id : newPresentationId();
    m_nextId = std::max(m_nextId, p.id);
    p.touched = QDateTime::currentSecsSinceEpoch();
    p.file = file;
    p.pdf = pdf;
    p.slideCount = deck.deck.slideCount();
    p.slideSize = deck.slideSize;
    p.loops = deck.loops || deck.deck.loop;
    p.deck = deck.deck;
    m_active = p.id;
    const std::int64_t added = p.id;
    m_presentations.emplace(added, std::move(p));
    refreshListing();
    writeJournal();
    forgetLongUnused();
    return added;
}

std::int64_t PresentationHost::newPresentationId() const
{
    // Past the largest id a journal keeps apart, the free ids from the bottom are used.
    std::int64_t id = m_nextId;
    do {
        id = id >= maxPresentationId ? 1 : id + 1;
    } while (m_presentations.count(id) != 0 || m_restoring.count(id) != 0);
    return id;
}

QString PresentationHost::place(Presentation &p, Op op, double pts)
{
    ShowWindow *show = p.show.data();
    if (show == nullptr) {
        return QStringLiteral("The presentation has no running slide show.");
    }
    if (std::abs(pts) > 100000.0) {
        return QStringLiteral("The value %1 is out of range.").arg(pts);
    }
    if (op == Op::SetLeft) {
        show->setRequestedLeft(pts);
        p.left = pts;
    } else if (op == Op::SetTop) {
        show->setRequestedTop(pts);
        p.top = pts;
    } else if (pointsToPixels(pts) < 1) {
        return QStringLiteral("The width %1 is out of range.").arg(pts);
    } else {
        show->setRequestedWidth(pts);
        p.width = pts;
    }
    refreshListing();
    return {};
}

void PresentationHost::run(Presentation &p, const JournalEntry *restoring)
{
    if (p.show) {
        // Running it again starts it afresh, as a new show.
        ShowWindow *old = p.show.data();
        p.show.clear();
        old->disconnect(this);
        old->endShow();
        old->deleteLater();
    }
    auto *show = new ShowWindow(p.id, p.deck,
                                QFileInfo(p.file).fileName() + QStringLiteral(" - Slide Show"));
    p.show = show;
    p.left.reset();
    p.top.reset();
    p.width.reset();
    if (p.slideSize.isValid()) {
        show->setSlideSize(p.slideSize);
    }
    show->setLoop(p.loops);
    show->placeFullPrimary();
    connect(show, &ShowWindow::slideChanged, this, [this, show] {
        updateShow(show);
        scheduleFrames();
        makePicturesAhead();
        refreshListing();
        writeJournal();
    });
    connect(show, &ShowWindow::frameBoxChanged, this, [this, show] {
        updateShow(show);
        scheduleFrames();
    });
    connect(show, &ShowWindow::viewStateChanged, this, [this] {
        refreshListing();
        writeJournal();
    });
    connect(show, &ShowWindow::ended, this, [this, show] { showEnded(show); });
    const auto holdAhead = [this](double seconds) {
        m_pool->holdAheadUntil(std::chrono::steady_clock::now() +
                               std::chrono::milliseconds(std::lround(seconds * 1000)));
    };
    connect(show, &ShowWindow::transitionStarted, this, holdAhead);
    connect(show, &ShowWindow::effectsStarted, this, holdAhead);
    if (restoring != nullptr) {
        // Placed and on its slide before it appears, so it comes back where it was.
        const std::pair<Op, std::optional<double>> placement[] = {{Op::SetLeft, restoring->left},
                                                                  {Op::SetTop, restoring->top},
                                                                  {Op::SetWidth, restoring->width}};
        for (const auto &[op, value] : placement) {
            if (value) {
                place(p, op, *value);
            }
        }
        // Blank before it appears: the slide never shows, not even while it comes up.
        show->setViewState(restoring->viewState);
        show->restorePosition(std::clamp(restoring->slide, 1, p.slideCount), restoring->step);
    }
    show->show();
    m_placer->add(show);
    m_active = p.id;
    updateShow(show);
    scheduleFrames();
    refreshListing();
}

void PresentationHost::endAllShowsAndQuit()
{
    qInfo("Ending all shows and the host, as asked.");
    for (auto &[id, p] : m_presentations) {
        if (ShowWindow *w = p.show.data()) {
            w->endShow();
        }
    }
    // Answers already written reach their clients before the host goes.
    for (QLocalSocket *socket : findChildren<QLocalSocket *>()) {
        socket->flush();
    }
    QCoreApplication::quit();
}

void PresentationHost::showEnded(ShowWindow *window)
{
    for (auto &[id, p] : m_presentations) {
        if (p.show == window) {
            p.show.clear();
        }
    }
    window->disconnect(this);
    window->deleteLater();
    scheduleFrames();
    refreshListing();
    writeJournal();
}

void PresentationHost::updateShow(ShowWindow *window)
{
    Presentation *p = find(window->presId());
    if (p == nullptr) {
        return;
    }
    const FrameKey key{p->pdf, window->currentPage(), window->frameBox(), {}};
    if (window->effectsDue()) {
        // Taken now or never: a build whose pictures are not held is cut to, not waited for.
        if (auto pictures = heldEffectPictures(m_cache, p->deck, window->position(), p->pdf,
                                               window->frameBox())) {
            window->setEffectPictures(std::move(*pictures));
        }
    }
    if (const QImage *frame = m_cache.find(key)) {
        p->shownFromHeld = true;
        if (m_switching) {
            m_batch->add(window, *frame, key.slide);
        } else {
            // A key on the show itself: at once, and a switch still waiting is stale.
            m_batch->drop(window);
            window->showFrame(*frame, key.slide);
        }
        return;
    }
    m_batch->drop(window);
    if (window->shownPage() != key.slide) {
        // A frame of the right slide at another size beats the wrong slide at the right size.
        if (const QImage *other = m_cache.findAnySize(p->pdf, key.slide)) {
            window->showFrame(*other, key.slide);
        }
    }
}

void PresentationHost::frameReady(const FrameKey &key, const QImage &image)
{
    m_cache.insert(key, image);
    if (key.sprite()) {
        return;
    }
    makePicturesAhead();
    for (auto &[id, p] : m_presentations) {
        ShowWindow *w = p.show.data();
        if (w != nullptr && p.pdf == key.pdf && w->currentPage() == key.slide &&
            w->frameBox() == key.box && !m_batch->waiting(w)) {
            if (w->shownPage() != key.slide) {
                p.shownFromHeld = false;
            }
            w->showFrame(image, key.slide);
        }
    }
}

void PresentationHost::scheduleFrames()
{
    // The active show first, then the others.
    std::vector<ShowFrames> shows;
    std::set<QString> live;
    for (auto &[id, p] : m_presentations) {
        if (ShowWindow *w = p.show.data()) {
            live.insert(p.pdf);
            ShowFrames show{p.pdf, w->frameBox(), w->pagesAround(), {}, {}, {}, p.slideSize};
            if (w->effectsRunning() || w->effectsDue()) {
                show.playing = effectFrames(p.deck, w->position(), p.pdf, w->frameBox());
            }
            for (const StepPosition &build : w->buildsAhead()) {
                for (FrameKey &key : effectFrames(p.deck, build, p.pdf, w->frameBox())) {
                    show.ahead.push_back(std::move(key));
                }
            }
            for (std::int32_t slide : p.prepared) {
                if (const std::optional<int> frame = frameOfSlide(p.deck, slide)) {
                    show.prepared.push_back(*frame);
                }
            }
            shows.insert(id == m_active ? shows.begin() : shows.end(), std::move(show));
        }
    }
    const FramePlan plan = planFrames(shows, m_cache.capBytes());
    const std::vector<FrameKey> &wanted = plan.wanted;
    const size_t urgent = plan.urgent;
    // A presentation whose show ended keeps neither frames nor an open document.
    m_cache.keepOnly(live);
    m_pictures.keepOnly(live);
    m_pool->setLiveDocuments(live);
    m_cache.setWanted(wanted);
    std::vector<FrameKey> missing;
    size_t missingUrgent = 0;
    for (size_t i = 0; i < wanted.size(); ++i) {
        if (!m_cache.contains(wanted[i])) {
            missing.push_back(wanted[i]);
            missingUrgent += i < urgent ? 1 : 0;
        }
    }
    m_pool->setWanted(std::move(missing), missingUrgent);
}

void PresentationHost::exportSlide(Presentation &p, const Request &request,
                                   const std::function<void(const Reply &)> &reply)
{
    const QString filter = request.filter.toUpper();
    QByteArray format;
    if (filter == QLatin1String("JPG") || filter == QLatin1String("JPEG")) {
        format = "jpg";
    } else if (filter == QLatin1String("PNG")) {
        format = "png";
    } else if (filter == QLatin1String("BMP")) {
        format = "bmp";
    } else {
        reply(failure(QStringLiteral("The filter \"%1\" is not known (JPG, PNG or BMP).")
                          .arg(request.filter)));
        return;
    }
    if (const QString why = exportSizeProblem(request.width, request.height); !why.isEmpty()) {
        reply(failure(why));
        return;
    }
    const QFileInfo target(request.path);
    if (request.path.isEmpty()) {
        reply(failure(QStringLiteral("No file name was given.")));
        return;
    }
    if (!target.absoluteDir().exists()) {
        reply(failure(QStringLiteral("The folder %1 does not exist.").arg(target.absolutePath())));
        return;
    }
    if (target.isDir()) {
        reply(failure(QStringLiteral("%1 is a folder.").arg(request.path)));
        return;
    }

    const QSize size(request.width, request.height);
    const QString path = request.path;
    const int slide = request.slide;
    // Fully built: its last page.
    const int page = p.deck.slides[static_cast<size_t>(slide - 1)].lastPage() + 1;
    const auto done = [reply](const QString &why) {
        reply(why.isEmpty() ? Reply::success(1) : failure(why));
    };
    const auto late = [reply, slide, seconds = m_settings.exportDeadlineMs / 1000.0] {
        reply(failure(
            QStringLiteral("Slide %1 could not be drawn within %2 s.").arg(slide).arg(seconds)));
    };
    const ExportShape shape{size, format};
    const bool newShape =
        std::find(p.exportShapes.begin(), p.exportShapes.end(), shape) == p.exportShapes.end();
    noteExportShape(p.exportShapes, shape);
    const PictureKey key{p.pdf, page, shape};
    if (const QByteArray *ready = m_pictures.find(key)) {
        done(writeExportBytes(*ready, path));
        return;
    }
    if (newShape) {
        makePicturesAhead();
    }
    if (const QImage *held = m_cache.findAnySize(p.pdf, page)) {
        if (exportIsQuick(size)) {
            // Scaling a held frame down to a preview costs a few milliseconds; the picture is
            // kept, as the same slide is often exported again.
            QString why;
            const QByteArray bytes = encodePicture(scaledForExport(*held, size), format, &why);
            if (bytes.isEmpty()) {
                done(QStringLiteral("The file %1 cannot be written: %2").arg(path, why));
                return;
            }
            m_pictures.insert(key, bytes);
            done(writeExportBytes(bytes, path));
            return;
        }
        m_workers->run(
            m_settings.exportDeadlineMs,
            [frame = *held, size, path, format] {
                return writeExport(scaledForExport(frame, size), path, format);
            },
            done, late);
        return;
    }
    if (request.op == Op::ExportHeld) {
        reply(Reply::success(0)); // not drawn yet: the caller asks again later
        return;
    }
    // Not held: drawn on a worker from a document opened for this export alone.
    m_workers->run(
        m_settings.exportDeadlineMs,
        [pdf = p.pdf, slide, page, size, path, format]() -> QString {
            QString why;
            auto doc = loadPdf(pdf, &why);
            const QImage image = doc ? renderStretched(*doc, page - 1, size) : QImage();
            if (image.isNull()) {
                return why.startsWith(QLatin1String("cannot be opened"))
                           ? QStringLiteral("Slide %1 could not be drawn: the deck %2.")
                                 .arg(slide)
                                 .arg(why)
                           : QStringLiteral("Slide %1 could not be drawn.").arg(slide);
            }
            return writeExport(image, path, format);
        },
        done, late);
}

QString PresentationHost::statusText() const
{
    QStringList lines;
    lines
        << QStringLiteral("Presentation host, process %1").arg(QCoreApplication::applicationPid());
    if (m_presentations.empty()) {
        lines << QStringLiteral("No presentation is open.");
    } else {
        lines << QStringLiteral("Active presentation: %1").arg(m_active);
    }
    for (const auto &[id, p] : m_presentations) {
        QString line =
            QStringLiteral("%1: %2, %3 slides, ").arg(id).arg(oneLine(p.file)).arg(p.slideCount);
        if (const ShowWindow *w = p.show.data()) {
            const QRect g = w->geometry();
            const RequestedPlacement &asked = w->requested();
            line += QStringLiteral("show running on slide %1, window left %2 pt, top %3 pt, width "
                                   "%4 pt (%5x%6 px at %7,%8), screen %9, %10, "
                                   "slide on screen: %11")
                        .arg(w->currentSlide())
                        .arg(points(asked.left), points(asked.top), points(asked.width))
                        .arg(g.width())
                        .arg(g.height())
                        .arg(g.x())
                        .arg(g.y())
                        .arg(viewStateName(w->viewState()), w->stepStatus())
                        .arg(w->shownSlide() == 0 ? QStringLiteral("none yet")
                                                  : QString::number(w->shownSlide()));
        } else {
            line += QStringLiteral("no show running");
        }
        lines << line;
        if (const ShowWindow *w = p.show.data()) {
            std::optional<bool> nextEffects;
            if (const std::vector<StepPosition> ahead = w->buildsAhead(); !ahead.empty()) {
                const std::vector<FrameKey> keys =
                    effectFrames(p.deck, ahead.front(), p.pdf, w->frameBox());
                if (!keys.empty()) {
                    nextEffects = std::all_of(keys.begin(), keys.end(), [this](const FrameKey &k) {
                        return m_cache.contains(k);
                    });
                }
            }
            lines << framesLine(m_cache.heldPages(p.pdf, w->frameBox()), p.prepared,
                                p.shownFromHeld, m_cache.heldSprites(p.pdf, w->frameBox()),
                                nextEffects);
        }
    }
    QString frames = QStringLiteral("Frames held: %1 (%2 MiB of %3 MiB")
                         .arg(m_cache.size())
                         .arg(m_cache.bytes() / (1024 * 1024))
                         .arg(m_cache.capBytes() / (1024 * 1024));
    if (const std::int64_t media = SlideMedia::openBytes(); media > 0) {
        frames += QStringLiteral("; open media take about %1 MiB").arg(media / (1024 * 1024));
    }
    lines << frames + QLatin1Char(')');
    lines << QStringLiteral("Export pictures held: %1 (%2 KiB)")
                 .arg(m_pictures.size())
                 .arg(m_pictures.bytes() / 1024);
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void PresentationHost::refreshListing()
{
    if (m_restoring.empty() && m_appWindow->isVisible()) {
        fillListing();
        return;
    }
    if (m_listingDue) {
        return;
    }
    m_listingDue = true;
    QTimer::singleShot(m_restoring.empty() ? 0 : 250, this, [this] {
        m_listingDue = false;
        fillListing();
    });
}

void PresentationHost::fillListing()
{
    std::vector<PresentationRow> rows;
    for (const auto &[id, p] : m_presentations) {
        PresentationRow row;
        row.id = QString::number(id);
        row.file = oneLine(p.file);
        row.slides = QString::number(p.slideCount);
        if (const ShowWindow *w = p.show.data()) {
            const RequestedPlacement &asked = w->requested();
            row.show = viewStateName(w->viewState());
            row.slide = QString::number(w->currentSlide());
            row.placement = QStringLiteral("left %1, top %2, width %3 pt")
                                .arg(points(asked.left), points(asked.top), points(asked.width));
        } else {
            row.show = QStringLiteral("not running");
        }
        rows.push_back(row);
    }
    m_appWindow->setRows(rows, m_active == 0 ? QStringLiteral("none") : QString::number(m_active));
}

} // namespace pa::host
