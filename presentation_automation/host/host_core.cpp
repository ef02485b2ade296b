#include "host_core.h"

#include "app_window.h"
#include "converter.h"
#include "displays.h"
#include "picture_file.h"
#include "runtime_dir.h"
#include "show_settings.h"
#include "show_window.h"

#include <poppler-qt6.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cmath>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace pa::host {

namespace {

const QString errorSource = QStringLiteral("Presentation host");

Reply failure(const QString &description)
{
    return Reply::failure(errorSource, description);
}

// One client's connection. Requests are answered strictly in order; while one waits for a
// conversion the next ones wait too (a client sends one at a time anyway).
class Link : public QObject
{
public:
    Link(QLocalSocket *socket, PresentationHost *host)
        : QObject(host), m_socket(socket), m_host(host)
    {
        socket->setParent(this);
        connect(socket, &QLocalSocket::readyRead, this, &Link::readRequests);
        connect(socket, &QLocalSocket::disconnected, this, &QObject::deleteLater);
        readRequests();
    }

private:
    void readRequests()
    {
        m_reader.append(m_socket->readAll());
        while (!m_busy) {
            auto payload = m_reader.next();
            if (!payload) {
                break;
            }
            auto request = decodeRequest(*payload);
            if (!request) {
                send(failure(QStringLiteral("The request could not be read.")));
                continue;
            }
            m_busy = true;
            QPointer<Link> self(this);
            m_host->handle(*request, [self](const Reply &reply) {
                if (self) {
                    self->m_busy = false;
                    self->send(reply);
                    QMetaObject::invokeMethod(
                        self,
                        [self] {
                            if (self) {
                                self->readRequests();
                            }
                        },
                        Qt::QueuedConnection);
                }
            });
        }
        if (m_reader.failed()) {
            m_socket->abort();
        }
    }

    void send(const Reply &reply) { m_socket->write(frame(encodeReply(reply))); }

    QLocalSocket *m_socket;
    PresentationHost *m_host;
    FrameReader m_reader;
    bool m_busy = false;
};

QString points(double value)
{
    return QString::number(value, 'g', 6);
}

ino_t inodeOf(const QString &path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        return 0;
    }
    return st.st_ino;
}

bool otherHostAnswers(const QString &path)
{
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(1000)) {
        return false;
    }
    Request hello;
    socket.write(frame(encodeRequest(hello)));
    socket.waitForBytesWritten(1000);
    FrameReader reader;
    QDeadlineTimer deadline(2000);
    while (!deadline.hasExpired()) {
        if (auto payload = reader.next()) {
            auto reply = decodeReply(*payload);
            return reply && reply->ok && reply->text == QLatin1String(protocolGreeting);
        }
        if (!socket.waitForReadyRead(
                static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            return false;
        }
        reader.append(socket.readAll());
    }
    return false;
}

} // namespace

PresentationHost::PresentationHost(HostSettings settings, QObject *parent)
    : QObject(parent), m_settings(std::move(settings)), m_cache(m_settings.frameCacheBytes),
      m_pool(new RenderPool(m_settings.renderThreads, this)),
      m_converter(new Converter(m_settings.cacheDir.isEmpty() ? Converter::defaultCacheDir()
                                                              : m_settings.cacheDir,
                                this)),
      m_server(new QLocalServer(this)), m_socketCheck(new QTimer(this)),
      m_appWindow(std::make_unique<AppWindow>()), m_placer(new ShowPlacer(m_appWindow.get(), this))
{
    connect(m_appWindow.get(), &AppWindow::endAllRequested, this,
            &PresentationHost::endAllShowsAndQuit);
    m_converter->setTimeoutMs(m_settings.conversionTimeoutMs);
    connect(m_pool, &RenderPool::frameReady, this, &PresentationHost::frameReady);
    connect(m_server, &QLocalServer::newConnection, this, &PresentationHost::acceptConnections);
    connect(m_socketCheck, &QTimer::timeout, this, &PresentationHost::checkSocket);
    refreshListing();
}

