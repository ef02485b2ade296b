// The converted-deck folder under its size bound.

#include "presentation_automation/host/decks/converted_cache.h"

#include "platform/testing/test_main.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>

using namespace pa::host;

namespace {

// Decks of kib KiB each, the first the least recently used.
void writeDecks(const QTemporaryDir &dir, const QStringList &names, int kib)
{
    const QDateTime start = QDateTime::currentDateTime().addSecs(-3600);
    for (int i = 0; i < names.size(); ++i) {
        QFile file(dir.filePath(names[i] + QStringLiteral(".pdf")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray(kib * 1024, 'x')) == kib * 1024);
        QVERIFY(file.setFileTime(start.addSecs(i * 60), QFileDevice::FileModificationTime));
    }
}

QStringList left(const QTemporaryDir &dir)
{
    QStringList names =
        QDir(dir.path()).entryList({QStringLiteral("*.pdf")}, QDir::Files, QDir::Name);
    for (QString &name : names) {
        name.chop(4);
    }
    return names;
}

} // namespace

class TestConvertedCache : public QObject
{
    Q_OBJECT

private slots:
    void leastRecentlyUsedGoFirst_data()
    {
        QTest::addColumn<int>("limitKib");
        QTest::addColumn<QString>("used");
        QTest::addColumn<QStringList>("keep");
        QTest::addColumn<QStringList>("expected");
        const QStringList all{"a", "b", "c", "d", "e"};
        QTest::newRow("under the bound") << 600 << "e" << QStringList{} << all;
        QTest::newRow("exactly the bound") << 500 << "e" << QStringList{} << all;
        QTest::newRow("oldest out")
            << 400 << "e" << QStringList{} << QStringList{"b", "c", "d", "e"};
        QTest::newRow("a use makes the oldest the newest")
            << 300 << "a" << QStringList{} << QStringList{"a", "d", "e"};
        QTest::newRow("open decks stay")
            << 200 << "e" << QStringList{"a", "b"} << QStringList{"a", "b", "e"};
        QTest::newRow("the used deck stays even alone over the bound")
            << 50 << "c" << QStringList{} << QStringList{"c"};
    }

    void leastRecentlyUsedGoFirst()
    {
        QFETCH(int, limitKib);
        QFETCH(QString, used);
        QFETCH(QStringList, keep);
        QFETCH(QStringList, expected);
        QTemporaryDir dir;
        writeDecks(dir, {"a", "b", "c", "d", "e"}, 100);
        QFile other(dir.filePath(QStringLiteral("x.pdf.part")));
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.close();
        QSet<QString> kept;
        for (const QString &name : keep) {
            kept.insert(dir.filePath(name + QStringLiteral(".pdf")));
        }
        trimConvertedCache(dir.path(), dir.filePath(used + QStringLiteral(".pdf")),
                           qint64(limitKib) * 1024, kept);
        QCOMPARE(left(dir), expected);
        QVERIFY(other.exists()); // a partial copy is not a deck
    }

    // A deck's media count with it and go with it.
    void mediaCountAndGoWithTheirDeck()
    {
        QTemporaryDir dir;
        writeDecks(dir, {"a", "b", "c"}, 100);
        const QString media = dir.filePath(QStringLiteral("b.pdf.media"));
        QVERIFY(QDir().mkpath(media));
        QFile clip(media + QStringLiteral("/media1.mp4"));
        QVERIFY(clip.open(QIODevice::WriteOnly));
        QVERIFY(clip.write(QByteArray(250 * 1024, 'v')) == 250 * 1024);
        clip.close();
        // 300 KiB of PDFs are under the bound; with b's clip they are not, and b is older than c.
        trimConvertedCache(dir.path(), dir.filePath(QStringLiteral("a.pdf")), 400 * 1024, {});
        QCOMPARE(left(dir), (QStringList{"a", "c"}));
        QVERIFY(!QFileInfo::exists(media));
    }

    // The media written out of a PDF opened where it lies have no deck beside them: they
    // count, and go as the least recently used, unless they are in use. A converted deck's
    // media, stored before its PDF, are not taken for them.
    void mediaWithoutTheirDeckCountAndGo_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("inUse");
        QTest::addColumn<QStringList>("expected");
        QTest::addColumn<bool>("mediaStay");
        const QString key = QStringLiteral("0123456789abcdef0123456789abcdef.pdf.media");
        QTest::newRow("oldest: they go first")
            << key << false << QStringList{"a", "b", "c"} << false;
        QTest::newRow("in use: the oldest deck goes instead")
            << key << true << QStringList{"b", "c"} << true;
        QTest::newRow("a deck's media before its PDF")
            << QStringLiteral("d-pptx-steps5.pdf.media") << false << QStringList{"a", "b", "c"}
            << true;
    }

    void mediaWithoutTheirDeckCountAndGo()
    {
        QFETCH(QString, folder);
        QFETCH(bool, inUse);
        QFETCH(QStringList, expected);
        QFETCH(bool, mediaStay);
        QTemporaryDir dir;
        writeDecks(dir, {"a", "b", "c"}, 100);
        const QString media = dir.filePath(folder);
        QVERIFY(QDir().mkpath(media));
        QFile clip(media + QStringLiteral("/embedded1-clip.mp4"));
        QVERIFY(clip.open(QIODevice::WriteOnly));
        QVERIFY(clip.write(QByteArray(150 * 1024, 'v')) == 150 * 1024);
        clip.close();
        const timespec dayAgo{QDateTime::currentSecsSinceEpoch() - 86400, 0};
        const timespec times[2] = {dayAgo, dayAgo};
        QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(media).constData(), times, 0), 0);
        const QSet<QString> keep =
            inUse ? QSet<QString>{QFileInfo(media).absoluteFilePath()} : QSet<QString>{};
        trimConvertedCache(dir.path(), dir.filePath(QStringLiteral("c.pdf")), 350 * 1024, keep);
        QCOMPARE(left(dir), expected);
        QCOMPARE(QFileInfo::exists(media), mediaStay);
    }

    void boundFromTheEnvironment_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("unset") << QByteArray() << defaultConvertedCacheBytes;
        QTest::newRow("MiB") << QByteArray("64") << qint64(64) * 1024 * 1024;
        QTest::newRow("zero") << QByteArray("0") << defaultConvertedCacheBytes;
        QTest::newRow("not a number") << QByteArray("lots") << defaultConvertedCacheBytes;
    }

    void boundFromTheEnvironment()
    {
        QFETCH(QByteArray, value);
        QFETCH(qint64, bytes);
        if (value.isNull()) {
            qunsetenv("PRESENTATION_HOST_CONVERTED_MIB");
        } else {
            qputenv("PRESENTATION_HOST_CONVERTED_MIB", value);
        }
        QCOMPARE(convertedCacheLimit(), bytes);
        qunsetenv("PRESENTATION_HOST_CONVERTED_MIB");
    }
};

CORVANE_TEST_MAIN(TestConvertedCache)
#include "tst_converted_cache.moc"
