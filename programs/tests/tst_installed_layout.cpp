// The installed tree: everything where the desktop and the programs look for it, and the
// programs and the host answering from there.

#include "presentation_controller/frmKestro.h"

#include "platform/testing/test_main.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

class TestInstalledLayout : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_prefix;

    QString installed(const QString &relative) const { return m_prefix.filePath(relative); }

    // Output of an installed program run without a display.
    static QString answer(const QString &program, const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        process.setProcessEnvironment(environment);
        process.start(program, arguments);
        if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0) {
            return QStringLiteral("<failed: %1>")
                .arg(QString::fromLocal8Bit(process.readAllStandardError()));
        }
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

private slots:
    void initTestCase()
    {
        QProcess install;
        install.start(QStringLiteral(CORVANE_CMAKE),
                      {QStringLiteral("--install"), QStringLiteral(CORVANE_BUILD_DIR),
                       QStringLiteral("--prefix"), m_prefix.path()});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
    }

    void everythingInItsPlace_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");
        for (const char *program : {"Corvane", "Kestro", "Kestrokiosk"}) {
            const QString name = QLatin1String(program);
            QTest::newRow(program) << QStringLiteral("bin/") + name << true;
            QTest::addRow("%s menu entry", program)
                << QStringLiteral("share/applications/org.corvane.%1.desktop").arg(name) << false;
            QTest::addRow("%s icon", program)
                << QStringLiteral("share/icons/hicolor/scalable/apps/org.corvane.%1.svg").arg(name)
                << false;
        }
        QTest::newRow("host") << QStringLiteral("libexec/presentation_host") << true;
        QTest::newRow("guide") << QStringLiteral("share/doc/corvane/guide/index.html") << false;
        QTest::newRow("metainfo") << QStringLiteral(
                                         "share/metainfo/org.corvane.Corvane.metainfo.xml")
                                  << false;
        QTest::newRow("copyright") << QStringLiteral("share/doc/corvane/copyright") << false;
    }

    void everythingInItsPlace()
    {
        QFETCH(QString, path);
        QFETCH(bool, executable);
        const QFileInfo file(installed(path));
        QVERIFY2(file.isFile(), qPrintable(path));
        QCOMPARE(file.isExecutable(), executable);
    }

    void menuEntriesStartTheInstalledProgramsWithTheirIcons()
    {
        for (const char *program : {"Corvane", "Kestro", "Kestrokiosk"}) {
            const QString name = QLatin1String(program);
            QSettings entry(
                installed(QStringLiteral("share/applications/org.corvane.%1.desktop").arg(name)),
                QSettings::IniFormat);
            entry.beginGroup(QStringLiteral("Desktop Entry"));
            QCOMPARE(entry.value(QStringLiteral("Exec")).toString(), name);
            QCOMPARE(entry.value(QStringLiteral("Icon")).toString(),
                     QStringLiteral("org.corvane.") + name);
            QVERIFY(QFile::exists(installed(QStringLiteral("bin/") + name)));
        }
        const QString validator =
            QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
        if (validator.isEmpty()) {
            QSKIP("desktop-file-validate is not installed");
        }
        QDir menu(installed(QStringLiteral("share/applications")));
        for (const QString &entry : menu.entryList({QStringLiteral("*.desktop")})) {
            QCOMPARE(QProcess::execute(validator, {menu.filePath(entry)}), 0);
        }
    }

    void theInstalledGuideIsFound()
    {
        const QUrl guide = kestro::guideUrl(installed(QStringLiteral("bin")));
        QCOMPARE(QFileInfo(guide.toLocalFile()).canonicalFilePath(),
                 QFileInfo(installed(QStringLiteral("share/doc/corvane/guide/index.html")))
                     .canonicalFilePath());
        QFile page(guide.toLocalFile());
        QVERIFY(page.open(QIODevice::ReadOnly));
        QVERIFY(page.readAll().contains("id=\"linux\""));
    }

    void programsAnswerWithoutADisplay()
    {
        for (const char *program : {"Corvane", "Kestro", "Kestrokiosk"}) {
            const QString name = QLatin1String(program);
            const QString path = installed(QStringLiteral("bin/") + name);
            QCOMPARE(answer(path, {QStringLiteral("--version")}),
                     name + QStringLiteral(" " CORVANE_VERSION "\n"));
            QVERIFY(answer(path, {QStringLiteral("--help")})
                        .startsWith(QStringLiteral("Usage: ") + name));
        }
        QCOMPARE(answer(installed(QStringLiteral("libexec/presentation_host")),
                        {QStringLiteral("--version")}),
                 QStringLiteral("presentation_host " CORVANE_VERSION "\n"));
    }
};

CORVANE_TEST_MAIN(TestInstalledLayout)
#include "tst_installed_layout.moc"
