#pragma once

// What the host benchmark's parts share: figures and their printing, and what the host's
// status listing says about its shows.

#include "presentation_automation/host/client/client.h"

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <vector>

namespace bench {

using pa::host::ClientOptions;

struct Figures
{
    std::vector<double> ms;
    void add(double v) { ms.push_back(v); }
    double percentile(double p) const
    {
        if (ms.empty()) {
            return 0;
        }
        std::vector<double> s = ms;
        std::sort(s.begin(), s.end());
        const size_t i = std::min(s.size() - 1,
                                  static_cast<size_t>(p * static_cast<double>(s.size() - 1) + 0.5));
        return s[i];
    }
    double median() const { return percentile(0.5); }
    double p95() const { return percentile(0.95); }
};

double elapsedMs(const QElapsedTimer &t);
void print(const char *what, const Figures &f, double reference = 0);
// Presentation id -> slide drawn on screen, from the host's status listing.
std::map<int, int> slidesOnScreen(const ClientOptions &options);
bool waitDrawn(const ClientOptions &options, int pres, int slide, int timeoutMs = 60000);
// Until the shows are drawn on these slides, with the event loop running (the controller
// notices a lost host there). Milliseconds, or -1 when not within timeoutMs.
double untilDrawn(const ClientOptions &options, const std::map<int, int> &slides, int timeoutMs);
// A file of size bytes that starts as a PDF and holds nothing after: the PDF library reads
// all of it before giving up. Sparse, so it costs no disk.
bool makeHollowFile(const QString &path, qint64 size, const QByteArray &head);
qint64 peakMemoryKiB(qint64 pid);
// Ends the host cleanly (it forgets its presentations), so the next start is a fresh one.
void endHost(const ClientOptions &options);
// pdftoppm rendering one page to a raw picture of exactly width x height.
Figures pdftoppm(const QString &pdftoppm, const QString &deck, int page, int width, int height,
                 int runs, const QString &outDir);

// Show id -> (slide, page on screen, last transition's status), from the listing.
struct Listed
{
    int slide = 0;
    int page = 0;
    int frames = 0;
    int late = 0;
    double longestGap = 0;
    double period = 0;
};
std::map<int, Listed> listed(const ClientOptions &options);
bool waitPage(const ClientOptions &options, int pres, int page);

// The parts, each in its own file.
// --builds: a slide step and a build step held ahead, and transitions on three shows.
int runBuilds(const QStringList &args, const ClientOptions &base, QTemporaryDir &dir);
// --effects: builds with effects on three shows: pacing, press to first frame, memory.
int runEffects(const QStringList &args, const ClientOptions &base, QTemporaryDir &dir);
// --photos: three decks of photographs on a virtual display, timed until the pixels show.
void measurePhotoDecks(const ClientOptions &options, const QString &dir, bool quick,
                       const QString &cacheMib);
// --robustness: a long journal put back, and a program flooding the host.
void printRobustness(const ClientOptions &options, const QString &dir);

} // namespace bench
