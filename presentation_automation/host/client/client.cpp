#include "presentation_automation/host/client/client.h"

#include "presentation_automation/call_wait.h"
#include "presentation_automation/host/service/host_log.h"
#include "presentation_automation/host/service/protocol.h"
#include "presentation_automation/host/service/runtime_dir.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <memory>
#include <sys/types.h>

namespace pa::host {

namespace {

const char *const errorSource = "Presentation host";

[[noreturn]] void fail(const QString &where, const QString &description)
{
    throw AutomationError(errorSource, (where + QStringLiteral(" : ") + description).toStdString());
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 3);
}

class Connection;
std::shared_ptr<Connection> reachOrStart(const ClientOptions &options, int greetingMs);

// One connection to the host. Calls are strictly request then reply. After a timeout or an
// unreadable reply the socket is dropped, since a late answer would be taken for the answer
// of the next call; a later call connects again, and goes on only when the same host
// process answers, or a host that put back that host's presentations after it died (same
// session). A host that keeps failing is not asked again for a moment, so a handler full of
// calls to a hung host fails quickly instead of waiting out every call. A connection that
// closes (the host died) is noticed from the event loop and a new host is started at once,
// so the shows are back before the operator's next press.
class Connection : public std::enable_shared_from_this<Connection>
{
public:
    enum class Outcome
    {
        Connected,
        NoHost,       // nothing listens: no host, or one that died
        NotAnswering, // something accepts but does not greet in time: a busy or hung host
        NotAHost,     // something answers, but not as a host
    };

    static std::shared_ptr<Connection> open(const QString &path, int timeoutMs, Outcome *outcome)
    {
        auto conn = std::shared_ptr<Connection>(new Connection(path));
        *outcome = conn->connectAndGreet(timeoutMs);
        return *outcome == Outcome::Connected ? conn : nullptr;
    }

    ~Connection()
    {
        dropSocket();
        if (m_notifier != nullptr) {
            m_notifier->deleteLater();
        }
    }

    std::int64_t pid() const { return m_pid; }

    // The host closed this connection (it ended) within waitMs.
    bool waitUntilClosed(int waitMs)
    {
        const QDeadlineTimer deadline(waitMs);
        while (m_socket->state() == QLocalSocket::ConnectedState) {
            if (deadline.hasExpired()) {
                return false;
            }
            if (m_socket->waitForReadyRead(remaining(deadline))) {
                m_socket->readAll();
            }
        }
        return true;
    }

    // From now on a closed connection starts a new host at once (options say how).
    void keepAlive(const ClientOptions &options)
    {
        m_options = options;
        m_keepAlive = true;
        watch();
    }

    Reply call(const Request &request, int timeoutMs, const QString &where)
    {
        const InCall inCall(this);
        // A host that died since the last call is noticed here, before the request is sent
        // into a closed connection: nothing was carried out, so a new host can take it.
        if (m_broken.isEmpty() && m_socket->bytesAvailable() == 0) {
            m_socket->waitForReadyRead(0);
            if (m_socket->state() != QLocalSocket::ConnectedState) {
                m_hostLost = true;
                m_broken = QStringLiteral("The connection to the presentation host was lost.");
            }
        }
        if (!m_broken.isEmpty() || m_socket->state() != QLocalSocket::ConnectedState) {
            reconnect(timeoutMs, where);
        }
        const Reply reply = exchange(request, timeoutMs, where);
        if (!reply.ok) {
            throw AutomationError(
                reply.source.toStdString(),
                (where + QStringLiteral(" : ") + reply.description).toStdString());
        }
        return reply;
    }

private:
    static constexpr int retryPauseMs = 2000;
    static constexpr int reconnectGreetingMs = 1000;
    static constexpr int waitSliceMs = 40;

    struct InCall
    {
        explicit InCall(Connection *c) : c(c) { c->m_inCall = true; }
        ~InCall() { c->m_inCall = false; }
        Connection *c;
    };

    explicit Connection(QString path) : m_path(std::move(path)) {}

