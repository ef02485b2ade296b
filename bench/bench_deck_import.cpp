// How long a first open of a .pptx takes through the real host: the stepped import (a page per
// build state) against the plain conversion (a page per slide), on a deck of 30 slides with two
// on-click bullets each (60 builds), a fresh host and cache for every open. LibreOffice's own
// conversion, as the plain one runs it, is the reference.
//   bench_deck_import [--slides N] [--runs N] [--host PROGRAM]   (another build of
//   presentation_host)

#include "presentation_automation/host/tests/host_test_support.h"
#include "presentation_automation/host/tests/stepped_deck.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;

namespace {

double median(std::vector<double> v)
{
    if (v.empty()) {
        return 0;
    }
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void print(const char *what, const std::vector<double> &ms, double reference = 0)
{
    std::printf("%-52s median %8.0f ms   min %8.0f ms   (n=%zu)", what, median(ms),
                ms.empty() ? 0.0 : *std::min_element(ms.begin(), ms.end()), ms.size());
    if (reference > 0) {
        std::printf("   = %.2f x plain", median(ms) / reference);
    }
    std::printf("\n");
}

// One open of deck by a fresh host started as program with extra arguments; -1 when it failed.
double timeOpen(const QString &program, const QStringList &extra, const QString &deck, int *slides)
{
    HostFixture fx;
    fx.options.hostProgram = program;
    fx.options.hostArguments << extra;
    fx.options.openTimeoutMs = 600000;
    try {
        auto app = applicationFactory(fx.options)();
        QElapsedTimer t;
        t.start();
        auto pres = app->presentations()->open(deck.toStdString());
        const double ms = static_cast<double>(t.nsecsElapsed()) / 1e6;
        *slides = pres->slides()->count();
        return ms;
    } catch (const AutomationError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        return -1;
    }
}

double timeLibreOffice(const QString &soffice, const QString &deck, const QString &dir)
{
    QTemporaryDir out(dir + QStringLiteral("/lo-XXXXXX"));
    QProcess p;
    QElapsedTimer t;
    t.start();
    p.start(soffice, {QStringLiteral("-env:UserInstallation=") +
                          QUrl::fromLocalFile(out.filePath(QStringLiteral("profile"))).toString(),
                      QStringLiteral("--headless"), QStringLiteral("--norestore"),
                      QStringLiteral("--convert-to"), QStringLiteral("pdf"),
                      QStringLiteral("--outdir"), out.path(), deck});
    if (!p.waitForFinished(600000)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

int argument(const QStringList &args, const QString &name, int fallback)
{
    const qsizetype at = args.indexOf(name);
    return at > 0 && at + 1 < args.size() ? args.at(at + 1).toInt() : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int slideCount = std::max(1, argument(args, QStringLiteral("--slides"), 30));
    const int runs = std::max(1, argument(args, QStringLiteral("--runs"), 3));
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) {
        std::fprintf(stderr, "LibreOffice (soffice) is not installed\n");
        return 1;
    }
    const QString ours =
        QCoreApplication::applicationDirPath() + QStringLiteral("/presentation_host");
    const qsizetype hostAt = args.indexOf(QStringLiteral("--host"));
    const QString other = hostAt > 0 && hostAt + 1 < args.size() ? args.at(hostAt + 1) : QString();

    QTemporaryDir dir;
    std::printf("Making a .pptx of %d slides with %d on-click builds...\n", slideCount,
                2 * slideCount);
    const QString deck = saveDeckAs(soffice, flatDeckText(largeSteppedSlides(slideCount)),
                                    dir.path(), QStringLiteral("large"), QStringLiteral("pptx"));
    if (deck.isEmpty()) {
        std::fprintf(stderr, "LibreOffice did not make the deck\n");
        return 1;
    }

    std::vector<double> office, plain, stepped, older;
    int plainSlides = 0, steppedSlides = 0, olderSlides = 0;
    // Interleaved, so a machine that gets busier part way through weighs on each alike.
    for (int i = 0; i < runs; ++i) {
        office.push_back(timeLibreOffice(soffice, deck, dir.path()));
        plain.push_back(
            timeOpen(ours, {QStringLiteral("--import-script"), QString()}, deck, &plainSlides));
        stepped.push_back(timeOpen(ours, {}, deck, &steppedSlides));
        if (!other.isEmpty()) {
            older.push_back(timeOpen(other, {}, deck, &olderSlides));
        }
    }
    std::printf(
        "\nFirst open of a %d-slide .pptx with %d builds (fresh host and cache each time)\n",
        slideCount, 2 * slideCount);
    print("LibreOffice --convert-to pdf alone", office);
    print("host, plain conversion (--import-script \"\")", plain);
    print("host, stepped import", stepped, median(plain));
    if (!other.isEmpty()) {
        print(qPrintable(QStringLiteral("host %1").arg(other)), older, median(plain));
    }
    std::printf("Slides.Count: plain %d, stepped %d%s\n", plainSlides, steppedSlides,
                other.isEmpty() ? "" : qPrintable(QStringLiteral(", other %1").arg(olderSlides)));
    return 0;
}
