#include "presentation_automation/host/service/journal.h"

#include "presentation_automation/automation.h"
#include "presentation_automation/host/service/picture_file.h"
#include "presentation_automation/host/service/protocol.h"
#include "presentation_automation/host/service/regular_file.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace pa::host {

namespace {

constexpr int journalVersion = 1;
// Ids beyond this are not something this host wrote.
constexpr double maxId = static_cast<double>(maxPresentationId);

// Absent is fine (never set); present must be a finite number within what a request allows.
bool placement(const QJsonObject &o, const char *key, std::optional<double> *out)
{
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) {
        return true;
    }
    if (!v.isDouble() || !std::isfinite(v.toDouble()) || std::abs(v.toDouble()) > 100000.0) {
        return false;
    }
    *out = v.toDouble();
    return true;
}

std::optional<JournalEntry> entryFrom(const QJsonValue &value)
{
    if (!value.isObject()) {
        return std::nullopt;
    }
    const QJsonObject o = value.toObject();
    JournalEntry e;
    const auto id = jsonInteger(o.value(QStringLiteral("id")), 1, maxId);
    const auto count = jsonInteger(o.value(QStringLiteral("slides")), 1, 1e9);
    const QJsonValue file = o.value(QStringLiteral("file"));
    const QJsonValue pdf = o.value(QStringLiteral("pdf"));
    const QJsonValue running = o.value(QStringLiteral("show"));
    if (!id || !count || !file.isString() || file.toString().isEmpty() || !pdf.isString() ||
        pdf.toString().isEmpty() || !running.isBool()) {
        return std::nullopt;
    }
    e.id = *id;
    e.slideCount = static_cast<int>(*count);
    e.file = file.toString();
    e.pdf = pdf.toString();
    e.showRunning = running.toBool();
    const QJsonValue touched = o.value(QStringLiteral("touched"));
    if (!touched.isUndefined()) {
        const auto secs = jsonInteger(touched, 0, maxId);
        if (!secs) {
            return std::nullopt;
        }
        e.touched = *secs;
    }
    if (e.showRunning) {
        const auto slide = jsonInteger(o.value(QStringLiteral("slide")), 1, *count);
        if (!slide) {
            return std::nullopt;
        }
        e.slide = static_cast<int>(*slide);
        // Checked against the deck when it is back; a damaged value only starts the slide over.
        e.step = static_cast<int>(jsonInteger(o.value(QStringLiteral("step")), 0, 1e9).value_or(0));
        // Written only for a show not running: one that cannot be read keeps the show covered
        // rather than showing its slide.
        const QJsonValue view = o.value(QStringLiteral("view"));
        if (!view.isUndefined()) {
            e.viewState =
                static_cast<std::int32_t>(jsonInteger(view, ppSlideShowRunning, ppSlideShowDone)
                                              .value_or(ppSlideShowBlackScreen));
        }
        if (!placement(o, "left", &e.left) || !placement(o, "top", &e.top) ||
            !placement(o, "width", &e.width) || (e.width && *e.width * 4.0 / 3.0 < 0.5)) {
            return std::nullopt;
        }
    }
    return e;
}

} // namespace

