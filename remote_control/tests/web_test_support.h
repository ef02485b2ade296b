#pragma once

// What the web remote's tests share: curl as the API's client, and the page opened in
// headless Chromium by web_page.py, which reports what it sees and waits for "go".

#include "remote_control/tests/remote_test_support.h"

#include <QByteArray>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

namespace remote::testing {

struct HttpAnswer
{
    int status = 0;
    QByteArray headers;
    QByteArray body;
};

// One request made by curl; extra are further curl arguments (-H, -X, --data-binary).
inline HttpAnswer curl(const QString &url, const QStringList &extra = {})
{
    QTemporaryDir dir;
    const QString headers = dir.filePath(QStringLiteral("headers"));
    const QString body = dir.filePath(QStringLiteral("body"));
    QProcess process;
    process.start(QStringLiteral("curl"),
                  QStringList{QStringLiteral("-s"), QStringLiteral("-D"), headers,
                              QStringLiteral("-o"), body, QStringLiteral("-w"),
                              QStringLiteral("%{http_code}")}
                      << extra << url);
    // The program answering runs in this process: its event loop must turn meanwhile.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000)) {
        process.kill();
        process.waitForFinished(1000);
    }
    HttpAnswer answer;
    answer.status = process.readAllStandardOutput().trimmed().toInt();
    QFile h(headers);
    if (h.open(QIODevice::ReadOnly)) {
        answer.headers = h.readAll();
    }
    QFile b(body);
    if (b.open(QIODevice::ReadOnly)) {
        answer.body = b.readAll();
    }
    return answer;
}

// What a Python script printed, run with the event loop turning (the server is in this
// process); arguments follow the script as sys.argv[1:].
inline QByteArray pythonOutput(const char *script, const QStringList &arguments, int timeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(QStringLiteral("/usr/bin/python3"),
                  QStringList{QStringLiteral("-c"), QString::fromLatin1(script)} << arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
    }
    return process.readAllStandardOutput();
}

inline QJsonObject jsonOf(const HttpAnswer &answer)
{
    return QJsonDocument::fromJson(answer.body).object();
}

inline QImage pictureOf(const HttpAnswer &answer)
{
    return QImage::fromData(answer.body, "JPG");
}

inline bool haveBrowser()
{
    return QFile::exists(QStringLiteral("/usr/bin/chromium")) &&
           QFile::exists(QStringLiteral("/usr/bin/chromedriver"));
}

// The page of program ("corvane" or "kestro") at url, in a browser; token typed when asked.
inline std::unique_ptr<LineClient> webPage(const QString &program, const QString &url,
                                           const QString &token = {})
{
    QStringList arguments{QStringLiteral(WEB_PAGE_SCRIPT), program, url};
    if (!token.isEmpty()) {
        arguments << token;
    }
    return std::make_unique<LineClient>(QStringLiteral("/usr/bin/python3"), arguments);
}

// The next "seen <what> ..." line the page printed, waiting up to a minute (a browser's
// start on a loaded machine); empty, with what it printed in the log, when it failed.
inline QString seen(LineClient &page, const QString &what, qsizetype *from)
{
    const QString wanted = what == QLatin1String("done") ? what : QStringLiteral("seen ") + what;
    QString found;
    const auto next = [&] {
        const QStringList lines = page.lines();
        for (qsizetype i = *from; i < lines.size(); ++i) {
            if (lines.at(i).startsWith(wanted) || lines.at(i).startsWith("failed")) {
                found = lines.at(i);
                *from = i + 1; // the lines after it are for the next look
                return true;
            }
        }
        return false;
    };
    if (!QTest::qWaitFor(next, 60000) || !found.startsWith(wanted)) {
        qWarning("the page printed: %s", qPrintable(page.lines().join(QLatin1Char('\n'))));
        return {};
    }
    return found;
}

} // namespace remote::testing