PresentationHost::~PresentationHost()
{
    for (auto &[id, p] : m_presentations) {
        delete p.show.data();
    }
}

bool PresentationHost::listen(QString *why, bool *otherHost)
{
    *otherHost = false;
    const QString problem = preparePrivateFolder(m_settings.runtimeDir);
    if (!problem.isEmpty()) {
        *why = problem;
        return false;
    }
    const QString path = socketPath(m_settings.runtimeDir);
    if (!m_settings.replace && QFileInfo::exists(path) && otherHostAnswers(path)) {
        *otherHost = true;
        *why = QStringLiteral("Another presentation host already answers at %1.").arg(path);
        return false;
    }
    // What is left is a stale socket of a host that ended, or one that no longer answers.
    QLocalServer::removeServer(path);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(path)) {
        *why = QStringLiteral("Cannot listen at %1: %2").arg(path, m_server->errorString());
        return false;
    }
    m_socketInode = inodeOf(path);
    m_socketCheck->start(1000);
    return true;
}

void PresentationHost::checkSocket()
{
    // A newer host took the socket over (this one was found hung), or the folder was
    // removed: nobody can reach this host any more, so it leaves.
    if (inodeOf(socketPath(m_settings.runtimeDir)) != m_socketInode) {
        // Ending without the usual clean-up: closing the server would delete the socket
        // file, which now belongs to the newer host.
        std::fprintf(stderr, "The socket was replaced or removed; the host ends.\n");
        std::fflush(nullptr);
        ::_exit(0);
    }
}

void PresentationHost::acceptConnections()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        new Link(socket, this);
    }
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
    switch (request.op) {
    case Op::Hello:
        reply(Reply::success(QCoreApplication::applicationPid(), QLatin1String(protocolGreeting)));
        return;
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
            m_appWindow->showBehindShows();
        } else {
            m_appWindow->hide();
        }
        reply(Reply::success());
        return;
    case Op::ActivePresentation:
        if (find(m_active) == nullptr) {
            reply(failure(QStringLiteral("No presentation is open.")));
        } else {
            reply(Reply::success(m_active));
        }
        return;
    case Op::Open: {
        const QString path = request.path;
        const QFileInfo info(path);
        if (path.isEmpty()) {
            reply(failure(QStringLiteral("No file name was given.")));
        } else if (!info.exists()) {
            reply(failure(QStringLiteral("The file %1 was not found.").arg(path)));
        } else if (info.isDir()) {
            reply(failure(QStringLiteral("%1 is a folder, not a presentation.").arg(path)));
        } else if (!info.isReadable()) {
            reply(failure(QStringLiteral("The file %1 cannot be read.").arg(path)));
        } else if (info.size() == 0) {
            reply(failure(QStringLiteral("The file %1 is empty.").arg(path)));
        } else if (info.suffix().compare(QLatin1String("pdf"), Qt::CaseInsensitive) == 0) {
            addPdf(path, path, reply);
        } else if (Converter::needsConversion(path)) {
            QPointer<PresentationHost> self(this);
            m_converter->convert(
                path, [self, path, reply](const QString &pdf, const QString &error) {
                    if (!self) {
                        return;
                    }
                    if (!error.isEmpty()) {
                        reply(failure(QStringLiteral("The file %1 %2.").arg(path, error)));
                    } else {
                        self->addPdf(path, pdf, reply);
                    }
                });
        } else {
            reply(failure(
                QStringLiteral("The file %1 is not a kind of presentation that can be opened "
                               "(.pdf, .ppt, .pps, .pptx, .ppsx, .odp).")
                    .arg(path)));
        }
        return;
    }
    default:
        break;
    }

    Presentation *p = find(request.pres);
    if (p == nullptr) {
        reply(failure(QStringLiteral("The presentation is not open.")));
        return;
    }
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
        if (slideInRange(request.slide)) {
            exportSlide(*p, request, reply);
        }
        return;
    default:
        break;
    }

    ShowWindow *show = p->show.data();
    if (show == nullptr) {
        reply(failure(QStringLiteral("The presentation has no running slide show.")));
        return;
    }
    switch (request.op) {
    case Op::CheckShow:
        reply(Reply::success());
        return;
    case Op::SetLeft:
    case Op::SetTop:
    case Op::SetWidth: {
        if (std::abs(request.points) > 100000.0) {
            reply(failure(QStringLiteral("The value %1 is out of range.").arg(request.points)));
            return;
        }
        if (request.op == Op::SetLeft) {
            show->setRequestedLeft(request.points);
        } else if (request.op == Op::SetTop) {
            show->setRequestedTop(request.points);
        } else if (pointsToPixels(request.points) < 1) {
            reply(failure(QStringLiteral("The width %1 is out of range.").arg(request.points)));
            return;
        } else {
            show->setRequestedWidth(request.points);
        }
        refreshListing();
        reply(Reply::success());
        return;
    }
    case Op::Activate:
        show->raise();
        show->activateWindow();
        m_active = p->id;
        refreshListing();
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
            show->gotoSlide(request.slide);
            reply(Reply::success());
        }
        return;
    case Op::CurrentSlide:
        reply(Reply::success(show->currentSlide()));
        return;
    default:
        reply(failure(QStringLiteral("The request is not known.")));
        return;
    }
}

