#include "presentation_automation/host/service/deck_queries.h"

#include "presentation_automation/host/service/host_process.h"

namespace pa::host {

Reply answerDeckQuery(const Request &request, const DeckDescription &deck)
{
    if (request.op == Op::ImportReport) {
        return Reply::success(static_cast<std::int64_t>(deck.report.size()),
                              deck.report.join(QLatin1Char('\n')));
    }
    if (request.op == Op::SlideBuilds) {
        if (request.slide < 1 || request.slide > deck.slideCount()) {
            return Reply::failure(QStringLiteral("Presentation host"),
                                  QStringLiteral("Slide %1 is out of range (1 to %2).")
                                      .arg(request.slide)
                                      .arg(deck.slideCount()));
        }
        return Reply::success(deck.slides[static_cast<size_t>(request.slide - 1)].clickBuilds());
    }
    return Reply::failure(QStringLiteral("Presentation host"),
                          QStringLiteral("The request is not known."));
}

void logImportReport(const QString &file, const DeckDescription &deck)
{
    for (const QString &line : deck.report) {
        hostLog(QStringLiteral("The file %1 is shown without this: %2").arg(file, line));
    }
}

} // namespace pa::host
