#include "decks.h"

#include "platform/error.h"

#include <QFile>

namespace showcheck {

DeckSet::DeckSet(pa::ApplicationFactory createApplication)
    : m_createApplication(std::move(createApplication))
{}

void DeckSet::open(const std::array<QString, 3> &paths)
{
    std::shared_ptr<pa::Application> app;
    QString appError;
    if (!m_createApplication) {
        appError = QStringLiteral("No presentation application is available.");
    } else {
        try {
            app = m_createApplication();
        } catch (const pa::AutomationError &error) {
            appError = platform::errorText(error);
        }
    }
    for (size_t s = 0; s < 3; ++s) {
        Deck &deck = m_decks[s];
        deck = Deck{};
        deck.path = paths[s];
        if (!app) {
            deck.error = appError;
            continue;
        }
        try {
            deck.presentation = app->presentations()->open(paths[s].toStdString(), pa::msoTrue,
                                                           pa::msoFalse, pa::msoFalse);
            deck.slideCount = deck.presentation->slides()->count();
        } catch (const pa::AutomationError &error) {
            deck.error = platform::errorText(error);
            deck.slideCount.reset();
        }
    }
}

std::array<std::optional<int>, 3> DeckSet::slideCounts() const
{
    return {m_decks[0].slideCount, m_decks[1].slideCount, m_decks[2].slideCount};
}

QByteArray DeckSet::thumbnail(int screen, int slide, QSize size)
{
    const Deck &d = deck(screen);
    if (!d.presentation) {
        throw platform::runtimeError(
            QStringLiteral("The deck of Screen %1 is not open.").arg(screen));
    }
    if (!m_pictures.isValid()) {
        throw platform::runtimeError(QStringLiteral("No folder for the pictures: ") +
                                     m_pictures.errorString());
    }
    const QString path =
        m_pictures.filePath(QStringLiteral("screen%1-slide%2").arg(screen).arg(slide));
    d.presentation->slides()->item(slide)->exportTo(path.toStdString(), "JPG", size.width(),
                                                    size.height());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        throw platform::runtimeError(
            QStringLiteral("The picture %1 cannot be read: %2").arg(path, file.errorString()));
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QFile::remove(path);
    return bytes;
}

} // namespace showcheck
