#include "presentation_automation/host/decks/converter.h"

#include "presentation_automation/host/decks/converted_cache.h"
#include "presentation_automation/host/decks/render.h"
#include "presentation_automation/host/off_thread.h"
#include "presentation_automation/host/service/host_process.h"

#include <poppler-qt6.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <csignal>
#include <memory>
#include <sys/types.h>
#include <unistd.h>

namespace pa::host {

Converter::Converter(const QString &cacheDir, QObject *parent)
    : QObject(parent), m_cacheDir(cacheDir)
{}

bool Converter::needsConversion(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("ppt") || suffix == QLatin1String("pps") ||
           suffix == QLatin1String("pptx") || suffix == QLatin1String("ppsx") ||
           suffix == QLatin1String("odp");
}

QString Converter::defaultCacheDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/presentation-host/converted");
}

struct Converter::Prepared
{
    QString error;
    QString cached;
    bool alreadyCached = false;
    std::shared_ptr<QTemporaryDir> work;
    QString input;
    QString outDir;
};

Converter::~Converter()
{
    m_pool.waitForDone();
}

Converter::Prepared Converter::prepare(const QString &source, const QString &cacheDir)
{
    Prepared out;
    QFile file(source);
    if (!file.open(QIODevice::ReadOnly)) {
        out.error = outOfFileDescriptors() ? QStringLiteral("cannot be opened: too many open files")
                                           : QStringLiteral("cannot be read");
        return out;
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file)) {
        out.error = QStringLiteral("cannot be read");
        return out;
    }
    file.close();
    const QString suffix = QFileInfo(source).suffix().toLower();
    // The kind is part of the key: the same bytes named .ppt and .odp convert differently.
    out.cached = cacheDir + QLatin1Char('/') + QString::fromLatin1(hash.result().toHex()) +
                 QLatin1Char('-') + suffix + QStringLiteral(".pdf");
    if (QFileInfo::exists(out.cached)) {
        out.alreadyCached = true;
        return out;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("soffice")).isEmpty()) {
        out.error = QStringLiteral(
            "cannot be opened: LibreOffice (soffice), which converts it, is not installed");
        return out;
    }
    out.work = std::make_shared<QTemporaryDir>(QDir::tempPath() +
                                               QStringLiteral("/presentation-host-convert-XXXXXX"));
    out.input = out.work->filePath(QStringLiteral("deck.") + suffix);
    out.outDir = out.work->filePath(QStringLiteral("out"));
    if (!out.work->isValid() || !QFile::copy(source, out.input) || !QDir().mkpath(out.outDir)) {
        out.error = QStringLiteral("cannot be converted: no room for a temporary copy");
    }
    return out;
}

void Converter::convert(const QString &source, Done done)
{
    // What failed goes to the log too: the client's message box may be gone by the time anyone
    // asks why a deck never opened.
    done = [source, done = std::move(done)](const QString &pdf, const QString &error) {
        if (!error.isEmpty()) {
            qWarning("The file %s %s.", qPrintable(source), qPrintable(error));
        }
        done(pdf, error);
    };
    done = withBoundedCache(m_cacheDir, std::move(done));
    offThread(
        m_pool, this, [source, cacheDir = m_cacheDir] { return prepare(source, cacheDir); },
        [this, done](const Prepared &prepared) {
            if (!prepared.error.isEmpty()) {
                done({}, prepared.error);
            } else if (prepared.alreadyCached) {
                done(prepared.cached, {});
            } else {
                start(prepared, done);
            }
        });
}

void Converter::start(const Prepared &prepared, Done done)
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    const auto work = prepared.work;
    const QString input = prepared.input;
    const QString outDir = prepared.outDir;
    const QString cached = prepared.cached;

    // Each conversion gets its own LibreOffice profile: with a shared one a second converter
    // hands its job to the first and returns at once.
    const QStringList arguments{QStringLiteral("-env:UserInstallation=") +
                                    QUrl::fromLocalFile(work->filePath(QStringLiteral("profile")))
                                        .toString(QUrl::FullyEncoded),
                                QStringLiteral("--headless"),
                                QStringLiteral("--norestore"),
                                QStringLiteral("--convert-to"),
                                QStringLiteral("pdf"),
                                QStringLiteral("--outdir"),
                                outDir,
                                input};
    auto *process = new QProcess(this);
    process->setProgram(soffice);
    process->setArguments(arguments);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    // Its own process group, so that a conversion given up on ends with all its processes
    // (soffice starts soffice.bin, which would otherwise stay behind).
    process->setChildProcessModifier([] { ::setpgid(0, 0); });
    auto *timer = new QTimer(process);
    timer->setSingleShot(true);
    auto finished = std::make_shared<bool>(false);
    const QString cacheDir = m_cacheDir;

    auto finish = [this, process, work, finished, done, cached, cacheDir,
                   outDir](const QString &error) {
        if (*finished) {
            return;
        }
        *finished = true;
        process->disconnect();
        if (process->state() != QProcess::NotRunning) {
            ::kill(-static_cast<pid_t>(process->processId()), SIGKILL);
            process->kill();
            process->waitForFinished(2000);
        }
        process->deleteLater();
        if (!error.isEmpty()) {
            done({}, error);
            return;
        }
        const QString produced = outDir + QStringLiteral("/deck.pdf");
        offThread(
            m_pool, this,
            [produced, cached, cacheDir]() -> QString {
                QString why;
                if (!QFileInfo::exists(produced) || !loadPdf(produced, &why)) {
                    return QStringLiteral("could not be converted by LibreOffice (damaged, "
                                          "protected or not a presentation)");
                }
                QDir().mkpath(cacheDir);
                const QString partial = cached + QStringLiteral(".part");
                QFile::remove(partial);
                if (QFile::copy(produced, partial) && QFile::rename(partial, cached)) {
                    return {};
                }
                QFile::remove(partial);
                if (QFileInfo::exists(cached)) {
                    return {};
                }
                return QStringLiteral("was converted but the result cannot be stored in %1")
                    .arg(cacheDir);
            },
            // The temporary folder goes only once the result is stored.
            [done, cached, work](const QString &storeError) {
                if (storeError.isEmpty()) {
                    done(cached, {});
                } else {
                    done({}, storeError);
                }
            });
    };

    connect(process, &QProcess::finished, this,
            [finish](int, QProcess::ExitStatus) { finish({}); });
    connect(
        process, &QProcess::errorOccurred, this, [finish, process](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart) {
                finish(QStringLiteral("cannot be converted: LibreOffice could not be started (%1)")
                           .arg(process->errorString()));
            }
        });
    connect(timer, &QTimer::timeout, this, [finish, ms = m_timeoutMs] {
        finish(QStringLiteral("could not be converted: LibreOffice did not finish within %1 s")
                   .arg(ms / 1000));
    });
    timer->start(m_timeoutMs);
    process->start();
}

} // namespace pa::host
