#include "storyboard.h"

#include "platform/error.h"
#include "show_controller/show_script.h"

#include <map>

namespace showcheck {

namespace {

QString escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// The step box's CR LF becomes a line break on the page.
QString multiline(const QString &text)
{
    QStringList parts = text.split(QStringLiteral("\r\n"));
    for (QString &part : parts) {
        part = escaped(part);
    }
    return parts.join(QStringLiteral("<br/>"));
}

} // namespace

std::vector<StoryRow> storyRows(const ScriptCheck &script,
                                const std::array<std::optional<int>, 3> &slideCounts)
{
    std::vector<StoryRow> rows;
    std::array<int, 3> shown{1, 1, 1};
    for (int i = 0; i < script.reachedLines; ++i) {
        const ScriptLine &entry = script.listing.at(static_cast<size_t>(i));
        StoryRow row;
        row.line = entry.number;
        row.text = entry.text;
        const QStringList fields = showscript::fieldsOf(entry.text);
        if (i == 0) {
            row.description = QStringLiteral("Opening: the screens as loaded");
        } else if (!entry.code) {
            row.description = QStringLiteral("Moves no screen: the code is not one of 0 to 15");
        } else {
            row.description = entry.next;
        }
        if (i > 0 && entry.code && *entry.code > 0) {
            for (int screen : showscript::screensNamed(*entry.code)) {
                auto &view = row.screens[static_cast<size_t>(screen - 1)];
                const auto &count = slideCounts[static_cast<size_t>(screen - 1)];
                const std::optional<int> slide = slideOf(fields, screen);
                if (!slide) {
                    view.note = QStringLiteral("stays: no slide number");
                } else if (*slide < 1 || (count && *slide > *count)) {
                    view.note = QStringLiteral("stays: slide %1 is not in the deck").arg(*slide);
                } else {
                    shown[static_cast<size_t>(screen - 1)] = *slide;
                    view.moved = true;
                }
            }
        }
        for (size_t s = 0; s < 3; ++s) {
            row.screens[s].slide = shown[s];
            if (i > 0 && entry.code && *entry.code == 0 && shown[s] != 1) {
                row.screens[s].note = QStringLiteral("the preview shows slide 1");
            }
        }
        rows.push_back(row);
    }
    return rows;
}

QString storyboardHtml(const StoryPage &page, const std::vector<StoryRow> &rows,
                       const Thumbnail &thumbnail, const BuildCount &builds)
{
    // A screen that stays shows the same picture row after row: make each one once.
    std::map<std::pair<int, int>, QString> made;
    const auto picture = [&](int screen, int slide) -> QString {
        const auto key = std::make_pair(screen, slide);
        if (const auto found = made.find(key); found != made.end()) {
            return found->second;
        }
        QString cell;
        const QString size = QStringLiteral(" width=\"%1\" height=\"%2\"")
                                 .arg(page.thumbnailSize.width())
                                 .arg(page.thumbnailSize.height());
        try {
            const QByteArray jpeg = thumbnail(screen, slide);
            cell = QStringLiteral("<img alt=\"Screen %1 slide %2\"%3 src=\"data:image/jpeg;base64,")
                       .arg(screen)
                       .arg(slide)
                       .arg(size) +
                   QString::fromLatin1(jpeg.toBase64()) + QStringLiteral("\"/>");
        } catch (const pa::AutomationError &error) {
            cell =
                QStringLiteral("<div class=\"missing\" style=\"width:%1px;height:%2px\">%3</div>")
                    .arg(page.thumbnailSize.width())
                    .arg(page.thumbnailSize.height())
                    .arg(escaped(platform::errorText(error)));
        }
        made.emplace(key, cell);
        return cell;
    };

    QString html;
    html +=
        QStringLiteral(
            "<!DOCTYPE html>\n<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n"
            "<meta charset=\"utf-8\"/>\n<title>Storyboard: %1</title>\n<style>\n"
            "body{font-family:sans-serif;margin:16px;background:#f4f4f4}\n"
            "table{border-collapse:collapse}\n"
            "th,td{border:1px solid #bbb;padding:6px;vertical-align:top;background:#fff}\n"
            "td.step{max-width:260px;font-size:90%}\n"
            "td.step code{display:block;margin-bottom:4px;font-size:110%}\n"
            "td.screen img,td.screen .missing{display:block;border:4px solid transparent}\n"
            "td.moved img{border-color:#e07000}\n"
            "td.moved .caption{color:#e07000;font-weight:bold}\n"
            ".missing{background:#fdd;font-size:80%;overflow:hidden}\n"
            ".caption{font-size:85%;margin-top:2px}\n.note{color:#b00000;font-size:85%}\n"
            ".builds{font-size:80%;color:#555}\n"
            "</style>\n</head>\n<body>\n<h1>Storyboard: %1</h1>\n"
            "<p>What each screen shows after Next on each line; a screen that Next moves on the "
            "line has an orange frame.</p>\n<table>\n<thead><tr><th>Line</th>")
            .arg(escaped(page.title));
    // The table shows Screen 3 left and Screen 1 right, as the control window does.
    for (int screen = 3; screen >= 1; --screen) {
        html += QStringLiteral("<th>Screen %1<br/><small>%2</small></th>")
                    .arg(screen)
                    .arg(escaped(page.deckNames[static_cast<size_t>(screen - 1)]));
    }
    html += QStringLiteral("</tr></thead>\n<tbody>\n");
    for (const StoryRow &row : rows) {
        html += QStringLiteral(
                    "<tr class=\"row\"><td class=\"step\"><b>Line %1</b><code>%2</code>%3</td>")
                    .arg(row.line)
                    .arg(escaped(row.text))
                    .arg(multiline(row.description));
        for (int screen = 3; screen >= 1; --screen) {
            const StoryScreen &view = row.screens[static_cast<size_t>(screen - 1)];
            html += QStringLiteral("<td class=\"screen%1\" data-screen=\"%2\" data-slide=\"%3\">")
                        .arg(view.moved ? QStringLiteral(" moved") : QString())
                        .arg(screen)
                        .arg(view.slide);
            html += picture(screen, view.slide);
            html += QStringLiteral("<div class=\"caption\">Slide %1%2</div>")
                        .arg(view.slide)
                        .arg(view.moved ? QStringLiteral(" (moved)") : QString());
            if (const std::optional<int> n = builds ? builds(screen, view.slide) : std::nullopt) {
                html += QStringLiteral("<div class=\"builds\" data-builds=\"%1\">%2</div>")
                            .arg(*n)
                            .arg(*n == 0   ? QStringLiteral("no builds")
                                 : *n == 1 ? QStringLiteral("fully built after 1 build")
                                           : QStringLiteral("fully built after %1 builds").arg(*n));
            }
            if (!view.note.isEmpty()) {
                html += QStringLiteral("<div class=\"note\">%1</div>").arg(escaped(view.note));
            }
            html += QStringLiteral("</td>");
        }
        html += QStringLiteral("</tr>\n");
    }
    html += QStringLiteral("</tbody>\n</table>\n</body>\n</html>\n");
    return html;
}

} // namespace showcheck
