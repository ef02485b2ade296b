#include "presentation_automation/host/service/protocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <array>
#include <cmath>
#include <initializer_list>

namespace pa::host {

std::optional<std::int64_t> jsonInteger(const QJsonValue &v, double low, double high)
{
    if (!v.isDouble()) {
        return std::nullopt;
    }
    const double d = v.toDouble();
    if (!std::isfinite(d) || d != std::floor(d) || d < low || d > high) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(d);
}

namespace {

enum Field : unsigned
{
    FPres = 1u << 0,
    FSlide = 1u << 1,
    FFlag = 1u << 2,
    FPoints = 1u << 3,
    FPath = 1u << 4,
    FFilter = 1u << 5,
    FSize = 1u << 6,
    FSlides = 1u << 7,
};

struct OpInfo
{
    Op op;
    const char *name;
    unsigned fields;
};

constexpr std::array<OpInfo, 27> ops{{
    {Op::Hello, "hello", 0},
    {Op::SetVisible, "setVisible", FFlag},
    {Op::Open, "open", FPath},
    {Op::ActivePresentation, "activePresentation", 0},
    {Op::Run, "run", FPres},
    {Op::CheckShow, "checkShow", FPres},
    {Op::SetLeft, "setLeft", FPres | FPoints},
    {Op::SetTop, "setTop", FPres | FPoints},
    {Op::SetWidth, "setWidth", FPres | FPoints},
    {Op::Activate, "activate", FPres},
    {Op::Next, "next", FPres},
    {Op::Previous, "previous", FPres},
    {Op::GotoSlide, "gotoSlide", FPres | FSlide | FFlag},
    {Op::CurrentSlide, "currentSlide", FPres},
    {Op::SlideCount, "slideCount", FPres},
    {Op::CheckSlide, "checkSlide", FPres | FSlide},
    {Op::Export, "export", FPres | FSlide | FPath | FFilter | FSize},
    {Op::Status, "status", 0},
    {Op::Quit, "quit", 0},
    {Op::SlideBuilds, "slideBuilds", FPres | FSlide},
    {Op::ImportReport, "importReport", FPres},
    {Op::Prepare, "prepare", FPres | FSlides},
    {Op::ExportHeld, "exportHeld", FPres | FSlide | FPath | FFilter | FSize},
    {Op::SetViewState, "setViewState", FPres | FFlag},
    {Op::ViewState, "viewState", FPres},
    {Op::CurrentBuild, "currentBuild", FPres},
    {Op::MediaState, "mediaState", FPres},
}};

const OpInfo &info(Op op)
{
    return ops.at(static_cast<size_t>(op));
}

std::optional<std::int32_t> int32(const QJsonValue &v)
{
    auto i = jsonInteger(v, -2147483648.0, 2147483647.0);
    if (!i) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(*i);
}

bool onlyKeys(const QJsonObject &o, std::initializer_list<const char *> allowed)
{
    for (auto it = o.begin(); it != o.end(); ++it) {
        bool known = false;
        for (const char *k : allowed) {
            if (it.key() == QLatin1String(k)) {
                known = true;
                break;
            }
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

std::optional<QJsonObject> object(const QByteArray &payload)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        return std::nullopt;
    }
    return doc.object();
}

} // namespace

const char *opName(Op op)
{
    return info(op).name;
}

Reply Reply::success(std::int64_t value, const QString &text)
{
    Reply r;
    r.value = value;
    r.text = text;
    return r;
}

Reply Reply::failure(const QString &source, const QString &description)
{
    Reply r;
    r.ok = false;
    r.source = source;
    r.description = description;
    return r;
}

QByteArray encodeRequest(const Request &request)
{
    const unsigned f = info(request.op).fields;
    QJsonObject o;
    o.insert(QStringLiteral("op"), QLatin1String(info(request.op).name));
    if (f & FPres) {
        o.insert(QStringLiteral("pres"), static_cast<double>(request.pres));
    }
    if (f & FSlide) {
        o.insert(QStringLiteral("slide"), request.slide);
    }
    if (f & FFlag) {
        o.insert(QStringLiteral("flag"), request.flag);
    }
    if (f & FPoints) {
        o.insert(QStringLiteral("points"), request.points);
    }
    if (f & FPath) {
        o.insert(QStringLiteral("path"), request.path);
    }
    if (f & FFilter) {
        o.insert(QStringLiteral("filter"), request.filter);
    }
    if (f & FSize) {
        o.insert(QStringLiteral("width"), request.width);
        o.insert(QStringLiteral("height"), request.height);
    }
    if (f & FSlides) {
        QJsonArray slides;
        for (std::int32_t slide : request.slides) {
            slides.append(slide);
        }
        o.insert(QStringLiteral("slides"), slides);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray encodeReply(const Reply &reply)
{
    QJsonObject o;
    o.insert(QStringLiteral("ok"), reply.ok);
    if (reply.ok) {
        o.insert(QStringLiteral("value"), static_cast<double>(reply.value));
        o.insert(QStringLiteral("text"), reply.text);
        if (!reply.session.isEmpty()) {
            o.insert(QStringLiteral("session"), reply.session);
        }
    } else {
        o.insert(QStringLiteral("source"), reply.source);
        o.insert(QStringLiteral("description"), reply.description);
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<Request> decodeRequest(const QByteArray &payload)
{
    const auto o = object(payload);
    if (!o || !o->value(QStringLiteral("op")).isString()) {
        return std::nullopt;
    }
    const QString name = o->value(QStringLiteral("op")).toString();
    const OpInfo *found = nullptr;
    for (const auto &candidate : ops) {
        if (name == QLatin1String(candidate.name)) {
            found = &candidate;
            break;
        }
    }
    if (found == nullptr) {
        return std::nullopt;
    }
    const unsigned f = found->fields;
    // Exactly the fields of the operation: a missing or an extra one is a malformed message.
    int expectedKeys = 1;
    for (unsigned bit : {FPres, FSlide, FFlag, FPoints, FPath, FFilter, FSlides}) {
        expectedKeys += (f & bit) ? 1 : 0;
    }
    expectedKeys += (f & FSize) ? 2 : 0;
    if (o->size() != expectedKeys || !onlyKeys(*o, {"op", "pres", "slide", "flag", "points", "path",
                                                    "filter", "width", "height", "slides"})) {
        return std::nullopt;
    }

    Request r;
    r.op = found->op;
    if (f & FPres) {
        auto v = jsonInteger(o->value(QStringLiteral("pres")), 0, maxExactJsonInteger);
        if (!v) {
            return std::nullopt;
        }
        r.pres = *v;
    }
    if (f & FSlide) {
        auto v = int32(o->value(QStringLiteral("slide")));
        if (!v) {
            return std::nullopt;
        }
        r.slide = *v;
    }
    if (f & FFlag) {
        auto v = int32(o->value(QStringLiteral("flag")));
        if (!v) {
            return std::nullopt;
        }
        r.flag = *v;
    }
    if (f & FPoints) {
        const QJsonValue v = o->value(QStringLiteral("points"));
        if (!v.isDouble() || !std::isfinite(v.toDouble())) {
            return std::nullopt;
        }
        r.points = v.toDouble();
    }
    if (f & FPath) {
        const QJsonValue v = o->value(QStringLiteral("path"));
        if (!v.isString()) {
            return std::nullopt;
        }
        r.path = v.toString();
    }
    if (f & FFilter) {
        const QJsonValue v = o->value(QStringLiteral("filter"));
        if (!v.isString()) {
            return std::nullopt;
        }
        r.filter = v.toString();
    }
    if (f & FSize) {
        auto w = int32(o->value(QStringLiteral("width")));
        auto h = int32(o->value(QStringLiteral("height")));
        if (!w || !h) {
            return std::nullopt;
        }
        r.width = *w;
        r.height = *h;
    }
    if (f & FSlides) {
        const QJsonValue v = o->value(QStringLiteral("slides"));
        if (!v.isArray() || v.toArray().size() > maxPreparedSlides) {
            return std::nullopt;
        }
        for (const QJsonValue &slide : v.toArray()) {
            auto n = int32(slide);
            if (!n) {
                return std::nullopt;
            }
            r.slides.push_back(*n);
        }
    }
    return r;
}

std::optional<Reply> decodeReply(const QByteArray &payload)
{
    const auto o = object(payload);
    if (!o || !o->value(QStringLiteral("ok")).isBool()) {
        return std::nullopt;
    }
    Reply r;
    r.ok = o->value(QStringLiteral("ok")).toBool();
    if (r.ok) {
        const bool withSession = o->contains(QStringLiteral("session"));
        if (o->size() != (withSession ? 4 : 3) ||
            !onlyKeys(*o, {"ok", "value", "text", "session"})) {
            return std::nullopt;
        }
        auto v = jsonInteger(o->value(QStringLiteral("value")), -maxExactJsonInteger,
                             maxExactJsonInteger);
        const QJsonValue text = o->value(QStringLiteral("text"));
        const QJsonValue session = o->value(QStringLiteral("session"));
        if (!v || !text.isString() || (withSession && !session.isString())) {
            return std::nullopt;
        }
        r.value = *v;
        r.text = text.toString();
        r.session = session.toString();
    } else {
        if (o->size() != 3 || !onlyKeys(*o, {"ok", "source", "description"})) {
            return std::nullopt;
        }
        const QJsonValue source = o->value(QStringLiteral("source"));
        const QJsonValue description = o->value(QStringLiteral("description"));
        if (!source.isString() || !description.isString()) {
            return std::nullopt;
        }
        r.source = source.toString();
        r.description = description.toString();
    }
    return r;
}

QByteArray frame(const QByteArray &payload)
{
    QByteArray out(4, Qt::Uninitialized);
    qToBigEndian(static_cast<quint32>(payload.size()), out.data());
    out.append(payload);
    return out;
}

void FrameReader::append(const QByteArray &bytes)
{
    if (m_failed) {
        return;
    }
    // Frames already handed out are dropped here, in one move, not one move per frame.
    if (m_start > 0) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
    m_buffer.append(bytes);
}

std::optional<QByteArray> FrameReader::next()
{
    if (m_failed || buffered() < 4) {
        return std::nullopt;
    }
    const quint32 length = qFromBigEndian<quint32>(m_buffer.constData() + m_start);
    if (length > maxFrameBytes) {
        m_failed = true;
        m_buffer.clear();
        m_start = 0;
        return std::nullopt;
    }
    if (static_cast<quint64>(buffered()) < 4ull + length) {
        return std::nullopt;
    }
    QByteArray payload = m_buffer.mid(m_start + 4, static_cast<qsizetype>(length));
    m_start += 4 + static_cast<qsizetype>(length);
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    }
    return payload;
}

} // namespace pa::host