    Outcome connectAndGreet(int timeoutMs)
    {
        dropSocket();
        m_socket = std::make_unique<QLocalSocket>();
        m_reader = FrameReader();
        m_socket->connectToServer(m_path);
        if (!m_socket->waitForConnected(timeoutMs)) {
            const auto error = m_socket->error();
            return error == QLocalSocket::ConnectionRefusedError ||
                           error == QLocalSocket::ServerNotFoundError
                       ? Outcome::NoHost
                       : Outcome::NotAnswering;
        }
        Request hello;
        hello.op = Op::Hello;
        try {
            const Reply reply = exchange(hello, timeoutMs, QStringLiteral("CreateObject"));
            if (!reply.ok || reply.text != QLatin1String(protocolGreeting) || reply.value <= 0) {
                return Outcome::NotAHost;
            }
            m_pid = reply.value;
            m_session = reply.session;
        } catch (const AutomationError &) {
            return m_timedOut ? Outcome::NotAnswering : Outcome::NotAHost;
        }
        return Outcome::Connected;
    }

    void reconnect(int timeoutMs, const QString &where)
    {
        // A host that died is replaced at once; one that failed otherwise gets a moment.
        if (!m_hostLost && m_lastAttempt.isValid() && m_lastAttempt.elapsed() < retryPauseMs) {
            fail(where, m_broken);
        }
        if (!revive(std::min(timeoutMs, reconnectGreetingMs))) {
            fail(where, m_broken);
        }
    }

    // Reaches the host again, starting one when none runs. True when it is the same host,
    // or one that took over its presentations.
    bool revive(int greetingMs)
    {
        m_lastAttempt.start();
        m_hostLost = false;
        if (m_broken.isEmpty()) {
            m_broken = QStringLiteral("The connection to the presentation host was lost.");
        }
        std::shared_ptr<Connection> fresh;
        if (m_keepAlive) {
            try {
                fresh = reachOrStart(m_options, greetingMs);
            } catch (const AutomationError &e) {
                const QString text = QString::fromStdString(e.description());
                const auto cut = text.indexOf(QLatin1String(" : "));
                m_broken = cut < 0 ? text : text.mid(cut + 3);
                return false;
            }
        } else {
            Outcome outcome{};
            fresh = open(m_path, greetingMs, &outcome);
            if (!fresh) {
                return false;
            }
        }
        if (fresh->m_pid != m_pid &&
            (fresh->m_session.isEmpty() || fresh->m_session != m_session)) {
            m_broken = QStringLiteral("The presentation host was started again since; this "
                                      "presentation is no longer open.");
            return false;
        }
        dropSocket();
        m_socket = std::move(fresh->m_socket);
        m_reader = std::move(fresh->m_reader);
        m_pid = fresh->m_pid;
        m_broken.clear();
        m_lastAttempt.invalidate();
        if (m_keepAlive) {
            watch();
        }
        return true;
    }

    void watch()
    {
        if (m_notifier == nullptr) {
            m_notifier = new QObject;
        }
        QObject::connect(m_socket.get(), &QLocalSocket::disconnected, m_notifier,
                         [weak = weak_from_this()] {
                             auto self = weak.lock();
                             if (!self || self->m_inCall) {
                                 return; // a call in progress deals with it
                             }
                             self->m_hostLost = true;
                             QMetaObject::invokeMethod(
                                 self->m_notifier,
                                 [weak] {
                                     auto again = weak.lock();
                                     if (again && again->m_hostLost && !again->m_inCall) {
                                         const InCall inCall(again.get());
                                         again->revive(reconnectGreetingMs);
                                     }
                                 },
                                 Qt::QueuedConnection);
                         });
    }

    // Forgets the socket without its signals firing into this connection.
    void dropSocket()
    {
        if (m_socket) {
            QObject::disconnect(m_socket.get(), nullptr, nullptr, nullptr);
            m_socket->abort();
            m_socket.reset();
        }
    }

