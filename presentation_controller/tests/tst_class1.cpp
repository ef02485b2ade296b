#include "presentation_controller/Class1.h"

#include "platform/testing/test_main.h"
#include "presentation_automation/automation_error.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Options
{
    bool noBlankLines = false;
    bool countOnlyNonBlank = false;
    bool stripLeading = false;
    bool stripTrailing = false;
    bool stripNulls = false;
    bool onlyPrintable = false;
    std::int16_t fixedWidth = 0;
    std::int32_t bufferSize = 4096;
};

void configure(Class1 &reader, const QString &fileName, const Options &options)
{
    reader.setFileName(fileName);
    reader.setNoBlankLines(options.noBlankLines);
    reader.setCountOnlyNonBlankLines(options.countOnlyNonBlank);
    reader.setStripLeadingSpaces(options.stripLeading);
    reader.setStripTrailingSpaces(options.stripTrailing);
    reader.setStripNulls(options.stripNulls);
    reader.setOnlyAlphaNumericCharacters(options.onlyPrintable);
    reader.setFixedWidthLineLength(options.fixedWidth);
    reader.setBufferSize(options.bufferSize);
}

// Every Text delivered up to and including the call that sets EndOfFile.
QStringList readAll(Class1 &reader, int limit = 100000)
{
    QStringList lines;
    do {
        reader.csGetALine();
        lines << reader.Text();
    } while (!reader.EndOfFile() && lines.size() < limit);
    return lines;
}

} // namespace

