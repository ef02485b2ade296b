#include "presentation_automation/host/decks/import/stepped_import.h"

#include "presentation_automation/host/decks/import/import_limit.h"
#include "presentation_automation/host/decks/office_process.h"

#include <QAtomicInteger>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <memory>

namespace pa::host {

namespace {

// The script's own exit codes.
constexpr int exitNoUno = 3;
constexpr int exitDeckRefused = 4;

const QString scriptName = QStringLiteral("stepped_import.py");

} // namespace

QString SteppedImport::version()
{
    return QStringLiteral(STEPPED_IMPORT_VERSION);
}

QString SteppedImport::defaultScript()
{
    const QDir here(QCoreApplication::applicationDirPath());
    for (const QString &candidate :
         {here.filePath(scriptName),
          here.filePath(QStringLiteral(CORVANE_DATA_FROM_LIBEXEC "/") + scriptName)}) {
        if (QFileInfo(candidate).isFile()) {
            return QDir::cleanPath(candidate);
        }
    }
    return {};
}

QString SteppedImport::python()
{
    // Debian's python3-uno belongs to the system's Python, which a user's own Python earlier
    // on PATH does not see.
    const QString system = QStringLiteral("/usr/bin/python3");
    if (QFileInfo(system).isExecutable()) {
        return system;
    }
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

void SteppedImport::run(const QString &script, const QString &input, const QString &outputPdf,
                        const QString &workDir, int timeoutMs, QObject *parent,
                        std::function<void(const ImportOutcome &)> done)
{
    const auto unavailable = [&done](const QString &why) {
        done(ImportOutcome{ImportOutcome::Result::Unavailable, why});
    };
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    const QString interpreter = python();
    if (script.isEmpty() || !QFileInfo(script).isFile()) {
        unavailable(QStringLiteral("is not installed (%1 is missing)").arg(scriptName));
        return;
    }
    if (interpreter.isEmpty()) {
        unavailable(QStringLiteral("needs Python 3, which is not installed"));
        return;
    }
    if (soffice.isEmpty()) {
        unavailable(QStringLiteral("needs LibreOffice (soffice), which is not installed"));
        return;
    }
    // A pipe of its own: LibreOffice would otherwise hand the work to another one already
    // listening on the same name.
    static QAtomicInteger<quint32> runs;
    const QString pipe = QStringLiteral("presentation-host-import-%1-%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(runs.fetchAndAddRelaxed(1));
    const QStringList arguments{script,
                                QStringLiteral("--soffice"),
                                soffice,
                                QStringLiteral("--profile"),
                                QDir(workDir).filePath(QStringLiteral("import-profile")),
                                QStringLiteral("--pipe"),
                                pipe,
                                input,
                                outputPdf};
    // Each slide the script reports done moves the limit on (see ImportLimit).
    auto limit = std::make_shared<ImportLimit>(timeoutMs);
    const auto watch = [limit](const QByteArray &line, qint64 elapsedMs) -> std::optional<qint64> {
        if (const auto progress = parseImportProgress(line)) {
            return limit->report(*progress, elapsedMs);
        }
        return std::nullopt;
    };
    OfficeProcess::run(
        interpreter, arguments, timeoutMs, parent,
        [done, limit](const OfficeOutcome &outcome) {
            using R = OfficeOutcome::Result;
            ImportOutcome out;
            if (outcome.succeeded()) {
                out.result = ImportOutcome::Result::Imported;
            } else if (outcome.result == R::FailedToStart) {
                out = {ImportOutcome::Result::Unavailable,
                       QStringLiteral("could not start Python (%1)").arg(outcome.lastLine)};
            } else if (outcome.result == R::Finished && outcome.exitCode == exitNoUno) {
                out = {ImportOutcome::Result::Unavailable,
                       QStringLiteral("needs python3-uno, which is not installed")};
            } else if (outcome.result == R::Finished && outcome.exitCode == exitDeckRefused) {
                out = {ImportOutcome::Result::DeckRefused,
                       QStringLiteral("failed: %1").arg(outcome.lastLine)};
            } else if (outcome.result == R::TimedOut) {
                const auto &last = limit->last();
                out = {ImportOutcome::Result::Failed,
                       !last ? outcome.lastLine
                       : last->done < last->total
                           ? QStringLiteral("stopped making progress: %1 of %2 slides done in "
                                            "%3 s")
                                 .arg(last->done)
                                 .arg(last->total)
                                 .arg(outcome.elapsedMs / 1000)
                           : QStringLiteral("did not finish writing the PDF of its %1 slides "
                                            "within %2 s")
                                 .arg(last->total)
                                 .arg(outcome.elapsedMs / 1000)};
            } else {
                out = {ImportOutcome::Result::Failed,
                       QStringLiteral("ended unexpectedly (%1)")
                           .arg(outcome.lastLine.isEmpty()
                                    ? QStringLiteral("exit %1").arg(outcome.exitCode)
                                    : outcome.lastLine)};
            }
            done(out);
        },
        watch);
}

} // namespace pa::host