    // One request and its reply, whether it reports success or failure.
    Reply exchange(const Request &request, int timeoutMs, const QString &where)
    {
        m_timedOut = false;
        const QDeadlineTimer deadline(timeoutMs);
        m_socket->write(frame(encodeRequest(request)));
        while (m_socket->bytesToWrite() > 0) {
            if (!m_socket->waitForBytesWritten(remaining(deadline))) {
                giveUp(where, timeoutMs, deadline);
            }
        }
        for (;;) {
            if (auto payload = m_reader.next()) {
                auto reply = decodeReply(*payload);
                if (!reply) {
                    breakOff(where,
                             QStringLiteral(
                                 "The presentation host answered with an unreadable message."));
                }
                return *reply;
            }
            if (m_reader.failed()) {
                breakOff(where, QStringLiteral(
                                    "The presentation host answered with an unreadable message."));
            }
            if (m_socket->bytesAvailable() == 0 && !waitForReply(deadline)) {
                giveUp(where, timeoutMs, deadline);
            }
            m_reader.append(m_socket->readAll());
        }
    }

    // Waits in short slices, so that the program's windows can be kept alive meanwhile.
    bool waitForReply(const QDeadlineTimer &deadline)
    {
        for (;;) {
            if (m_socket->waitForReadyRead(std::min(remaining(deadline), waitSliceMs))) {
                return true;
            }
            if (m_socket->state() != QLocalSocket::ConnectedState || deadline.hasExpired()) {
                return false;
            }
            pa::whileWaiting();
        }
    }

    static int remaining(const QDeadlineTimer &deadline)
    {
        return static_cast<int>(std::max<qint64>(0, deadline.remainingTime()));
    }

    [[noreturn]] void giveUp(const QString &where, int timeoutMs, const QDeadlineTimer &deadline)
    {
        if (m_socket->state() != QLocalSocket::ConnectedState) {
            m_hostLost = true;
            breakOff(where, QStringLiteral("The connection to the presentation host was lost."));
        }
        if (deadline.hasExpired()) {
            m_timedOut = true;
            breakOff(where, QStringLiteral("The presentation host did not answer within %1 s.")
                                .arg(seconds(timeoutMs)));
        }
        breakOff(where, QStringLiteral("The connection to the presentation host failed: %1")
                            .arg(m_socket->errorString()));
    }

    [[noreturn]] void breakOff(const QString &where, const QString &why)
    {
        m_broken = why;
        m_lastAttempt.start();
        QObject::disconnect(m_socket.get(), nullptr, nullptr, nullptr);
        m_socket->abort();
        fail(where, why);
    }

    QString m_path;
    std::unique_ptr<QLocalSocket> m_socket;
    FrameReader m_reader;
    QString m_broken;
    QElapsedTimer m_lastAttempt;
    std::int64_t m_pid = 0;
    QString m_session;
    ClientOptions m_options;
    bool m_keepAlive = false;
    bool m_hostLost = false;
    bool m_timedOut = false;
    bool m_inCall = false;
    // Receives the socket's signals; deleted later, since it may be what is running.
    QObject *m_notifier = nullptr;
};

struct Session
{
    std::shared_ptr<Connection> connection;
    ClientOptions options;

    Reply call(Request request, const char *where) const
    {
        int timeout = options.stepTimeoutMs;
        if (request.op == Op::Open) {
            timeout = options.openTimeoutMs;
        } else if (request.op == Op::Export) {
            timeout = options.exportTimeoutMs;
        }
        return connection->call(request, timeout, QLatin1String(where));
    }

    Reply call(Op op, std::int64_t pres, const char *where) const
    {
        Request r;
        r.op = op;
        r.pres = pres;
        return call(r, where);
    }
};

using SessionPtr = std::shared_ptr<const Session>;

QString absolutePath(const std::string &fileName)
{
    // The host runs in another working folder, so relative names are resolved here.
    const QString name = QString::fromStdString(fileName);
    return name.isEmpty() ? name : QDir::current().absoluteFilePath(name);
}

std::int32_t toInt32(std::int64_t value)
{
    return static_cast<std::int32_t>(value);
}

class HostSlide : public Slide
{
public:
    HostSlide(SessionPtr s, std::int64_t pres, std::int32_t index)
        : m_s(std::move(s)), m_pres(pres), m_index(index)
    {}