QByteArray encodeJournal(const JournalState &state)
{
    QJsonArray list;
    for (const JournalEntry &e : state.presentations) {
        QJsonObject o;
        o.insert(QStringLiteral("id"), static_cast<double>(e.id));
        o.insert(QStringLiteral("file"), e.file);
        o.insert(QStringLiteral("pdf"), e.pdf);
        o.insert(QStringLiteral("slides"), e.slideCount);
        o.insert(QStringLiteral("show"), e.showRunning);
        if (e.touched > 0) {
            o.insert(QStringLiteral("touched"), static_cast<double>(e.touched));
        }
        if (e.showRunning) {
            o.insert(QStringLiteral("slide"), e.slide);
            o.insert(QStringLiteral("step"), e.step);
            if (e.viewState != ppSlideShowRunning) {
                o.insert(QStringLiteral("view"), e.viewState);
            }
            if (e.left) {
                o.insert(QStringLiteral("left"), *e.left);
            }
            if (e.top) {
                o.insert(QStringLiteral("top"), *e.top);
            }
            if (e.width) {
                o.insert(QStringLiteral("width"), *e.width);
            }
        }
        list.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("version"), journalVersion);
    root.insert(QStringLiteral("session"), state.session);
    root.insert(QStringLiteral("nextId"), static_cast<double>(state.nextId));
    root.insert(QStringLiteral("active"), static_cast<double>(state.active));
    root.insert(QStringLiteral("presentations"), list);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<JournalState> decodeJournal(const QByteArray &text, QStringList *problems)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        problems->append(QStringLiteral("The journal is not readable."));
        return std::nullopt;
    }
    const QJsonObject root = doc.object();
    const auto version = jsonInteger(root.value(QStringLiteral("version")), 0, 1e9);
    if (version != journalVersion) {
        problems->append(QStringLiteral("The journal is of another version."));
        return std::nullopt;
    }
    JournalState state;
    const QJsonValue session = root.value(QStringLiteral("session"));
    const auto nextId = jsonInteger(root.value(QStringLiteral("nextId")), 0, maxId);
    const auto active = jsonInteger(root.value(QStringLiteral("active")), 0, maxId);
    const QJsonValue list = root.value(QStringLiteral("presentations"));
    if (!list.isArray()) {
        problems->append(QStringLiteral("The journal lists no presentations."));
        return std::nullopt;
    }
    // One bad value at the top costs that value, never the presentations.
    if (session.isString() && !session.toString().isEmpty()) {
        state.session = session.toString();
    } else {
        problems->append(QStringLiteral("The journal's session is not well formed; the "
                                        "programs are told it is a new one."));
    }
    if (nextId) {
        state.nextId = *nextId;
    } else {
        problems->append(QStringLiteral("The journal's next id is not well formed; new ids "
                                        "follow the largest one in it."));
    }
    if (active) {
        state.active = *active;
    } else {
        problems->append(QStringLiteral("The journal's active presentation is not well formed."));
    }
    for (const QJsonValue &v : list.toArray()) {
        auto entry = entryFrom(v);
        const bool duplicate =
            entry && std::any_of(state.presentations.begin(), state.presentations.end(),
                                 [&](const JournalEntry &e) { return e.id == entry->id; });
        if (!entry || duplicate) {
            problems->append(QStringLiteral("A presentation in the journal is not well formed: %1")
                                 .arg(QString::fromUtf8(
                                     QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact))));
            continue;
        }
        // New ids must never reuse a journaled one.
        state.nextId = std::max(state.nextId, entry->id);
        state.presentations.push_back(*entry);
    }
    return state;
}

QString Journal::save(const JournalState &state) const
{
    // A host that dies mid-write leaves the previous journal whole.
    const QByteArray text = encodeJournal(state);
    return replaceFile(m_path, [&](QFileDevice &file) {
        return file.write(text) == text.size() ? QString() : file.errorString();
    });
}

std::optional<JournalState> Journal::load(QStringList *problems) const
{
    if (!QFile::exists(m_path)) {
        return std::nullopt;
    }
    QString why;
    const auto text = readRegularFile(m_path, maxJournalBytes, 5000, &why);
    if (!text) {
        problems->append(
            QStringLiteral("The journal %1 %2; it is not used.").arg(oneLine(m_path), why));
        return std::nullopt;
    }
    return decodeJournal(*text, problems);
}

std::vector<std::int64_t> presentationsToForget(const std::vector<JournalEntry> &entries,
                                                std::int64_t nowSecs)
{
    std::vector<const JournalEntry *> idle;
    for (const JournalEntry &e : entries) {
        if (!e.showRunning) {
            idle.push_back(&e);
        }
    }
    // Most recently used first; of equals, the newer id.
    std::sort(idle.begin(), idle.end(), [](const JournalEntry *a, const JournalEntry *b) {
        return a->touched != b->touched ? a->touched > b->touched : a->id > b->id;
    });
    std::vector<std::int64_t> out;
    for (size_t i = 0; i < idle.size(); ++i) {
        const bool unusedLong =
            idle[i]->touched > 0 && nowSecs - idle[i]->touched > idleForgottenAfterSecs;
        if (i >= maxIdlePresentations || unusedLong) {
            out.push_back(idle[i]->id);
        }
    }
    return out;
}

bool Journal::carriesSession(const QString &session) const
{
    QString why;
    const auto text = readRegularFile(m_path, maxJournalBytes, 2000, &why);
    QStringList problems;
    const auto state = text ? decodeJournal(*text, &problems) : std::nullopt;
    return state && !session.isEmpty() && state->session == session;
}

void Journal::remove() const
{
    QFile::remove(m_path);
}

} // namespace pa::host
