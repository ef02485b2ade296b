// The check against the real host and real PDF decks: slide counts, a deck that cannot be
// opened, and a storyboard whose every picture is the slide its row names.

#include "show_check/check.h"

#include "platform/testing/test_main.h"
#include "presentation_automation/host/tests/deck_maker.h"
#include "presentation_automation/host/tests/host_test_support.h"
#include "presentation_automation/host/tests/stepped_deck.h"

#include <poppler-qt6.h>

#include <QBuffer>
#include <QImageReader>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QXmlStreamReader>

#include <algorithm>

using namespace showcheck;
using pa::host::testing::HostFixture;
using pa::host::testing::makeDeck;

namespace {

const QSize thumbnail(240, 180); // the decks are 4:3, the check's default shape

struct Picture
{
    int screen = 0;
    QImage image;
};

// The rows of the storyboard page, each with its pictures; fails the test when the page is
// not well-formed.
std::vector<std::vector<Picture>> storyboardRows(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    std::vector<std::vector<Picture>> rows;
    int screen = 0;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        const auto attributes = xml.attributes();
        if (xml.name() == QLatin1String("tr") &&
            attributes.value("class") == QLatin1String("row")) {
            rows.emplace_back();
        } else if (xml.name() == QLatin1String("td") && attributes.hasAttribute("data-screen")) {
            screen = attributes.value("data-screen").toInt();
        } else if (xml.name() == QLatin1String("img") && !rows.empty()) {
            const QString src = attributes.value("src").toString();
            const QString prefix = QStringLiteral("data:image/jpeg;base64,");
            Picture picture;
            picture.screen = screen;
            if (src.startsWith(prefix)) {
                picture.image =
                    QImage::fromData(QByteArray::fromBase64(src.mid(prefix.size()).toLatin1()));
            }
            rows.back().push_back(picture);
        }
    }
    if (xml.hasError()) {
        qWarning() << "storyboard does not parse:" << xml.errorString() << xml.lineNumber();
        return {};
    }
    return rows;
}

// Mean difference per channel, 0..255.
double difference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    if (x.size() != y.size()) {
        return 255;
    }
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        const auto *p = reinterpret_cast<const QRgb *>(x.constScanLine(row));
        const auto *q = reinterpret_cast<const QRgb *>(y.constScanLine(row));
        for (int col = 0; col < x.width(); ++col) {
            sum += std::abs(qRed(p[col]) - qRed(q[col])) +
                   std::abs(qGreen(p[col]) - qGreen(q[col])) +
                   std::abs(qBlue(p[col]) - qBlue(q[col]));
        }
    }
    return sum / (3.0 * x.width() * x.height());
}