    std::int32_t slideIndex() override
    {
        Request r;
        r.op = Op::CheckSlide;
        r.pres = m_pres;
        r.slide = m_index;
        return toInt32(m_s->call(r, "Slide.SlideIndex").value);
    }

    void exportTo(const std::string &fileName, const std::string &filterName,
                  std::int32_t scaleWidth, std::int32_t scaleHeight) override
    {
        m_s->call(exportRequest(Op::Export, fileName, filterName, scaleWidth, scaleHeight),
                  "Slide.Export");
    }

    bool exportIfDrawn(const std::string &fileName, const std::string &filterName,
                       std::int32_t scaleWidth, std::int32_t scaleHeight) override
    {
        return m_s->call(
                      exportRequest(Op::ExportHeld, fileName, filterName, scaleWidth, scaleHeight),
                      "Slide.Export")
                   .value != 0;
    }

    std::optional<std::int32_t> buildCount() override
    {
        Request r;
        r.op = Op::SlideBuilds;
        r.pres = m_pres;
        r.slide = m_index;
        return toInt32(m_s->call(r, "Slide.BuildCount").value);
    }

private:
    Request exportRequest(Op op, const std::string &fileName, const std::string &filterName,
                          std::int32_t scaleWidth, std::int32_t scaleHeight) const
    {
        Request r;
        r.op = op;
        r.pres = m_pres;
        r.slide = m_index;
        r.path = absolutePath(fileName);
        r.filter = QString::fromStdString(filterName);
        r.width = scaleWidth;
        r.height = scaleHeight;
        return r;
    }

    SessionPtr m_s;
    std::int64_t m_pres;
    std::int32_t m_index;
};

class HostSlides : public Slides
{
public:
    HostSlides(SessionPtr s, std::int64_t pres) : m_s(std::move(s)), m_pres(pres) {}

    std::int32_t count() override
    {
        return toInt32(m_s->call(Op::SlideCount, m_pres, "Slides.Count").value);
    }

    std::shared_ptr<Slide> item(std::int32_t index) override
    {
        Request r;
        r.op = Op::CheckSlide;
        r.pres = m_pres;
        r.slide = index;
        m_s->call(r, "Slides.Item");
        return std::make_shared<HostSlide>(m_s, m_pres, index);
    }

private:
    SessionPtr m_s;
    std::int64_t m_pres;
};

class HostView : public SlideShowView
{
public:
    HostView(SessionPtr s, std::int64_t pres) : m_s(std::move(s)), m_pres(pres) {}

    void next() override { m_s->call(Op::Next, m_pres, "SlideShowView.Next"); }
    void previous() override { m_s->call(Op::Previous, m_pres, "SlideShowView.Previous"); }

    void gotoSlide(std::int32_t index, int resetSlide) override
    {
        Request r;
        r.op = Op::GotoSlide;
        r.pres = m_pres;
        r.slide = index;
        r.flag = resetSlide;
        m_s->call(r, "SlideShowView.GotoSlide");
    }

    std::shared_ptr<Slide> slide() override
    {
        const auto index =
            toInt32(m_s->call(Op::CurrentSlide, m_pres, "SlideShowView.Slide").value);
        return std::make_shared<HostSlide>(m_s, m_pres, index);
    }

    std::int32_t state() override
    {
        return toInt32(m_s->call(Op::ViewState, m_pres, "SlideShowView.State").value);
    }

    void setState(std::int32_t state) override
    {
        Request r;
        r.op = Op::SetViewState;
        r.pres = m_pres;
        r.flag = state;
        m_s->call(r, "SlideShowView.State");
    }

    std::optional<std::int32_t> buildStep() override
    {
        return toInt32(m_s->call(Op::CurrentBuild, m_pres, "SlideShowView.BuildStep").value);
    }

    std::optional<MediaState> media() override
    {
        const Reply r = m_s->call(Op::MediaState, m_pres, "SlideShowView.Media");
        MediaState state;
        state.playing = r.text == QLatin1String("playing");
        if (state.playing && r.value >= 0) {
            state.remainingSeconds = static_cast<double>(r.value) / 1000.0;
        }
        return state;
    }

private:
    SessionPtr m_s;
    std::int64_t m_pres;
};

class HostWindow : public SlideShowWindow
{
public:
    HostWindow(SessionPtr s, std::int64_t pres) : m_s(std::move(s)), m_pres(pres) {}

