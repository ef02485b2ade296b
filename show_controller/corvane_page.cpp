#include "show_controller/corvane_page.h"

#include "show_controller/show_script.h"
#include "show_controller/steps_ahead.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace corvanepage {

std::vector<remote::PagePicture>
pictures(const std::array<std::shared_ptr<pa::Presentation>, 3> &screens, const QStringList &lines,
         int lineNumber)
{
    const auto onNext = showscript::slidesOnNext(lines, lineNumber);
    std::vector<remote::PagePicture> wanted;
    for (size_t i = 0; i < screens.size(); ++i) {
        const QString screen = QStringLiteral("screen%1/").arg(i + 1);
        wanted.push_back({screen + QStringLiteral("current"), screens[i], std::nullopt, 0});
        wanted.push_back({screen + QStringLiteral("next"), screens[i], onNext[i], 0});
    }
    return wanted;
}

QByteArray scriptLines(const QStringList &lines)
{
    QJsonArray out;
    const int length = showscript::showLength(lines);
    for (int index = 0; index < length; ++index) {
        const QString line = lines.at(index);
        QString text;
        try {
            text = showscript::stepDescription(showscript::fieldsOf(line));
        } catch (const std::exception &) {
            text = line; // no step text: the line as written says what it is
        }
        out.append(QJsonObject{
            {QStringLiteral("line"), index + 1},
            {QStringLiteral("text"), text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))}});
    }
    return QJsonDocument(out).toJson(QJsonDocument::Compact);
}

} // namespace corvanepage
