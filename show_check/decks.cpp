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
            continue;
        }
        readSteps(deck);
    }
}

void DeckSet::readSteps(Deck &deck)
{
    // An application that cannot tell (or fails to) leaves them unknown: they add to the
    // check, they are not needed for it.
    try {
        std::vector<int> builds;
        for (int slide = 1; slide <= *deck.slideCount; ++slide) {
            const std::optional<std::int32_t> n =
                deck.presentation->slides()->item(slide)->buildCount();
            if (!n) {
                builds.clear();
                break;
            }
            builds.push_back(*n);
        }
        deck.builds = builds;
    } catch (const pa::AutomationError &) {
        deck.builds.clear();
    }
    try {
        if (const auto lines = deck.presentation->importReport()) {
            QStringList report;
            for (const std::string &line : *lines) {
                report << QString::fromStdString(line);
            }
            deck.importReport = report;
        }
    } catch (const pa::AutomationError &) {
        deck.importReport.reset();
    }
}

std::optional<int> DeckSet::builds(int screen, int slide) const
{
    const std::vector<int> &builds = deck(screen).builds;
    if (slide < 1 || slide > static_cast<int>(builds.size())) {
        return std::nullopt;
    }
    return builds[static_cast<size_t>(slide - 1)];
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