    void setLeft(float points) override { place(Op::SetLeft, points, "SlideShowWindow.Left"); }
    void setTop(float points) override { place(Op::SetTop, points, "SlideShowWindow.Top"); }
    void setWidth(float points) override { place(Op::SetWidth, points, "SlideShowWindow.Width"); }
    void activate() override { m_s->call(Op::Activate, m_pres, "SlideShowWindow.Activate"); }

    std::shared_ptr<SlideShowView> view() override
    {
        m_s->call(Op::CheckShow, m_pres, "SlideShowWindow.View");
        return std::make_shared<HostView>(m_s, m_pres);
    }

private:
    void place(Op op, float points, const char *where)
    {
        Request r;
        r.op = op;
        r.pres = m_pres;
        r.points = static_cast<double>(points);
        if (!std::isfinite(r.points)) {
            fail(QLatin1String(where), QStringLiteral("The value is not a number."));
        }
        m_s->call(r, where);
    }

    SessionPtr m_s;
    std::int64_t m_pres;
};

class HostSettings : public SlideShowSettings
{
public:
    HostSettings(SessionPtr s, std::int64_t pres) : m_s(std::move(s)), m_pres(pres) {}

    void run() override { m_s->call(Op::Run, m_pres, "SlideShowSettings.Run"); }

private:
    SessionPtr m_s;
    std::int64_t m_pres;
};

class HostApplication;

class HostPresentation : public Presentation
{
public:
    HostPresentation(SessionPtr s, std::int64_t pres) : m_s(std::move(s)), m_pres(pres) {}

    std::shared_ptr<SlideShowSettings> slideShowSettings() override
    {
        return std::make_shared<HostSettings>(m_s, m_pres);
    }

    std::shared_ptr<SlideShowWindow> slideShowWindow() override
    {
        m_s->call(Op::CheckShow, m_pres, "Presentation.SlideShowWindow");
        return std::make_shared<HostWindow>(m_s, m_pres);
    }

    std::shared_ptr<Slides> slides() override { return std::make_shared<HostSlides>(m_s, m_pres); }

    std::shared_ptr<Application> application() override;

    std::optional<std::vector<std::string>> importReport() override
    {
        const QString text = m_s->call(Op::ImportReport, m_pres, "Presentation.ImportReport").text;
        std::vector<std::string> lines;
        for (const QString &line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            lines.push_back(line.toStdString());
        }
        return lines;
    }

    void prepareSlides(const std::vector<std::int32_t> &slides) override
    {
        Request r;
        r.op = Op::Prepare;
        r.pres = m_pres;
        r.slides.assign(slides.begin(),
                        slides.begin() +
                            std::min<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(slides.size()),
                                                     maxPreparedSlides));
        m_s->call(r, "Presentation.PrepareSlides");
    }

private:
    SessionPtr m_s;
    std::int64_t m_pres;
};

class HostPresentations : public Presentations
{
public:
    explicit HostPresentations(SessionPtr s) : m_s(std::move(s)) {}

    std::shared_ptr<Presentation> open(const std::string &fileName, std::optional<int>,
                                       std::optional<int>, std::optional<int>) override
    {
        Request r;
        r.op = Op::Open;
        r.path = absolutePath(fileName);
        const auto id = m_s->call(r, "Presentations.Open").value;
        return std::make_shared<HostPresentation>(m_s, id);
    }

private:
    SessionPtr m_s;
};

class HostApplication : public Application
{
public:
    explicit HostApplication(SessionPtr s) : m_s(std::move(s)) {}

    void setVisible(int visible) override
    {
        Request r;
        r.op = Op::SetVisible;
        r.flag = visible;
        m_s->call(r, "Application.Visible");
    }

    std::shared_ptr<Presentations> presentations() override
    {
        return std::make_shared<HostPresentations>(m_s);
    }

