// Decks that need LibreOffice: an .odp and a .pptx made here, opened through the real host.

#include "host_test_support.h"

#include "platform/testing/test_main.h"

#include <QDirIterator>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

using namespace pa;
using namespace pa::host;
using namespace pa::host::testing;

namespace {

// A flat OpenDocument presentation: two slides, each one filled with a colour of its own.
const char *const flatDeck = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:presentation="urn:oasis:names:tc:opendocument:xmlns:presentation:1.0"
 office:version="1.2" office:mimetype="application/vnd.oasis.opendocument.presentation">
 <office:automatic-styles>
  <style:page-layout style:name="PM1">
   <style:page-layout-properties fo:margin-top="0cm" fo:margin-bottom="0cm" fo:margin-left="0cm"
    fo:margin-right="0cm" fo:page-width="28cm" fo:page-height="21cm" style:print-orientation="landscape"/>
  </style:page-layout>
  <style:style style:name="red" style:family="graphic">
   <style:graphic-properties draw:fill="solid" draw:fill-color="#d02020" draw:stroke="none"/>
  </style:style>
  <style:style style:name="blue" style:family="graphic">
   <style:graphic-properties draw:fill="solid" draw:fill-color="#2040d0" draw:stroke="none"/>
  </style:style>
 </office:automatic-styles>
 <office:master-styles>
  <style:master-page style:name="Default" style:page-layout-name="PM1"/>
 </office:master-styles>
 <office:body>
  <office:presentation>
   <draw:page draw:name="one" draw:master-page-name="Default">
    <draw:rect draw:style-name="red" svg:x="0cm" svg:y="0cm" svg:width="28cm" svg:height="21cm"/>
   </draw:page>
   <draw:page draw:name="two" draw:master-page-name="Default">
    <draw:rect draw:style-name="blue" svg:x="0cm" svg:y="0cm" svg:width="28cm" svg:height="21cm"/>
   </draw:page>
  </office:presentation>
 </office:body>
</office:document>
)";

// The presentation's own show setting: loop until stopped.
const char *const endlessShow =
    R"(<presentation:settings presentation:endless="true" presentation:pause="PT0S"/>)";

} // namespace

class TestHostConversion : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<HostFixture> m_fx;
    QString m_soffice;

    // Writes the flat deck converted to `format` with LibreOffice, as a user's file would be;
    // with loop set, its show is set to loop until stopped.
    QString makeDeck(const QString &format, bool loop = false)
    {
        const QString name = loop ? QStringLiteral("looping") : QStringLiteral("source");
        const QString flat = m_fx->path(name + QStringLiteral(".fodp"));
        QByteArray text(flatDeck);
        if (loop) {
            text.replace("</office:presentation>",
                         QByteArray(endlessShow) + "\n  </office:presentation>");
        }
        QFile out(flat);
        if (!out.open(QIODevice::WriteOnly) || out.write(text) < 0) {
            return {};
        }
        out.close();
        const QString outDir = m_fx->path(QStringLiteral("made"));
        QProcess soffice;
        soffice.start(
            m_soffice,
            {QStringLiteral("-env:UserInstallation=") +
                 QUrl::fromLocalFile(m_fx->path(QStringLiteral("profile-") + format)).toString(),
             QStringLiteral("--headless"), QStringLiteral("--convert-to"), format,
             QStringLiteral("--outdir"), outDir, flat});
        if (!soffice.waitForFinished(120000)) {
            return {};
        }
        return outDir + QLatin1Char('/') + name + QLatin1Char('.') + format;
    }

    void checkDeck(Application &app, const QString &file)
    {
        auto pres = app.presentations()->open(file.toStdString());
        QCOMPARE(pres->slides()->count(), 2);
        const QString picture = m_fx->path(QStringLiteral("ExportSlide"));
        pres->slides()->item(2)->exportTo(picture.toStdString(), "JPG", 175, 125);
        const QImage image = QImageReader(picture).read();
        QCOMPARE(image.size(), QSize(175, 125));
        QVERIFY2(sameColour(image.pixelColor(87, 62), QColor(0x20, 0x40, 0xd0), 30),
                 qPrintable(image.pixelColor(87, 62).name()));
    }

    int convertedFiles() const
    {
        int n = 0;
        QDirIterator it(m_fx->path(QStringLiteral("cache")), {QStringLiteral("*.pdf")},
                        QDir::Files);
        while (it.hasNext()) {
            it.next();
            ++n;
        }
        return n;
    }

private slots:
    void init()
    {
        m_soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
        if (m_soffice.isEmpty()) {
            QSKIP("LibreOffice (soffice) is not installed");
        }
        m_fx = std::make_unique<HostFixture>();
    }
    void cleanup() { m_fx.reset(); }

    void deckSetToLoopWrapsAtTheEnd()
    {
        struct Case
        {
            QString format;
            bool loop;
        };
        auto app = applicationFactory(m_fx->options)();
        for (const Case &c : {Case{QStringLiteral("pptx"), true}, Case{QStringLiteral("odp"), true},
                              Case{QStringLiteral("pptx"), false}}) {
            const QString file = makeDeck(c.format, c.loop);
            QVERIFY2(QFileInfo::exists(file), qPrintable(file));
            auto pres = app->presentations()->open(file.toStdString());
            pres->slideShowSettings()->run();
            auto view = pres->slideShowWindow()->view();
            view->gotoSlide(2);
            view->next();
            QVERIFY2(view->slide()->slideIndex() == (c.loop ? 1 : 2), qPrintable(file));
        }
    }

    void openDecksThatNeedConversion()
    {
        const QString odp = makeDeck(QStringLiteral("odp"));
        const QString pptx = makeDeck(QStringLiteral("pptx"));
        QVERIFY(QFileInfo::exists(odp));
        QVERIFY(QFileInfo::exists(pptx));
        auto app = applicationFactory(m_fx->options)();
        checkDeck(*app, odp);
        checkDeck(*app, pptx);
        QCOMPARE(convertedFiles(), 2);

        // The same content under another name (and case) is not converted again.
        const QString copy = m_fx->path(QStringLiteral("Copy Of Deck.PPTX"));
        QVERIFY(QFile::copy(pptx, copy));
        checkDeck(*app, copy);
        QCOMPARE(convertedFiles(), 2);

        // A damaged deck is an error naming the file; the host goes on.
        const QString broken = m_fx->path(QStringLiteral("broken.pptx"));
        QFile out(broken);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("PK\x03\x04 this is no presentation at all");
        out.close();
        const auto error = errorOf([&] { app->presentations()->open(broken.toStdString()); });
        QVERIFY(error);
        QVERIFY2(QString::fromStdString(error->description()).contains(broken), error->what());
        QCOMPARE(app->activePresentation()->slides()->count(), 2);
    }
};

CORVANE_TEST_MAIN(TestHostConversion)
#include "tst_host_conversion.moc"
