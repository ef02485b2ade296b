// The real host program against what could hold it: files that block when opened, a long
// journal, a program that sends without reading, an export too large to make.

#include "deck_maker.h"
#include "host_test_support.h"
#include "presentation_automation/host/service/journal.h"
#include "presentation_automation/host/service/protocol.h"

#include "platform/testing/test_main.h"

#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>

#include <cerrno>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;

namespace {

// One request on a connection of its own, as a program that is not a controller would send it.
std::optional<Reply> rawCall(const QString &runtimeDir, const Request &request)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath(runtimeDir));
    if (!socket.waitForConnected(20000)) {
        return std::nullopt;
    }
    socket.write(frame(encodeRequest(request)));
    FrameReader reader;
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (auto payload = reader.next()) {
            return decodeReply(*payload);
        }
        if (!socket.waitForReadyRead(200) && socket.state() != QLocalSocket::ConnectedState) {
            return std::nullopt;
        }
        reader.append(socket.readAll());
    }
    return std::nullopt;
}

Request request(Op op, std::int64_t pres = 0)
{
    Request r;
    r.op = op;
    r.pres = pres;
    return r;
}

// The slide each running show is on, by presentation id, from the host's listing.
std::map<std::int64_t, int> runningShows(const QString &runtimeDir)
{
    static const QRegularExpression line(QStringLiteral("^(\\d+): .*show running on slide (\\d+)"),
                                         QRegularExpression::MultilineOption);
    std::map<std::int64_t, int> out;
    if (const auto status = rawCall(runtimeDir, request(Op::Status))) {
        auto it = line.globalMatch(status->text);
        while (it.hasNext()) {
            const auto m = it.next();
            out[m.captured(1).toLongLong()] = m.captured(2).toInt();
        }
    }
    return out;
}

JournalEntry entry(std::int64_t id, const QString &file, bool running, int slide = 1)
{
    JournalEntry e;
    e.id = id;
    e.file = e.pdf = file;
    e.slideCount = 3;
    e.showRunning = running;
    e.slide = slide;
    // The higher the id, the more recently used.
    e.touched = QDateTime::currentSecsSinceEpoch() - 100000 + id % 100000;
    return e;
}

// The journal a host that died would have left.
bool leaveJournal(const QString &runtimeDir, const JournalState &state)
{
    return preparePrivateFolder(runtimeDir).isEmpty() &&
           Journal(journalPath(runtimeDir)).save(state).isEmpty();
}

bool makeFifo(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

} // namespace

class TestHostRobustness : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_fx;

    QString deck(const QString &name, int pages = 3)
    {
        const QString path = m_fx->path(name);
        if (!QFileInfo::exists(path)) {
            makeDeck(path, pages);
        }
        return path;
    }

    qint64 hostPid() const
    {
        const auto pids = hostProcesses(m_fx->runtimeDir);
        return pids.size() == 1 ? pids.front() : 0;
    }

