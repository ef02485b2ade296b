#include "presentation_controller/display_numbers.h"
#include "presentation_controller/frmScreen.h"

#include "platform/drive_c.h"
#include "platform/testing/fakes.h"
#include "platform/testing/test_main.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using platform::testing::FakeMessageBox;

class TestFrmScreen : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_driveC;
    std::shared_ptr<FakeMessageBox> m_messages;
    std::unique_ptr<frmScreen> m_window;

    QLineEdit *box(const char *name)
    {
        return m_window->findChild<QLineEdit *>(QLatin1String(name));
    }
    QPushButton *button(const char *name)
    {
        return m_window->findChild<QPushButton *>(QLatin1String(name));
    }
    QStringList boxTexts()
    {
        return {box("txtLeft")->text(), box("txtTop")->text(), box("txtWidth")->text()};
    }
    void setBoxes(const QString &left, const QString &top, const QString &width)
    {
        box("txtLeft")->setText(left);
        box("txtTop")->setText(top);
        box("txtWidth")->setText(width);
    }
    QString numbersFile() const { return m_driveC->filePath(QStringLiteral("Kestro")); }
    void writeNumbersFile(const QByteArray &content)
    {
        QFile file(numbersFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(content), content.size());
    }
    QByteArray numbersFileBytes()
    {
        QFile file(numbersFile());
        if (!file.open(QIODevice::ReadOnly)) {
            return "<missing>";
        }
        return file.readAll();
    }