void PresentationHost::addPdf(const QString &file, const QString &pdf,
                              const std::function<void(const Reply &)> &reply)
{
    QString why;
    auto doc = loadPdf(pdf, &why);
    if (!doc) {
        qWarning("The file %s %s.", qPrintable(file), qPrintable(why));
        reply(failure(QStringLiteral("The file %1 %2.").arg(file, why)));
        return;
    }
    Presentation p;
    p.id = ++m_nextId;
    p.file = file;
    p.pdf = pdf;
    p.slideCount = doc->numPages();
    p.loops = deckLoops(file);
    p.doc = std::move(doc);
    m_active = p.id;
    const auto id = p.id;
    m_presentations.emplace(id, std::move(p));
    refreshListing();
    reply(Reply::success(id));
}

void PresentationHost::run(Presentation &p)
{
    if (p.show) {
        // Running it again starts it afresh, as a new show.
        ShowWindow *old = p.show.data();
        p.show.clear();
        old->disconnect(this);
        old->endShow();
        old->deleteLater();
    }
    auto *show = new ShowWindow(p.id, p.slideCount,
                                QFileInfo(p.file).fileName() + QStringLiteral(" - Slide Show"));
    p.show = show;
    if (std::unique_ptr<Poppler::Page> first{p.doc->page(0)}) {
        show->setSlideSize(first->pageSizeF());
    }
    show->setLoop(p.loops);
    show->placeFullPrimary();
    connect(show, &ShowWindow::slideChanged, this, [this, show] {
        updateShow(show);
        scheduleFrames();
        refreshListing();
    });
    connect(show, &ShowWindow::frameBoxChanged, this, [this, show] {
        updateShow(show);
        scheduleFrames();
    });
    connect(show, &ShowWindow::ended, this, [this, show] { showEnded(show); });
    show->show();
    m_placer->add(show);
    show->activateWindow();
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
    m_server->close();
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
}

void PresentationHost::updateShow(ShowWindow *window)
{
    Presentation *p = find(window->presId());
    if (p == nullptr) {
        return;
    }
    const FrameKey key{p->pdf, window->currentSlide(), window->frameBox()};
    if (const QImage *frame = m_cache.find(key)) {
        window->showFrame(*frame, key.slide);
    } else if (window->shownSlide() != key.slide) {
        // A frame of the right slide at another size beats the wrong slide at the right size.
        if (const QImage *other = m_cache.findAnySize(p->pdf, key.slide)) {
            window->showFrame(*other, key.slide);
        }
    }
}

void PresentationHost::frameReady(const FrameKey &key, const QImage &image)
{
    m_cache.insert(key, image);
    for (auto &[id, p] : m_presentations) {
        ShowWindow *w = p.show.data();
        if (w != nullptr && p.pdf == key.pdf && w->currentSlide() == key.slide &&
            w->frameBox() == key.box) {
            w->showFrame(image, key.slide);
        }
    }
}