    std::shared_ptr<Presentation> activePresentation() override
    {
        Request r;
        r.op = Op::ActivePresentation;
        const auto id = m_s->call(r, "Application.ActivePresentation").value;
        return std::make_shared<HostPresentation>(m_s, id);
    }

private:
    SessionPtr m_s;
};

std::shared_ptr<Application> HostPresentation::application()
{
    return std::make_shared<HostApplication>(m_s);
}

QString runtimeDirOf(const ClientOptions &options)
{
    return options.runtimeDir.isEmpty() ? defaultRuntimeDir() : options.runtimeDir;
}

QString hostProgramOf(const ClientOptions &options)
{
    if (!options.hostProgram.isEmpty()) {
        return options.hostProgram;
    }
    // Beside the program in a build; in the libexec folder when installed.
    const QString dir = QCoreApplication::applicationDirPath();
    const QString beside = dir + QLatin1Char('/') + hostProgramName();
    if (QFileInfo(beside).isExecutable()) {
        return beside;
    }
    return QDir::cleanPath(dir + QStringLiteral("/" CORVANE_LIBEXEC_FROM_BIN "/") +
                           hostProgramName());
}

bool processAlive(qint64 pid)
{
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) != 0) {
        return false;
    }
    // An ended process that nobody reaped yet still answers kill(); its state says Z.
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        const QByteArray text = stat.readAll();
        const auto close = text.lastIndexOf(')');
        if (close >= 0 && close + 2 < text.size()) {
            const char state = text.at(close + 2);
            return state != 'Z' && state != 'X';
        }
    }
    return true;
}

std::shared_ptr<Connection> startHost(const ClientOptions &options, const QString &dir,
                                      bool replace, int greetingMs)
{
    const QString where = QStringLiteral("CreateObject");
    const QString program = hostProgramOf(options);
    if (!QFileInfo(program).isExecutable()) {
        fail(where, QStringLiteral("The presentation host program %1 was not found.").arg(program));
    }
    QStringList arguments{QStringLiteral("--runtime-dir"), dir};
    if (replace) {
        arguments << QStringLiteral("--replace");
    }
    arguments << options.hostArguments;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    // In its environment, so that a host of any build starts (and logs it when it knows how).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(
        QString::fromLatin1(hostStartReasonVariable),
        QStringLiteral("%1 (process %2) found %3")
            .arg(QCoreApplication::applicationName())
            .arg(QCoreApplication::applicationPid())
            .arg(replace ? QStringLiteral("something that is not a presentation "
                                          "host at %1, and replaces it")
                               .arg(socketPath(dir))
                         : QStringLiteral("no presentation host at %1").arg(socketPath(dir))));
    process.setProcessEnvironment(environment);
    const QString log = prepareHostLog();
    process.setStandardOutputFile(log, QIODevice::Append);
    process.setStandardErrorFile(log, QIODevice::Append);
    process.setWorkingDirectory(dir);
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        fail(where,
             QStringLiteral("The presentation host program %1 could not be started.").arg(program));
    }
    const QDeadlineTimer deadline(options.startTimeoutMs);
    while (!deadline.hasExpired()) {
        Connection::Outcome outcome{};
        auto conn = Connection::open(socketPath(dir), greetingMs, &outcome);
        if (conn) {
            return conn;
        }
        if (!processAlive(pid)) {
            // It may have found another host answering and left that one in charge.
            conn = Connection::open(socketPath(dir), greetingMs, &outcome);
            if (conn) {
                return conn;
            }
            fail(where,
                 QStringLiteral("The presentation host ended while starting (see %1).").arg(log));
        }
        QThread::msleep(10);
        pa::whileWaiting();
    }
    fail(where, QStringLiteral("The presentation host did not start within %1 s (see %2).")
                    .arg(seconds(options.startTimeoutMs), log));
}

QString whyNotReached(const QString &path, Connection::Outcome outcome, int waitMs)
{
    switch (outcome) {
    case Connection::Outcome::NotAnswering:
        return QStringLiteral("A presentation host holds %1 but did not answer within %2 s.")
            .arg(path, seconds(waitMs));
    case Connection::Outcome::NotAHost:
        return QStringLiteral("What answers at %1 is not a presentation host.").arg(path);
    default:
        return QStringLiteral("No presentation host is running.");
    }
}

