#include "platform/import_notice.h"

#include "presentation_automation/import_note.h"

namespace platform {

std::optional<QString> withoutBuildsMessage(pa::Presentation &presentation, const QString &fileName)
{
    try {
        const auto report = presentation.importReport();
        if (!report) {
            return std::nullopt;
        }
        if (const auto line = pa::withoutBuildsLine(*report)) {
            return QStringLiteral("%1 is %2.").arg(fileName, QString::fromStdString(*line));
        }
    } catch (const std::exception &) {
        // The deck is open and showing; only the note about it is lost.
    }
    return std::nullopt;
}

} // namespace platform
