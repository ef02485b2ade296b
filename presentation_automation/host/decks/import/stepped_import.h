#pragma once

// The stepped import of a .ppt/.pptx/.pps/.ppsx/.odp deck: a script installed with the host
// drives a private LibreOffice over UNO and writes a PDF of the deck's build states with
// "<pdf>.steps.json" beside it. Here: finding the script and its Python, and one run of it.

#include <QObject>
#include <QString>

#include <functional>

namespace pa::host {

struct ImportOutcome
{
    enum class Result
    {
        Imported,
        // Nothing to do with this deck: no script, no Python, or no UNO bridge for it.
        Unavailable,
        // LibreOffice could not import this deck; it would fail again.
        DeckRefused,
        // Timed out or crashed: may work another time.
        Failed,
    };
    Result result = Result::Failed;
    QString why; // completes "the stepped import ..."
};

class SteppedImport
{
public:
    // Part of the key of every deck it converted.
    static QString version();
    // Beside the host program in a build, else where the package puts it; empty when neither.
    static QString defaultScript();
    // The Python that has LibreOffice's UNO bridge: the system's, else the first on PATH.
    static QString python();

    // Imports input into outputPdf (and its description beside it) within timeoutMs, with a
    // LibreOffice of its own whose profile goes under workDir. done runs later, once.
    static void run(const QString &script, const QString &input, const QString &outputPdf,
                    const QString &workDir, int timeoutMs, QObject *parent,
                    std::function<void(const ImportOutcome &)> done);
};

} // namespace pa::host