private slots:
    void init()
    {
        m_driveC = std::make_unique<QTemporaryDir>();
        QVERIFY(m_driveC->isValid());
        platform::setDriveCRoot(m_driveC->path());
        QCoreApplication::setApplicationName(QStringLiteral("Kestro"));
        m_messages = std::make_shared<FakeMessageBox>();
        m_window = std::make_unique<frmScreen>(QStringLiteral("Kestro "), m_messages);
    }

    void cleanup()
    {
        m_window.reset();
        platform::setDriveCRoot(QString());
    }

    void freshWindow()
    {
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Load Display Attributes"));
        QCOMPARE(
            m_window->findChild<QLabel *>(QStringLiteral("Label1"))->text(),
            QStringLiteral(
                " Enter the magic numbers for your muli-monitor setup and display resolution. "
                "The default numbers are for side-by-side and 1024 X 768 display resolution."));
        QCOMPARE(button("cmdLoadFile")->text(), QStringLiteral("Load Saved Magic  Numbers"));
        QCOMPARE(button("cmdSaveFile")->text(),
                 QStringLiteral("      Save Magic          Numbers"));
        QCOMPARE(boxTexts(), (QStringList{"769", "0", "768"}));
        QVERIFY(!m_window->intDisplaySet.has_value());
        // OK, then Cancel, lead the tab order.
        QCOMPARE(button("OKButton")->nextInFocusChain(), button("CancelButton"));
        m_window->showWindow();
        QCOMPARE(m_window->focusWidget(), button("OKButton"));
    }

    void saveWritesTheBoxesExactly()
    {
        writeNumbersFile("an older and much longer content\r\nwith two lines\r\n");
        button("cmdSaveFile")->click();
        QCOMPARE(numbersFileBytes(), QByteArray("769,0,768\r\n"));

        // Texts go as they stand; nothing checks they are numbers.
        setBoxes(QStringLiteral("-1024"), QStringLiteral(" 5"), QStringLiteral("abc"));
        button("cmdSaveFile")->click();
        QCOMPARE(numbersFileBytes(), QByteArray("-1024, 5,abc\r\n"));
        QVERIFY(m_messages->shown.isEmpty());
        QVERIFY(!m_window->intDisplaySet.has_value());
    }

    void saveFailureIsReportedAndKeepsTheOldFile()
    {
        // A folder in the file's place cannot be replaced.
        QVERIFY(QDir(m_driveC->path()).mkdir(QStringLiteral("Kestro")));
        button("cmdSaveFile")->click();
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->shown.at(0).caption, QStringLiteral("Kestro "));
        QVERIFY(m_messages->shown.at(0).text.contains(numbersFile()));
        QVERIFY(QFileInfo(numbersFile()).isDir());
    }

    void loadTakesTheFirstThreeFields()
    {
        writeNumbersFile("\r\n   \r\n\x01"
                         "1920,10,1440,99\r\n5,5,5\r\n");
        button("cmdLoadFile")->click();
        QVERIFY(m_messages->shown.isEmpty());
        QCOMPARE(boxTexts(), (QStringList{"1920", "10", "1440"}));
        // Loading does not confirm.
        QVERIFY(!m_window->intDisplaySet.has_value());
        // Reading never changes the file.
        QCOMPARE(numbersFileBytes(), QByteArray("\r\n   \r\n\x01"
                                                "1920,10,1440,99\r\n5,5,5\r\n"));
    }

    void loadFailuresAreReportedAndChangeNothing_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing file") << QByteArray("<none>") << "Kestro File not found: ";
        QTest::newRow("empty file")
            << QByteArray() << "Kestro The display numbers file does not hold three numbers: ";
        QTest::newRow("blank lines only")
            << QByteArray("\r\n  \r\n")
            << "Kestro The display numbers file does not hold three numbers: ";
        QTest::newRow("two fields")
            << QByteArray("100,200\r\n")
            << "Kestro The display numbers file does not hold three numbers: ";
    }

    void loadFailuresAreReportedAndChangeNothing()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        if (content != "<none>") {
            writeNumbersFile(content);
        }
        setBoxes(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"));
        button("cmdLoadFile")->click();
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->shown.at(0).text, expected + numbersFile());
        QCOMPARE(m_messages->shown.at(0).caption, QStringLiteral("Kestro "));
        QCOMPARE(boxTexts(), (QStringList{"1", "2", "3"}));
        if (content == "<none>") {
            QVERIFY(!QFileInfo::exists(numbersFile()));
        }
    }

    void okConfirmsAndTheNumbersOutliveTheWindow()
    {
        m_window->showWindow();
        setBoxes(QStringLiteral(" -768 "), QStringLiteral("12.5"), QStringLiteral("1024"));
        button("OKButton")->click();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_window->intDisplaySet, std::optional<std::int16_t>(1));
        QCOMPARE(m_window->intLeft, std::int16_t(-768));
        QCOMPARE(m_window->intTop, std::int16_t(12)); // halves round to even
        QCOMPARE(m_window->intWidth, std::int16_t(1024));

        // Reopened, it is a fresh window; Cancel after editing keeps the confirmed numbers.
        m_window->showWindow();
        QCOMPARE(boxTexts(), (QStringList{"769", "0", "768"}));
        setBoxes(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"));
        button("CancelButton")->click();
        QVERIFY(!m_window->isVisible());
        QCOMPARE(m_window->intDisplaySet, std::optional<std::int16_t>(1));
        QCOMPARE(m_window->intLeft, std::int16_t(-768));
        QCOMPARE(m_window->intWidth, std::int16_t(1024));
        QVERIFY(m_messages->shown.isEmpty());
    }

    void dialogKeys_data()
    {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<int>("key");
        QTest::addColumn<bool>("confirmed");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("saved");
        QTest::newRow("Enter in a box is OK")
            << "txtTop" << int(Qt::Key_Return) << true << false << false;
        QTest::newRow("keypad Enter in a box is OK")
            << "txtWidth" << int(Qt::Key_Enter) << true << false << false;
        QTest::newRow("Enter on OK") << "OKButton" << int(Qt::Key_Return) << true << false << false;
        QTest::newRow("Enter on Cancel")
            << "CancelButton" << int(Qt::Key_Return) << false << false << false;
        QTest::newRow("Enter on Save presses Save")
            << "cmdSaveFile" << int(Qt::Key_Return) << false << true << true;
        QTest::newRow("Esc in a box is Cancel")
            << "txtLeft" << int(Qt::Key_Escape) << false << false << false;
        QTest::newRow("Esc on OK is Cancel")
            << "OKButton" << int(Qt::Key_Escape) << false << false << false;
    }

    void dialogKeys()
    {
        QFETCH(QString, focus);
        QFETCH(int, key);
        QFETCH(bool, confirmed);
        QFETCH(bool, open);
        QFETCH(bool, saved);
        m_window->showWindow();
        setBoxes(QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("30"));
        auto *target = m_window->findChild<QWidget *>(focus);
        QVERIFY(target);
        QTest::keyClick(target, Qt::Key(key),
                        key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
        QCOMPARE(m_window->intDisplaySet.has_value(), confirmed);
        if (confirmed) {
            QCOMPARE(m_window->intLeft, std::int16_t(10));
            QCOMPARE(m_window->intWidth, std::int16_t(30));
        }
        QCOMPARE(m_window->isVisible(), open);
        QCOMPARE(QFileInfo::exists(numbersFile()), saved);
        QVERIFY(m_messages->shown.isEmpty());
    }

    void cancelBeforeAnyOkConfirmsNothing()
    {
        m_window->showWindow();
        setBoxes(QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"));
        button("CancelButton")->click();
        QVERIFY(!m_window->intDisplaySet.has_value());
    }

    void okWithABadBoxChangesNothing_data()
    {
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QString>("expected");
        QTest::newRow("letters") << QStringList{"769", "x", "768"}
                                 << "Kestro Type mismatch: Top \"x\"";
        QTest::newRow("empty") << QStringList{"", "0", "768"} << "Kestro Type mismatch: Left \"\"";
        QTest::newRow("beyond 16 bits")
            << QStringList{"769", "0", "32768"} << "Kestro Overflow: Width \"32768\"";
    }

    void okWithABadBoxChangesNothing()
    {
        QFETCH(QStringList, texts);
        QFETCH(QString, expected);
        m_window->intLeft = 5;
        m_window->showWindow();
        setBoxes(texts.at(0), texts.at(1), texts.at(2));
        button("OKButton")->click();
        QCOMPARE(m_messages->shown.size(), 1);
        QCOMPARE(m_messages->shown.at(0).text, expected);
        QCOMPARE(m_messages->shown.at(0).caption, QStringLiteral("Kestro "));
        QVERIFY(m_window->isVisible());
        QVERIFY(!m_window->intDisplaySet.has_value());
        QCOMPARE(m_window->intLeft, std::int16_t(5));
        QCOMPARE(boxTexts(), texts);
    }

    void savedNumbersLoadBackAndConfirm()
    {
        setBoxes(QStringLiteral("-1280"), QStringLiteral("40"), QStringLiteral("960"));
        button("cmdSaveFile")->click();
        m_window->close();
        m_window->showWindow();
        button("cmdLoadFile")->click();
        QCOMPARE(boxTexts(), (QStringList{"-1280", "40", "960"}));
        button("OKButton")->click();
        QCOMPARE(m_window->intLeft, std::int16_t(-1280));
        QCOMPARE(m_window->intTop, std::int16_t(40));
        QCOMPARE(m_window->intWidth, std::int16_t(960));
    }
};

CORVANE_TEST_MAIN(TestFrmScreen)
#include "tst_frmscreen.moc"