private slots:
    void init() { m_fx = std::make_unique<HostFixture>(); }
    void cleanup() { m_fx.reset(); }

    void filesThatBlockNeverHoldTheHost()
    {
        const QString shown = deck(QStringLiteral("shown.pdf"));
        const QString pipe = m_fx->path(QStringLiteral("pipe.pdf"));
        QVERIFY(makeFifo(pipe));
        // A journal entry whose deck became a named pipe since, beside a show that runs; the
        // largest ids a journal keeps apart are taken.
        JournalState state;
        state.session = QStringLiteral("s-1");
        state.nextId = maxPresentationId;
        state.active = maxPresentationId;
        state.presentations = {entry(maxPresentationId - 1, pipe, true),
                               entry(maxPresentationId, shown, true, 2)};
        QVERIFY(leaveJournal(m_fx->runtimeDir, state));

        auto app = applicationFactory(m_fx->options)();
        QVERIFY(QTest::qWaitFor(
            [&] { return runningShows(m_fx->runtimeDir)[maxPresentationId] == 2; }, 30000));
        const auto lost = rawCall(m_fx->runtimeDir, request(Op::SlideCount, maxPresentationId - 1));
        QVERIFY(lost && !lost->ok);
        QVERIFY2(lost->description.contains(QStringLiteral("not open")),
                 qPrintable(lost->description));
        QVERIFY2(m_fx->log().contains(QStringLiteral("is a named pipe")), qPrintable(m_fx->log()));

        // Opened by a program: refused for what it is.
        const auto refused = errorOf([&] { app->presentations()->open(str(pipe)); });
        QVERIFY(refused);
        QVERIFY2(
            QString::fromStdString(refused->description()).contains(QStringLiteral("named pipe")),
            refused->what());

        // A new deck gets an id of its own, not one of those.
        Request open = request(Op::Open);
        open.path = shown;
        const auto opened = rawCall(m_fx->runtimeDir, open);
        QVERIFY(opened && opened->ok);
        QVERIFY(opened->value >= 1 && opened->value < maxPresentationId - 1);

        // Asked to end, it ends, and says so only when it has.
        const qint64 pid = hostPid();
        QVERIFY(pid > 0);
        QProcess quit;
        quit.start(m_fx->options.hostProgram,
                   {QStringLiteral("--quit"), QStringLiteral("--runtime-dir"), m_fx->runtimeDir});
        QVERIFY(quit.waitForFinished(30000));
        QCOMPARE(quit.exitCode(), 0);
        QVERIFY(processGone(pid, 10000));
        QVERIFY(!QFile::exists(journalPath(m_fx->runtimeDir)));
    }

    void aJournalThatIsAPipeIsSetAside()
    {
        QVERIFY(preparePrivateFolder(m_fx->runtimeDir).isEmpty());
        QVERIFY(makeFifo(journalPath(m_fx->runtimeDir)));
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck(QStringLiteral("after.pdf"))));
        QCOMPARE(pres->slides()->count(), 3);
        QVERIFY2(m_fx->log().contains(QStringLiteral("is a named pipe")), qPrintable(m_fx->log()));
        // The journal written since is a file of its own.
        QVERIFY(QTest::qWaitFor([&] { return QFileInfo(journalPath(m_fx->runtimeDir)).isFile(); },
                                10000));

        const qint64 pid = hostPid();
        ::kill(static_cast<pid_t>(pid), SIGTERM);
        QVERIFY(processGone(pid, 10000));
    }

    void longJournalPutsRunningShowsBackFirst()
    {
        const QString small = deck(QStringLiteral("small.pdf"));
        JournalState state;
        state.session = QStringLiteral("s-2");
        state.nextId = 10000;
        state.active = 10000;
        for (std::int64_t id = 1; id <= 10000; ++id) {
            // The running shows last in the file, as the oldest presentations come first.
            state.presentations.push_back(entry(id, small, id > 9997, id > 9997 ? 3 : 1));
        }
        QVERIFY(leaveJournal(m_fx->runtimeDir, state));

        auto app = applicationFactory(m_fx->options)();
        QVERIFY(QTest::qWaitFor(
            [&] {
                const auto shows = runningShows(m_fx->runtimeDir);
                return shows.size() == 3 && shows.count(9998) && shows.count(10000);
            },
            60000));
        // Asked for while the rest is put back: answered.
        const auto count = rawCall(m_fx->runtimeDir, request(Op::SlideCount, 9000));
        QVERIFY(count && count->ok);
        QCOMPARE(count->value, 3);
        // The journal keeps its bound: the presentations long unused are forgotten, and said so.
        QVERIFY2(m_fx->log().contains(QStringLiteral("forgotten")),
                 qPrintable(m_fx->log().right(2000)));
        const auto forgotten = rawCall(m_fx->runtimeDir, request(Op::SlideCount, 10));
        QVERIFY(forgotten && !forgotten->ok);
        QVERIFY(QTest::qWaitFor(
            [&] {
                QStringList problems;
                const auto now = Journal(journalPath(m_fx->runtimeDir)).load(&problems);
                return now && now->presentations.size() == maxIdlePresentations + 3;
            },
            120000));
    }

    void aProgramThatNeverReadsIsCutOff()
    {
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck(QStringLiteral("steps.pdf"), 40)));
        pres->slideShowSettings()->run();
        auto view = pres->slideShowWindow()->view();

        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        QVERIFY(fd >= 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(socketPath(m_fx->runtimeDir));
        std::memcpy(address.sun_path, path.constData(), path.size());
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        QByteArray burst;
        for (int i = 0; i < 2000; ++i) {
            burst += frame(encodeRequest(request(Op::Status)));
        }
        // Requests without end, none of the answers read, and steps of the show meanwhile.
        bool cut = false;
        int steps = 0;
        QDeadlineTimer deadline(120000);
        while (!cut && !deadline.hasExpired()) {
            qsizetype at = 0;
            while (at < burst.size()) {
                const ssize_t n =
                    ::send(fd, burst.constData() + at, burst.size() - at, MSG_NOSIGNAL);
                if (n > 0) {
                    at += n;
                    continue;
                }
                if (n < 0 && (errno == EPIPE || errno == ECONNRESET)) {
                    cut = true;
                    break;
                }
                pollfd p{fd, POLLOUT, 0};
                if (::poll(&p, 1, 100) > 0 && (p.revents & (POLLHUP | POLLERR))) {
                    cut = true;
                    break;
                }
                if (steps < 30) {
                    view->gotoSlide(++steps % 40 + 1);
                }
            }
        }
        ::close(fd);
        QVERIFY(cut);
        QVERIFY(steps > 0);
        QVERIFY2(m_fx->log().contains(QStringLiteral("cut off")),
                 qPrintable(m_fx->log().right(2000)));
        // The show's own program was served throughout and still is.
        view->next();
        QCOMPARE(view->slide()->slideIndex(), steps % 40 + 2);
    }

    void oversizedExportIsRefused()
    {
        auto app = applicationFactory(m_fx->options)();
        auto pres = app->presentations()->open(str(deck(QStringLiteral("export.pdf"))));
        pres->slideShowSettings()->run();
        auto slide = pres->slides()->item(1);
        const QString picture = m_fx->path(QStringLiteral("big.png"));
        const auto refused = errorOf([&] { slide->exportTo(str(picture), "PNG", 10000, 10000); });
        QVERIFY(refused);
        QVERIFY2(
            QString::fromStdString(refused->description()).contains(QStringLiteral("too large")),
            refused->what());
        QVERIFY(!QFile::exists(picture));
        // A large one within the bound is made (away from the shows' thread).
        slide->exportTo(str(picture), "PNG", 2400, 1800);
        QCOMPARE(QImage(picture).size(), QSize(2400, 1800));
    }
};

CORVANE_TEST_MAIN(TestHostRobustness)
#include "tst_host_robustness.moc"