void PresentationHost::scheduleFrames()
{
    // The active show first, then the others; for each rank around the current slide every
    // show gets its frame before any show gets the next rank.
    std::vector<std::pair<ShowWindow *, QString>> shows;
    for (auto &[id, p] : m_presentations) {
        if (ShowWindow *w = p.show.data()) {
            if (id == m_active) {
                shows.insert(shows.begin(), {w, p.pdf});
            } else {
                shows.emplace_back(w, p.pdf);
            }
        }
    }
    std::vector<FrameKey> wanted;
    size_t urgent = 0;
    std::int64_t budget = m_cache.capBytes();
    for (size_t rank = 0; rank < 6; ++rank) {
        for (const auto &[w, pdf] : shows) {
            const auto around = slidesAround(w->currentSlide(), w->slideCount());
            if (rank >= around.size()) {
                continue;
            }
            const QSize box = w->frameBox();
            FrameKey key{pdf, around[rank], box};
            if (std::find(wanted.begin(), wanted.end(), key) != wanted.end()) {
                continue;
            }
            const std::int64_t bytes = frameBytes(box);
            if (rank > 0 && bytes > budget) {
                continue;
            }
            budget -= bytes;
            wanted.push_back(key);
            urgent += rank == 0 ? 1 : 0;
        }
    }
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
    if (request.width < 1 || request.height < 1 || request.width > 10000 ||
        request.height > 10000) {
        reply(failure(QStringLiteral("The picture size %1 by %2 is out of range.")
                          .arg(request.width)
                          .arg(request.height)));
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
    QImage image;
    if (const QImage *held = m_cache.findAnySize(p.pdf, request.slide)) {
        image = held->scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    } else {
        image = renderStretched(*p.doc, request.slide - 1, size);
    }
    if (image.isNull()) {
        reply(failure(QStringLiteral("Slide %1 could not be drawn.").arg(request.slide)));
        return;
    }
    image = image.convertToFormat(QImage::Format_RGB32);

    const QString problem = writePicture(image, request.path, format);
    if (!problem.isEmpty()) {
        reply(failure(
            QStringLiteral("The file %1 cannot be written: %2").arg(request.path, problem)));
        return;
    }
    reply(Reply::success());
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
        QString line = QStringLiteral("%1: %2, %3 slides, ").arg(id).arg(p.file).arg(p.slideCount);
        if (const ShowWindow *w = p.show.data()) {
            const QRect g = w->geometry();
            const RequestedPlacement &asked = w->requested();
            line += QStringLiteral("show running on slide %1, window left %2 pt, top %3 pt, width "
                                   "%4 pt (%5x%6 px at %7,%8), "
                                   "slide on screen: %9")
                        .arg(w->currentSlide())
                        .arg(points(asked.left), points(asked.top), points(asked.width))
                        .arg(g.width())
                        .arg(g.height())
                        .arg(g.x())
                        .arg(g.y())
                        .arg(w->shownSlide() == 0 ? QStringLiteral("none yet")
                                                  : QString::number(w->shownSlide()));
        } else {
            line += QStringLiteral("no show running");
        }
        lines << line;
    }
    lines << QStringLiteral("Frames held: %1 (%2 MiB of %3 MiB)")
                 .arg(m_cache.size())
                 .arg(m_cache.bytes() / (1024 * 1024))
                 .arg(m_cache.capBytes() / (1024 * 1024));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

void PresentationHost::refreshListing()
{
    std::vector<PresentationRow> rows;
    for (const auto &[id, p] : m_presentations) {
        PresentationRow row;
        row.id = QString::number(id);
        row.file = p.file;
        row.slides = QString::number(p.slideCount);
        if (const ShowWindow *w = p.show.data()) {
            const RequestedPlacement &asked = w->requested();
            row.show = QStringLiteral("running");
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
