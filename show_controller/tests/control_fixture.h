#pragma once

// What the behaviour tests of frmControl share: the window wired to the recording
// presentation application, fake dialogs and a temporary drive C holding the picture folders.

#include "show_controller/frmControl.h"
#include "show_controller/frmShowAdjust.h"
#include "show_controller/script_text_box.h"

#include "platform/busy_calls.h"
#include "platform/drive_c.h"
#include "platform/layout.h"
#include "platform/testing/fakes.h"
#include "presentation_automation/testing/recording_automation.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

using Calls = std::vector<std::string>;

// A named control of a window; a missing one ends the test run, as every later step needs it.
template<typename T = QWidget> T *findControl(const QWidget *window, const char *name)
{
    T *found = window->findChild<T *>(QLatin1String(name));
    if (!found) {
        qFatal("no control %s", name);
    }
    return found;
}

// One control of a fixed layout: name, caption or text, and place in twips.
struct LayoutRow
{
    const char *name;
    QString caption;
    int left, top, width, height;
};

inline QString captionOf(const QWidget *control)
{
    if (auto *button = qobject_cast<const QPushButton *>(control)) {
        return button->text();
    }
    if (auto *label = qobject_cast<const QLabel *>(control)) {
        return label->text();
    }
    if (auto *line = qobject_cast<const QLineEdit *>(control)) {
        return line->text();
    }
    if (auto *combo = qobject_cast<const QComboBox *>(control)) {
        return combo->currentText();
    }
    return control->property("text").toString();
}

// Each row's control is where the layout puts it and shows its caption exactly.
template<typename Rows> void verifyLayout(const QWidget *window, const Rows &rows)
{
    for (const LayoutRow &row : rows) {
        const QWidget *control = findControl(window, row.name);
        QVERIFY2(control->geometry() == platform::twips(row.left, row.top, row.width, row.height),
                 row.name);
        QVERIFY2(captionOf(control) == row.caption, row.name);
    }
}

// What a hand step of a screen asks of the presentation application.
inline Calls handStep(int screen, bool forward)
{
    const std::string pres = "pres " + std::to_string(screen);
    return {"Activate(" + pres + ")", (forward ? "Next(" : "Previous(") + pres + ")"};
}

class ControlFixture
{
public:
    // guardCalls: the presentation calls go through the guard that keeps windows alive, as
    // in the program.
    explicit ControlFixture(bool withFolders = true,
                            std::function<std::unique_ptr<platform::SerialPort>()> port = {},
                            bool guardCalls = false)
    {
        QCoreApplication::setApplicationName(QStringLiteral("Corvane"));
        platform::setDriveCRoot(root.path());
        if (withFolders) {
            for (int n = 1; n <= 3; ++n) {
                QDir(root.path()).mkpath(QStringLiteral("Slide Shows/Screen %1 JPG").arg(n));
            }
        }
        ControlServices services;
        services.createApplication =
            guardCalls ? platform::guardedApplications(app.factory()) : app.factory();
        services.messageBox = messages;
        services.fileDialog = dialog;
        services.createSerialPort = std::move(port);
        window = std::make_unique<frmControl>(std::move(services));
    }

    ~ControlFixture() { platform::setDriveCRoot(QString()); }

    QString path(const QString &relative) const { return root.filePath(relative); }

    QString picturePath(int screen) const
    {
        return path(QStringLiteral("Slide Shows/Screen %1 JPG/ExportSlide").arg(screen));
    }

    std::string exportCall(int pres, int slide, int screen) const
    {
        return "Export(pres " + std::to_string(pres) + ", " + std::to_string(slide) + ", " +
               picturePath(screen).toStdString() + ", JPG, 175, 125)";
    }

    template<typename T = QWidget> T *control(const char *name) const
    {
        return findControl<T>(window.get(), name);
    }

    void click(const char *button) const { control<QPushButton>(button)->click(); }

    QString box1() const { return control<ScriptTextBox>("txtScriptBox1")->text(); }
    QString box2() const { return control<ScriptTextBox>("txtScriptBox2")->text(); }
    QLineEdit *loadBox() const { return control<QLineEdit>("txtLoadShow"); }

    // The colour at the centre of a screen's preview.
    QRgb previewColour(int screen) const
    {
        static const char *const boxes[] = {"ibxSouth", "ibxCenter", "ibxNorth"};
        const QImage image = control<QLabel>(boxes[screen - 1])->pixmap().toImage();
        return image.pixel(image.width() / 2, image.height() / 2);
    }

    // A deck file name (the recording application does not read it).
    QString deck(const QString &name) const { return path(name); }

    // One press of Load SlideShow choosing file.
    void load(const QString &file)
    {
        dialog->answers.append(file);
        click("cmdLoadShow");
    }

    void loadThree()
    {
        load(deck(QStringLiteral("one.pdf")));
        load(deck(QStringLiteral("two.pdf")));
        load(deck(QStringLiteral("three.pdf")));
    }

    QString writeFile(const QString &name, const QByteArray &bytes) const
    {
        QFile file(path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            qFatal("cannot write %s", qPrintable(name));
        }
        return file.fileName();
    }

    void loadScript(const QByteArray &bytes)
    {
        dialog->answers.append(writeFile(QStringLiteral("show.txt"), bytes));
        click("cmdLoadScriptEd");
    }

    QTemporaryDir root;
    pa::testing::RecordingAutomation app;
    std::shared_ptr<platform::testing::FakeMessageBox> messages =
        std::make_shared<platform::testing::FakeMessageBox>();
    std::shared_ptr<platform::testing::FakeFileOpenDialog> dialog =
        std::make_shared<platform::testing::FakeFileOpenDialog>();
    std::unique_ptr<frmControl> window;
};

// The geometry window, opened by the main window's Load Show Adjust.
struct AdjustWindow
{
    explicit AdjustWindow(ControlFixture &fixture) : f(fixture)
    {
        f.click("cmdShowAdjust");
        window = f.window->geometryWindow();
        if (!window) {
            qFatal("no geometry window");
        }
    }

    template<typename T = QWidget> T *control(const char *name) const
    {
        return findControl<T>(window, name);
    }
    void click(const char *button) const { control<QPushButton>(button)->click(); }

    // Picks a port text and presses Set Comm Port.
    void setCommPort(const QString &text) const
    {
        control<QComboBox>("cmbPort")->setCurrentText(text);
        click("cmdSetComm");
    }

    ControlFixture &f;
    frmShowAdjust *window = nullptr;
};

// Two colours from JPEG pictures are the same when every channel is close.
inline bool sameColour(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) < 12 && qAbs(qGreen(a) - qGreen(b)) < 12 &&
           qAbs(qBlue(a) - qBlue(b)) < 12;
}

inline QRgb slideColour(int pres, int slide)
{
    return pa::testing::RecordingAutomation::colourFor(pres, slide);
}