class TestClass1 : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    int m_fileCount = 0;

    QString writeFile(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QStringLiteral("f%1.txt").arg(++m_fileCount));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
            qFatal("cannot write test file");
        }
        return path;
    }

    QStringList read(const QByteArray &content, const Options &options = {})
    {
        Class1 reader;
        configure(reader, writeFile(content), options);
        if (reader.cfOpenFile() != 0) {
            return {QStringLiteral("<open failed>")};
        }
        return readAll(reader);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("delimiter");
        // The last entry is the empty Text of the call that reaches the end.
        QTest::newRow("CR LF") << QByteArray("ab\r\ncd\r\n") << QStringList{"ab", "cd", ""}
                               << "\r\n";
        QTest::newRow("LF alone") << QByteArray("ab\ncd\nef") << QStringList{"ab", "cd", "ef", ""}
                                  << "\n";
        QTest::newRow("CR alone") << QByteArray("ab\rcd\r") << QStringList{"ab", "cd", ""} << "\r";
        QTest::newRow("earliest wins: LF before a later CR LF")
            << QByteArray("ab\ncd\r\nef") << QStringList{"ab", "cd\r", "ef", ""} << "\n";
        QTest::newRow("CR LF beats CR at the same place")
            << QByteArray("ab\r\ncd\rx\r\n") << QStringList{"ab", "cd\rx", ""} << "\r\n";
        QTest::newRow("form feed ends a line and belongs to neither")
            << QByteArray("ab\fcd\r\nef") << QStringList{"ab", "cd", "ef", ""} << "\r\n";
        QTest::newRow("form feed only")
            << QByteArray("ab\fcd") << QStringList{"ab", "cd", ""} << "";
        QTest::newRow("no line end: the whole buffer is one line")
            << QByteArray("abc def") << QStringList{"abc def", ""} << "";
        // A line end only at the very last character is not taken as the delimiter, yet it
        // is no part of the line.
        QTest::newRow("only line end is the last character")
            << QByteArray("769,0,768\n") << QStringList{"769,0,768", ""} << "";
        QTest::newRow("empty file") << QByteArray() << QStringList{""} << "";
    }

    void lineEnds()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, lines);
        QFETCH(QString, delimiter);
        Class1 reader;
        configure(reader, writeFile(content), {});
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        QCOMPARE(readAll(reader), lines);
        QCOMPARE(reader.LineDelimiter(), delimiter);
    }

    void givenDelimiterIsUsed()
    {
        Class1 reader;
        configure(reader, writeFile("a;b\r\nc;d"), {});
        reader.setLineDelimiter(QStringLiteral(";"));
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        QCOMPARE(readAll(reader), (QStringList{"a", "b\r\nc", "d", ""}));
        QCOMPARE(reader.LineDelimiter(), QStringLiteral(";"));
    }

    void endOfFileAndLookAhead()
    {
        Class1 reader;
        configure(reader, writeFile("769,0,768\r\n"),
                  {.noBlankLines = true, .stripNulls = true, .onlyPrintable = true});
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        reader.csGetALine();
        QCOMPARE(reader.Text(), QStringLiteral("769,0,768"));
        QVERIFY(!reader.EndOfFile());
        QCOMPARE(reader.NextLine(), QString());
        reader.csGetALine();
        QCOMPARE(reader.Text(), QString());
        QCOMPARE(reader.PreviousLine(), QStringLiteral("769,0,768"));
        QVERIFY(reader.EndOfFile());
        reader.csGetALine(); // past the end stays at the end
        QCOMPARE(reader.Text(), QString());
        QVERIFY(reader.EndOfFile());

        Class1 second;
        configure(second, writeFile("one\r\ntwo\r\nthree\r\n"), {});
        QCOMPARE(second.cfOpenFile(), std::int16_t(0));
        second.csGetALine();
        QCOMPARE(second.Text(), QStringLiteral("one"));
        QCOMPARE(second.NextLine(), QStringLiteral("two"));
        second.csGetALine();
        QCOMPARE(second.PreviousLine(), QStringLiteral("one"));
        QCOMPARE(second.NextLine(), QStringLiteral("three"));
    }

    void blankLineOptions()
    {
        QCOMPARE(read("a\r\n\r\nb\r\n", {.noBlankLines = true}), (QStringList{"a", "b", ""}));
        QCOMPARE(read("a\r\n   \r\n\r\nb\r\n\r\n\r\n", {.noBlankLines = true}),
                 (QStringList{"a", "b", ""}));
        QCOMPARE(read("\r\n\r\n", {.noBlankLines = true}), (QStringList{""}));
        QCOMPARE(read("a\r\n\r\nb\r\n"), (QStringList{"a", "", "b", ""}));

        Class1 counting;
        configure(counting, writeFile("a\r\n  \r\nb\r\nc"), {.countOnlyNonBlank = true});
        QCOMPARE(counting.cfOpenFile(), std::int16_t(0));
        counting.csGetALine();
        counting.csGetALine();
        QCOMPARE(counting.Text(), QStringLiteral("  "));
        QCOMPARE(counting.LinesRead(), 1.0);
        counting.csGetALine();
        QCOMPARE(counting.LinesRead(), 2.0);

        Class1 all;
        configure(all, writeFile("a\r\n  \r\nb\r\nc"), {});
        QCOMPARE(all.cfOpenFile(), std::int16_t(0));
        all.csGetALine();
        all.csGetALine();
        all.csGetALine();
        QCOMPARE(all.LinesRead(), 3.0);

        QCOMPARE(read("  a b  \r\n", {.stripLeading = true}), (QStringList{"a b  ", ""}));
        QCOMPARE(read("  a b  \r\n", {.stripTrailing = true}), (QStringList{"  a b", ""}));
        // Only blanks are trimmed, not tabs.
        QCOMPARE(read("\t a \t\r\n", {.stripLeading = true, .stripTrailing = true}),
                 (QStringList{"\t a \t", ""}));
    }

    void characterFilters()
    {
        QCOMPARE(Class1::KeepPrintable(QByteArray("\x01\x02"
                                                  "ab")),
                 QByteArray("ab"));
        QCOMPARE(Class1::KeepPrintable(QByteArray("a\tb\x7f\xe9, ~!")), QByteArray("ab, ~!"));
        QCOMPARE(Class1::RemoveNulls(QByteArray("a\0b\0\0c", 6)), QByteArray("abc"));

        QCOMPARE(read(QByteArray("7\0"
                                 "69,0\0,768\r\n",
                                 13),
                      {.stripNulls = true}),
                 (QStringList{"769,0,768", ""}));
        QCOMPARE(read("\x01\x02"
                      "769,\t0,768\x7f\r\n",
                      {.onlyPrintable = true}),
                 (QStringList{"769,0,768", ""}));
        // A line of control characters only is blank once filtered and skipped.
        QCOMPARE(read("\x01\x02\r\nx\r\n", {.noBlankLines = true, .onlyPrintable = true}),
                 (QStringList{"x", ""}));
    }

    void fixedWidthRecords()
    {
        QCOMPARE(read("abcdefgh", {.fixedWidth = 4}), (QStringList{"abcd", "efgh", ""}));
        // Line ends are data in records.
        QCOMPARE(read("ab\r\ncdefg", {.fixedWidth = 4}), (QStringList{"ab\r\n", "cdef", "g", ""}));
        // Records across buffer fills.
        QCOMPARE(read("abcdefghij", {.fixedWidth = 3, .bufferSize = 4}),
                 (QStringList{"abc", "def", "ghi", "j", ""}));
    }

    void fileLargerThanBufferReadWhole_data()
    {
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<QByteArray>("lineEnd");
        QTest::newRow("CR LF, buffer 64") << 64 << QByteArray("\r\n");
        QTest::newRow("LF, buffer 7") << 7 << QByteArray("\n");
        QTest::newRow("CR LF, buffer 32767") << 32767 << QByteArray("\r\n");
    }

    void fileLargerThanBufferReadWhole()
    {
        QFETCH(int, bufferSize);
        QFETCH(QByteArray, lineEnd);
        QStringList expected;
        QByteArray content;
        QRandomGenerator random(42);
        for (int i = 0; i < 3000; ++i) {
            // Lines shorter than the buffer, so none is cut by it.
            const int length = static_cast<int>(random.bounded(std::min(bufferSize - 2, 60)));
            QByteArray line;
            for (int c = 0; c < length; ++c) {
                line += static_cast<char>('a' + random.bounded(26));
            }
            line.prepend(QByteArray::number(i % 10));
            expected << QString::fromLatin1(line);
            content += line + lineEnd;
        }
        expected << QString();
        Class1 reader;
        configure(reader, writeFile(content), {.bufferSize = bufferSize});
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        QCOMPARE(reader.BytesLeft(), std::int64_t(content.size()));
        QCOMPARE(readAll(reader), expected);
        QCOMPARE(reader.BytesLeft(), std::int64_t(0));
        QCOMPARE(reader.LinesRead(), double(expected.size()));
    }

    void neverHoldsMoreThanTheBuffer()
    {
        Class1 reader;
        configure(reader, writeFile(QByteArray(1000, 'x') + "\r\nend\r\n"), {.bufferSize = 100});
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        reader.csGetALine();
        QVERIFY(reader.LeftOver().size() <= 100);
        // A line longer than the buffer comes in buffer-sized pieces; nothing is lost.
        QString joined = reader.Text();
        while (!reader.EndOfFile()) {
            QVERIFY(reader.LeftOver().size() <= 100);
            QVERIFY(reader.Text().size() <= 100);
            reader.csGetALine();
            joined += reader.Text();
        }
        QCOMPARE(joined, QString(1000, QLatin1Char('x')) + QStringLiteral("end"));
    }

    void findLine()
    {
        Class1 reader;
        configure(reader, writeFile("alpha\r\nBeta one\r\ngamma\r\nbeta two\r\n"), {});
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        reader.csFindLine(QStringLiteral("beta"), false);
        QCOMPARE(reader.Text(), QStringLiteral("beta two"));

        Class1 ignoring;
        configure(ignoring, writeFile("alpha\r\nBeta one\r\ngamma\r\nbeta two\r\n"), {});
        QCOMPARE(ignoring.cfOpenFile(), std::int16_t(0));
        ignoring.csFindLine(QStringLiteral("beta"), true);
        QCOMPARE(ignoring.Text(), QStringLiteral("Beta one"));
        ignoring.csFindLine(QStringLiteral("beta"), true); // the current line already holds it
        QCOMPARE(ignoring.Text(), QStringLiteral("Beta one"));
        ignoring.csGetALine();
        ignoring.csFindLine(QStringLiteral("BETA"), true);
        QCOMPARE(ignoring.Text(), QStringLiteral("beta two"));
        ignoring.csFindLine(QStringLiteral("delta"), true);
        QVERIFY(ignoring.EndOfFile());
        QCOMPARE(ignoring.Text(), QString());
    }

    void findInFile_data()
    {
        QTest::addColumn<int>("bufferSize");
        QTest::addColumn<QString>("found");
        // The needle starts at offset 45; with a buffer of 16 the fill before the one that
        // finds it ends inside it, and the line's start is no longer held.
        QTest::newRow("whole file in one buffer") << 4096 << "fourth: NEEDLE here";
        QTest::newRow("small buffer") << 16 << "NEEDLE here";
    }

    void findInFile()
    {
        QFETCH(int, bufferSize);
        QFETCH(QString, found);
        const QByteArray content =
            "first line\r\nsecond line\r\nthird line\r\nfourth: NEEDLE here\r\nlast\r\n";
        Class1 reader;
        configure(reader, writeFile(content), {.bufferSize = bufferSize});
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        reader.csFindInFile(QStringLiteral("needle"), true);
        QCOMPARE(reader.Text(), found);
        QVERIFY(!reader.EndOfFile());
        reader.csGetALine();
        QCOMPARE(reader.Text(), QStringLiteral("last"));

        Class1 exact;
        configure(exact, writeFile(content), {.bufferSize = bufferSize});
        QCOMPARE(exact.cfOpenFile(), std::int16_t(0));
        exact.csFindInFile(QStringLiteral("needle"), false);
        QCOMPARE(exact.Text(), QString());
        QVERIFY(exact.EndOfFile());
    }

    void findInFileAcrossFills()
    {
        // Each fill brings 7 new characters: twelve offsets put every split of the needle
        // between two fills.
        for (int offset = 0; offset < 12; ++offset) {
            const QByteArray content =
                QByteArray(20 + offset, 'x') + "\r\nab NEEDLE cd\r\nrest\r\n";
            Class1 reader;
            configure(reader, writeFile(content), {.bufferSize = 12});
            QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
            reader.csFindInFile(QStringLiteral("NEEDLE"), false);
            QVERIFY2(reader.Text() == QStringLiteral("NEEDLE cd") ||
                         reader.Text() == QStringLiteral("ab NEEDLE cd"),
                     qPrintable(reader.Text()));
            reader.csGetALine();
            QCOMPARE(reader.Text(), QStringLiteral("rest"));
        }
    }

    void findInFileRestoresLineAndPreviousLine()
    {
        Class1 reader;
        configure(reader, writeFile("one\r\ntwo\r\nthree four\r\nfive\r\n"), {});
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        reader.csGetALine(); // after lines were read, a find still delivers the found line
        reader.csFindInFile(QStringLiteral("four"), false);
        QCOMPARE(reader.Text(), QStringLiteral("three four"));
        QCOMPARE(reader.PreviousLine(), QStringLiteral("two"));
        reader.csGetALine();
        QCOMPARE(reader.Text(), QStringLiteral("five"));
        QCOMPARE(reader.PreviousLine(), QStringLiteral("three four"));

        // A needle longer than the buffer cannot be held, so it is not found, and the search
        // still ends.
        Class1 tiny;
        configure(tiny, writeFile("abcdefghijkl\r\n"), {.bufferSize = 3});
        QCOMPARE(tiny.cfOpenFile(), std::int16_t(0));
        tiny.csFindInFile(QStringLiteral("defg"), false);
        QCOMPARE(tiny.Text(), QString());
        QVERIFY(tiny.EndOfFile());
    }

    void openingNeverCreatesOrChanges()
    {
        const QString missing = m_dir.filePath(QStringLiteral("missing"));
        Class1 reader;
        reader.setFileName(missing);
        QCOMPARE(reader.cfOpenFile(), Class1::errFileNotFound);
        QVERIFY(!QFileInfo::exists(missing));

        reader.setFileName(m_dir.path());
        QVERIFY(reader.cfOpenFile() != 0);

        reader.setFileName(QString());
        QVERIFY(reader.cfOpenFile() != 0);

        const QString path = writeFile("keep\r\n");
        QFile::setPermissions(path, QFileDevice::ReadOwner);
        Class1 readOnly;
        readOnly.setFileName(path);
        QCOMPARE(readOnly.cfOpenFile(), std::int16_t(0));
        QVERIFY(readOnly.ChannelNumber() > 0);
        readOnly.csGetALine();
        QCOMPARE(readOnly.Text(), QStringLiteral("keep"));
        readOnly.cfCloseFile();
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep\r\n"));
    }

    void channelsAreDistinctAndReused()
    {
        const QString path = writeFile("x\r\n");
        std::int16_t first = 0;
        {
            Class1 a;
            Class1 b;
            a.setFileName(path);
            b.setFileName(path);
            QCOMPARE(a.cfOpenFile(), std::int16_t(0));
            QCOMPARE(b.cfOpenFile(), std::int16_t(0));
            QVERIFY(a.ChannelNumber() != b.ChannelNumber());
            first = a.ChannelNumber();
        }
        Class1 c;
        c.setFileName(path);
        QCOMPARE(c.cfOpenFile(), std::int16_t(0));
        QCOMPARE(c.ChannelNumber(), first);

        // A reader closed twice (by hand, then on release) must not free a number that
        // another reader has taken since.
        std::int16_t taken = 0;
        {
            Class1 closedTwice;
            closedTwice.setFileName(path);
            QCOMPARE(closedTwice.cfOpenFile(), std::int16_t(0));
            closedTwice.cfCloseFile();
            Class1 d;
            d.setFileName(path);
            QCOMPARE(d.cfOpenFile(), std::int16_t(0));
            taken = d.ChannelNumber();
            closedTwice.cfCloseFile();
            Class1 e;
            e.setFileName(path);
            QCOMPARE(e.cfOpenFile(), std::int16_t(0));
            QVERIFY(e.ChannelNumber() != d.ChannelNumber());
        }
        QVERIFY(taken != c.ChannelNumber());
    }

    void reopeningStartsAfresh()
    {
        Class1 reader;
        reader.setFileName(writeFile("a\nb\n"));
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        QCOMPARE(readAll(reader), (QStringList{"a", "b", ""}));
        reader.setFileName(writeFile("c\r\nd\r\n"));
        QCOMPARE(reader.cfOpenFile(), std::int16_t(0));
        QCOMPARE(readAll(reader), (QStringList{"c", "d", ""}));
        QCOMPARE(reader.LinesRead(), 3.0);
    }

    void badSizesAreErrors()
    {
        Class1 big;
        configure(big, writeFile("a\r\n"), {.bufferSize = 32768});
        QCOMPARE(big.cfOpenFile(), std::int16_t(0));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, big.csGetALine());

        Class1 zero;
        configure(zero, writeFile("a\r\n"), {.noBlankLines = true, .bufferSize = 0});
        QCOMPARE(zero.cfOpenFile(), std::int16_t(0));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, zero.csGetALine());

        Class1 negative;
        configure(negative, writeFile("a\r\n"), {.fixedWidth = -1});
        QCOMPARE(negative.cfOpenFile(), std::int16_t(0));
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, negative.csGetALine());

        Class1 closed;
        configure(closed, writeFile("a\r\n"), {});
        QCOMPARE(closed.cfOpenFile(), std::int16_t(0));
        closed.cfCloseFile();
        QVERIFY_THROWS_EXCEPTION(pa::AutomationError, closed.csGetALine());
    }
};

CORVANE_TEST_MAIN(TestClass1)
#include "tst_class1.moc"