[[noreturn]] void hostNotAnswering(const QString &dir, int greetingMs)
{
    fail(QStringLiteral("CreateObject"),
         QStringLiteral("The presentation host at %1 did not answer within %2 s; it is busy or "
                        "hung. It is not replaced while it runs (see %3).")
             .arg(socketPath(dir), seconds(greetingMs), hostLogPath()));
}

// A host is started only where nothing listens, or where what listens is not a host: a host
// that is merely slow is waited for or reported, never replaced.
std::shared_ptr<Connection> reachOrStart(const ClientOptions &options, int greetingMs)
{
    const QString where = QStringLiteral("CreateObject");
    const QString dir = runtimeDirOf(options);
    const QString why = preparePrivateFolder(dir);
    if (!why.isEmpty()) {
        fail(where, why);
    }
    Connection::Outcome outcome{};
    if (auto conn = Connection::open(socketPath(dir), greetingMs, &outcome)) {
        return conn;
    }
    if (outcome == Connection::Outcome::NotAnswering) {
        hostNotAnswering(dir, greetingMs);
    }
    // Two programs starting at once: the second waits for the first and then finds its host.
    QLockFile lock(startLockPath(dir));
    lock.setStaleLockTime(0);
    if (!lock.tryLock(options.startTimeoutMs + options.stepTimeoutMs)) {
        fail(where, QStringLiteral(
                        "Another program is starting the presentation host and did not finish."));
    }
    if (auto conn = Connection::open(socketPath(dir), greetingMs, &outcome)) {
        return conn;
    }
    if (outcome == Connection::Outcome::NotAnswering) {
        hostNotAnswering(dir, greetingMs);
    }
    return startHost(options, dir, outcome == Connection::Outcome::NotAHost, greetingMs);
}

} // namespace

QString hostProgramName()
{
    return QStringLiteral("presentation_host");
}

ApplicationFactory applicationFactory(ClientOptions options)
{
    return [options]() -> std::shared_ptr<Application> {
        auto session = std::make_shared<Session>();
        session->connection = reachOrStart(options, options.stepTimeoutMs);
        session->connection->keepAlive(options);
        session->options = options;
        return std::make_shared<HostApplication>(session);
    };
}

std::int64_t runningHostPid(const ClientOptions &options)
{
    Connection::Outcome outcome{};
    auto conn =
        Connection::open(socketPath(runtimeDirOf(options)), options.stepTimeoutMs, &outcome);
    return conn ? conn->pid() : 0;
}

QString statusListing(const ClientOptions &options)
{
    Connection::Outcome outcome{};
    const QString path = socketPath(runtimeDirOf(options));
    auto conn = Connection::open(path, options.stepTimeoutMs, &outcome);
    if (!conn) {
        fail(QStringLiteral("Status"), whyNotReached(path, outcome, options.stepTimeoutMs));
    }
    Request r;
    r.op = Op::Status;
    return conn->call(r, options.stepTimeoutMs, QStringLiteral("Status")).text;
}

bool quitHost(const ClientOptions &options)
{
    Connection::Outcome outcome{};
    const QString path = socketPath(runtimeDirOf(options));
    auto conn = Connection::open(path, options.stepTimeoutMs, &outcome);
    if (!conn) {
        if (outcome == Connection::Outcome::NoHost) {
            return false;
        }
        fail(QStringLiteral("Quit"), whyNotReached(path, outcome, options.stepTimeoutMs));
    }
    Request r;
    r.op = Op::Quit;
    conn->call(r, options.stepTimeoutMs, QStringLiteral("Quit"));
    // Said to have ended only once it has.
    if (!conn->waitUntilClosed(options.stepTimeoutMs)) {
        fail(QStringLiteral("Quit"),
             QStringLiteral("The presentation host (process %1) was asked to end but still runs.")
                 .arg(conn->pid()));
    }
    return true;
}

} // namespace pa::host