// Every page of a deck drawn here with Poppler, at the storyboard's picture size.
std::vector<QImage> renderDeck(const QString &path)
{
    std::vector<QImage> pages;
    const std::unique_ptr<Poppler::Document> doc = Poppler::Document::load(path);
    if (!doc) {
        return pages;
    }
    doc->setRenderBackend(Poppler::Document::SplashBackend);
    doc->setRenderHint(Poppler::Document::Antialiasing);
    doc->setRenderHint(Poppler::Document::TextAntialiasing);
    for (int i = 0; i < doc->numPages(); ++i) {
        const std::unique_ptr<Poppler::Page> page = doc->page(i);
        const QImage big = page->renderToImage(96, 96);
        pages.push_back(big.scaled(thumbnail, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    }
    return pages;
}

} // namespace

class TestCheckEndToEnd : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_host;
    std::array<QString, 3> m_decks;

    int run(const Options &options, QJsonObject &json)
    {
        CheckEnvironment environment;
        environment.createApplication = pa::host::applicationFactory(m_host->options);
        QString outText;
        QString errText;
        QTextStream out(&outText);
        QTextStream err(&errText);
        const int status = runCheck(options, environment, out, err);
        json = QJsonDocument::fromJson(outText.toUtf8()).object();
        return status;
    }

    QString writeScript(const QString &text)
    {
        const QString path = m_host->path(QStringLiteral("show.txt"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(text.toLatin1());
        }
        return path;
    }

private slots:
    void init()
    {
        m_host = std::make_unique<HostFixture>();
        for (int s = 0; s < 3; ++s) {
            m_decks[static_cast<size_t>(s)] =
                m_host->path(QStringLiteral("Screen %1.pdf").arg(s + 1));
            QVERIFY(makeDeck(m_decks[static_cast<size_t>(s)], 6, s));
        }
    }

    void cleanup() { m_host.reset(); }

    // A .pptx with builds: the check says each slide's builds and what its show does not
    // play (the host's log says it too), and the storyboard says how many builds lead to a
    // picture.
    void aDeckWithBuildsSaysThemAndWhatIsNotPlayed()
    {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty() ||
            QProcess::execute(QStringLiteral("/usr/bin/python3"),
                              {QStringLiteral("-c"), QStringLiteral("import uno")}) != 0) {
            QSKIP("LibreOffice with python3-uno is not installed");
        }
        using namespace pa::host::testing;
        m_decks[0] = saveDeckAs(soffice, flatDeckText(steppedSlides()), m_host->path({}),
                                QStringLiteral("stepped"), QStringLiteral("pptx"));
        QVERIFY(!m_decks[0].isEmpty());
        Options options;
        options.script = writeScript("0,1,1,1\r\n1,2,1,1\r\n");
        options.decks = m_decks;
        options.haveDecks = true;
        options.storyboard = m_host->path(QStringLiteral("storyboard.html"));
        options.json = true;
        QJsonObject json;
        QCOMPARE(run(options, json), int(exitClean));

        const QJsonArray decks = json.value("decks").toArray();
        const QJsonObject stepped = decks[0].toObject();
        const QJsonArray notPlayed = stepped.value("notPlayed").toArray();
        QVERIFY2(notPlayed.size() == 1, qPrintable(m_host->log()));
        QVERIFY2(notPlayed[0].toString().startsWith(QLatin1String("slide 3: 1 effect(s)")),
                 qPrintable(notPlayed[0].toString()));
        QVERIFY2(m_host->log().contains(QStringLiteral("is shown without this: slide 3: 1 effect")),
                 qPrintable(m_host->log()));
        // A PDF has nothing to build and plays everything it has.
        QCOMPARE(decks[1].toObject().value("builds").toArray(), QJsonArray({0, 0, 0, 0, 0, 0}));
        QCOMPARE(decks[1].toObject().value("notPlayed").toArray(), QJsonArray());

        // Until the host counts slides rather than pages, a count past the slides leaves the
        // builds unknown.
        if (stepped.value("slides").toInt() == 5) {
            QCOMPARE(stepped.value("builds").toArray(), QJsonArray({4, 1, 0, 0, 1}));
            QFile page(options.storyboard);
            QVERIFY(page.open(QIODevice::ReadOnly));
            const QString html = QString::fromUtf8(page.readAll());
            QVERIFY2(html.contains(QRegularExpression(
                         QStringLiteral("data-screen=\"1\" data-slide=\"2\">.*?"
                                        "data-builds=\"1\">fully built after 1 build<"))),
                     qPrintable(html.left(2000)));
        } else {
            QVERIFY(!stepped.contains(QLatin1String("builds")));
        }
    }

    // A deck the host shows without its builds is a problem of its screen: the script's
    // presses were counted for builds that will not come.
    void aDeckShownWithoutItsBuildsIsAProblem()
    {
        const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (soffice.isEmpty()) {
            QSKIP("LibreOffice is not installed");
        }
        using namespace pa::host::testing;
        m_decks[1] = saveDeckAs(soffice, flatDeckText(steppedSlides()), m_host->path({}),
                                QStringLiteral("stepped"), QStringLiteral("pptx"));
        QVERIFY(!m_decks[1].isEmpty());
        // An import that cannot reach LibreOffice's UNO, as without python3-uno.
        const QString import = m_host->path(QStringLiteral("no_uno.py"));
        QFile script(import);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("import sys\nsys.exit(3)\n");
        script.close();
        m_host->options.hostArguments << QStringLiteral("--import-script") << import;
        Options options;
        options.script = writeScript("0,1,1,1\r\n1,1,2,1\r\n");
        options.decks = m_decks;
        options.haveDecks = true;
        options.json = true;
        QJsonObject json;
        QCOMPARE(run(options, json), int(exitProblems));
        const QJsonArray findings = json.value("findings").toArray();
        QVERIFY2(findings.size() == 1, QJsonDocument(findings).toJson().constData());
        const QJsonObject finding = findings[0].toObject();
        QCOMPARE(finding.value("kind").toString(), QStringLiteral("deckWithoutBuilds"));
        QCOMPARE(finding.value("screen").toInt(), 2);
        const QJsonObject deck = json.value("decks").toArray()[1].toObject();
        QVERIFY2(deck.value("withoutBuilds")
                     .toString()
                     .startsWith(QLatin1String("shown without its builds, one page per slide: "
                                               "the stepped import needs python3-uno")),
                 qPrintable(deck.value("withoutBuilds").toString()));
        QCOMPARE(deck.value("notPlayed").toArray(), QJsonArray());
    }

    void theStoryboardShowsTheSlideEachRowNames()
    {
        Options options;
        options.script = writeScript("0,1,1,1\r\n10,2,3,4\r\n1,3,3,4\r\n7,3,5,1\r\n2,3,7,1\r\n");
        options.decks = m_decks;
        options.haveDecks = true;
        options.storyboard = m_host->path(QStringLiteral("storyboard.html"));
        options.json = true;
        QJsonObject json;
        QCOMPARE(run(options, json), int(exitProblems));

        // Slide 7 of the 6-slide deck of Screen 2 is the one finding.
        const QJsonArray findings = json.value("findings").toArray();
        QCOMPARE(findings.size(), 1);
        QCOMPARE(findings[0].toObject().value("line").toInt(), 5);
        QCOMPARE(findings[0].toObject().value("screen").toInt(), 2);
        QCOMPARE(findings[0].toObject().value("kind").toString(), QStringLiteral("slide-range"));
        for (const QJsonValue &deck : json.value("decks").toArray()) {
            QCOMPARE(deck.toObject().value("slides").toInt(), 6);
        }

        const auto rows = storyboardRows(options.storyboard);
        QCOMPARE(rows.size(), size_t(5));
        // What each screen shows after each line; on the last line Screen 2 stays on 5.
        const std::array<std::array<int, 3>, 5> expected{
            {{1, 1, 1}, {2, 3, 4}, {3, 3, 4}, {3, 5, 1}, {3, 5, 1}}};
        std::array<std::vector<QImage>, 3> pages;
        for (size_t s = 0; s < 3; ++s) {
            pages[s] = renderDeck(m_decks[s]);
            QCOMPARE(pages[s].size(), size_t(6));
        }
        for (size_t r = 0; r < rows.size(); ++r) {
            QCOMPARE(rows[r].size(), size_t(3));
            std::array<bool, 3> seen{};
            for (const Picture &picture : rows[r]) {
                QVERIFY(picture.screen >= 1 && picture.screen <= 3);
                const auto s = static_cast<size_t>(picture.screen - 1);
                seen[s] = true;
                QCOMPARE(picture.image.size(), thumbnail);
                const int want = expected[r][s];
                // The page this picture is closest to must be the one the row names.
                std::vector<double> distance;
                for (const QImage &page : pages[s]) {
                    distance.push_back(difference(picture.image, page));
                }
                const int best = static_cast<int>(
                    std::min_element(distance.begin(), distance.end()) - distance.begin() + 1);
                QVERIFY2(best == want,
                         qPrintable(QStringLiteral("row %1 Screen %2: slide %3, not %4")
                                        .arg(r + 1)
                                        .arg(s + 1)
                                        .arg(best)
                                        .arg(want)));
                const double d = distance[static_cast<size_t>(want - 1)];
                QVERIFY2(d < 16, qPrintable(QString::number(d)));
            }
            QCOMPARE(seen, (std::array<bool, 3>{true, true, true}));
        }
    }

    void aDeckThatCannotBeOpenedIsReportedWithTheApplicationsMessage()
    {
        Options options;
        options.script = writeScript("0,1,1,1\r\n1,2,1,1\r\n");
        options.decks = m_decks;
        options.decks[1] = m_host->path(QStringLiteral("missing.pdf"));
        options.haveDecks = true;
        options.json = true;
        QJsonObject json;
        QCOMPARE(run(options, json), int(exitUnreadable));
        const QJsonArray decks = json.value("decks").toArray();
        QCOMPARE(decks.size(), 3);
        QCOMPARE(decks[0].toObject().value("slides").toInt(), 6);
        QVERIFY(decks[1].toObject().value("error").toString().contains("was not found"));
        QCOMPARE(decks[2].toObject().value("slides").toInt(), 6);
        QVERIFY(json.value("findings").toArray().isEmpty());
    }
};

CORVANE_TEST_MAIN(TestCheckEndToEnd)
#include "tst_check_end_to_end.moc"
