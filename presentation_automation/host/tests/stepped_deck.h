#pragma once

// Decks with builds, transitions and timings, written as flat OpenDocument (.fodp) text and
// saved by LibreOffice as the .pptx or .odp a user would bring. Every text is distinct, so a
// page's text tells which state of which slide it is. Each title carries slide number and
// count fields, and the master's slide number (last in a page's text) is shown on every slide.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <vector>

namespace pa::host::testing {

struct FlatSlide
{
    QString title;
    QStringList bullets;
    bool bulletsOnClick = false; // one paragraph per click
    bool bulletsFade = false;    // each fades in, instead of appearing at once
    bool pictureOnClick = false; // a red square, on the click after the bullets
    // A caption that follows the picture on its own this long after it (after-previous).
    double captionDelay = -1;
    QString transition; // "fade", "push" or empty
    double advanceAfter = 0;
    bool hidden = false;
    bool titleSpins = false; // an emphasis on click
    // The title spins when clicked itself (a trigger), which the host does not play.
    bool titleTrigger = false;
    // Shapes of its own (ODF drawing elements) and, each a click, the groups that animate them.
    QString shapes;
    QStringList clicks;
};

namespace detail {

inline QString drawingPageStyle(int index, const FlatSlide &s)
{
    // Every slide shows the master's slide number.
    QString props = QStringLiteral(" presentation:display-page-number=\"true\"");
    if (s.transition == QLatin1String("fade")) {
        props += QStringLiteral(" smil:type=\"fade\" smil:subtype=\"crossfade\" "
                                "presentation:transition-speed=\"medium\"");
    } else if (s.transition == QLatin1String("push")) {
        props += QStringLiteral(" smil:type=\"pushWipe\" smil:subtype=\"fromRight\" "
                                "presentation:transition-speed=\"fast\"");
    }
    if (s.advanceAfter > 0) {
        props += QStringLiteral(" presentation:transition-type=\"automatic\" "
                                "presentation:duration=\"PT%1S\"")
                     .arg(s.advanceAfter);
    }
    if (s.hidden) {
        props += QStringLiteral(" presentation:visibility=\"hidden\"");
    }
    return QStringLiteral("<style:style style:name=\"dp%1\" style:family=\"drawing-page\">"
                          "<style:drawing-page-properties%2/></style:style>\n")
        .arg(index)
        .arg(props);
}

// One effect that makes target visible, as its own step (click) or after the one before.
inline QString appear(const QString &target, bool click, double delay)
{
    const QString effect =
        QStringLiteral(
            "<anim:par smil:begin=\"%1s\" smil:fill=\"hold\" presentation:node-type=\"%2\" "
            "presentation:preset-class=\"entrance\" "
            "presentation:preset-id=\"ooo-entrance-appear\"><anim:set smil:begin=\"0s\" "
            "smil:dur=\"0.001s\" smil:fill=\"hold\" smil:targetElement=\"%3\" "
            "smil:attributeName=\"visibility\" smil:to=\"visible\"/></anim:par>")
            .arg(click ? 0.0 : delay)
            .arg(click ? QStringLiteral("on-click") : QStringLiteral("after-previous"), target);
    return effect;
}

// A rectangle filled with colour ("red", "green" or "blue"), x, y and size in cm.
inline QString box(const QString &id, double x, double y, double w, double h, const QString &colour)
{
    return QStringLiteral("<draw:custom-shape xml:id=\"%1\" draw:id=\"%1\" draw:style-name=\"%2\" "
                          "svg:x=\"%3cm\" svg:y=\"%4cm\" svg:width=\"%5cm\" svg:height=\"%6cm\">"
                          "<draw:enhanced-geometry svg:viewBox=\"0 0 21600 21600\" "
                          "draw:type=\"rectangle\" draw:enhanced-path=\"M 0 0 L 21600 0 21600 "
                          "21600 0 21600 0 0 Z N\"/></draw:custom-shape>\n")
        .arg(id, colour)
        .arg(x)
        .arg(y)
        .arg(w)
        .arg(h);
}

// One effect: node is "on-click", "with-previous" or "after-previous"; body its timed parts;
// attributes more of its own (timing).
inline QString effect(const QString &node, const QString &presetClass, const QString &preset,
                      const QString &subtype, const QString &body, const QString &attributes = {})
{
    return QStringLiteral("<anim:par smil:begin=\"0s\" smil:fill=\"hold\" "
                          "presentation:node-type=\"%1\" presentation:preset-class=\"%2\" "
                          "presentation:preset-id=\"%3\"%4%5>%6</anim:par>")
        .arg(node, presetClass, preset,
             subtype.isEmpty()
                 ? QString()
                 : QStringLiteral(" presentation:preset-sub-type=\"%1\"").arg(subtype),
             attributes, body);
}

inline QString show(const QString &target, bool visible = true, double at = 0)
{
    return QStringLiteral("<anim:set smil:begin=\"%1s\" smil:dur=\"0.001s\" smil:fill=\"hold\" "
                          "smil:targetElement=\"%2\" smil:attributeName=\"visibility\" "
                          "smil:to=\"%3\"/>")
        .arg(at)
        .arg(target, visible ? QStringLiteral("visible") : QStringLiteral("hidden"));
}

inline QString fade(const QString &target, double seconds, bool out = false)
{
    return QStringLiteral("<anim:transitionFilter smil:dur=\"%1s\" smil:targetElement=\"%2\" "
                          "smil:type=\"fade\" smil:subtype=\"crossfade\"%3/>")
        .arg(seconds)
        .arg(target, out ? QStringLiteral(" smil:mode=\"out\"") : QString());
}

// Click groups: each a list of (begin in seconds, effects that start together).
inline QString clickGroup(const std::vector<std::pair<double, QStringList>> &parts)
{
    QString out;
    for (const auto &[begin, effects] : parts) {
        out += QStringLiteral("<anim:par smil:begin=\"%1s\">%2</anim:par>")
                   .arg(begin)
                   .arg(effects.join(QString()));
    }
    return out;
}

inline QString page(int index, const FlatSlide &s)
{
    const QString id = QStringLiteral("s%1").arg(index);
    const QString title = id + QStringLiteral("title");
    QString shapes =
        QStringLiteral("<draw:frame xml:id=\"%2\" draw:id=\"%2\" draw:style-name=\"plain\" "
                       "svg:x=\"1cm\" svg:y=\"1cm\" svg:width=\"26cm\" svg:height=\"3cm\">"
                       "<draw:text-box><text:p>%1 (slide <text:page-number>1</text:page-number> "
                       "of <text:page-count>1</text:page-count>)</text:p></draw:text-box>"
                       "</draw:frame>\n")
            .arg(s.title.toHtmlEscaped(), title);
    QStringList clicks; // each: the click group's inner parts
    if (!s.bullets.isEmpty()) {
        shapes +=
            QStringLiteral("<draw:frame draw:style-name=\"plain\" svg:x=\"1cm\" svg:y=\"4.5cm\" "
                           "svg:width=\"26cm\" svg:height=\"8cm\"><draw:text-box>"
                           "<text:list text:style-name=\"bullets\">");
        for (int b = 0; b < s.bullets.size(); ++b) {
            const QString pid = QStringLiteral("%1b%2").arg(id).arg(b);
            shapes += QStringLiteral("<text:list-item><text:p xml:id=\"%1\">%2</text:p>"
                                     "</text:list-item>")
                          .arg(pid, s.bullets[b].toHtmlEscaped());
            if (s.bulletsOnClick && s.bulletsFade) {
                clicks << clickGroup(
                    {{0,
                      {effect(QStringLiteral("on-click"), QStringLiteral("entrance"),
                              QStringLiteral("ooo-entrance-fade-in"), {},
                              show(pid) + fade(pid, 0.5))}}});
            } else if (s.bulletsOnClick) {
                clicks << QStringLiteral("<anim:par smil:begin=\"0s\">%1</anim:par>")
                              .arg(appear(pid, true, 0));
            }
        }
        shapes += QStringLiteral("</text:list></draw:text-box></draw:frame>\n");
    }
    if (s.pictureOnClick) {
        const QString pic = id + QStringLiteral("pic");
        // An 8 by 8 PNG, all red.
        shapes +=
            QStringLiteral(
                "<draw:frame xml:id=\"%1\" draw:id=\"%1\" svg:x=\"1cm\" svg:y=\"13cm\" "
                "svg:width=\"6cm\" svg:height=\"6cm\"><draw:image><office:binary-data>"
                "iVBORw0KGgoAAAANSUhEUgAAAAgAAAAICAIAAABLbSncAAAAEUlEQVR4nGO4oKCAFTEMLQkAvk5EAfj"
                "oixEAAAAASUVORK5CYII=</office:binary-data></draw:image></draw:frame>\n")
                .arg(pic);
        QString group =
            QStringLiteral("<anim:par smil:begin=\"0s\">%1</anim:par>").arg(appear(pic, true, 0));
        if (s.captionDelay >= 0) {
            const QString caption = id + QStringLiteral("cap");
            shapes +=
                QStringLiteral("<draw:frame xml:id=\"%1\" draw:id=\"%1\" "
                               "draw:style-name=\"plain\" svg:x=\"8cm\" svg:y=\"14cm\" "
                               "svg:width=\"19cm\" svg:height=\"3cm\"><draw:text-box>"
                               "<text:p>Caption of %2</text:p></draw:text-box></draw:frame>\n")
                    .arg(caption, s.title.toHtmlEscaped());
            group += QStringLiteral("<anim:par smil:begin=\"0.001s\">%1</anim:par>")
                         .arg(appear(caption, false, s.captionDelay));
        }
        clicks << group;
    }
    if (s.titleSpins) {
        clicks << QStringLiteral(
                      "<anim:par smil:begin=\"0s\"><anim:par smil:begin=\"0s\" smil:fill=\"hold\" "
                      "presentation:node-type=\"on-click\" presentation:preset-class=\"emphasis\" "
                      "presentation:preset-id=\"ooo-emphasis-spin\"><anim:animateTransform "
                      "smil:dur=\"1s\" smil:fill=\"hold\" smil:targetElement=\"%1\" "
                      "svg:type=\"rotate\" smil:by=\"360\"/></anim:par></anim:par>")
                      .arg(title);
    }
    shapes += s.shapes;
    clicks << s.clicks;
    QString timing;
    if (!clicks.isEmpty() || s.titleTrigger) {
        timing = QStringLiteral("<anim:par presentation:node-type=\"timing-root\">"
                                "<anim:seq presentation:node-type=\"main-sequence\">");
        for (const QString &c : clicks) {
            timing += QStringLiteral("<anim:par smil:begin=\"next\">%1</anim:par>").arg(c);
        }
        timing += QStringLiteral("</anim:seq>");
        if (s.titleTrigger) {
            timing +=
                QStringLiteral(
                    "<anim:seq smil:begin=\"%1.click\" smil:end=\"%1.click\" "
                    "presentation:node-type=\"interactive-sequence\"><anim:par "
                    "smil:begin=\"0s\"><anim:par smil:begin=\"0s\">%2</anim:par></anim:par>"
                    "</anim:seq>")
                    .arg(title, effect(QStringLiteral("on-click"), QStringLiteral("emphasis"),
                                       QStringLiteral("ooo-emphasis-spin"), {},
                                       QStringLiteral("<anim:animateTransform smil:dur=\"1s\" "
                                                      "smil:fill=\"hold\" "
                                                      "smil:targetElement=\"%1\" "
                                                      "smil:by=\"360\" svg:type=\"rotate\"/>")
                                           .arg(title)));
        }
        timing += QStringLiteral("</anim:par>\n");
    }
    return QStringLiteral("<draw:page draw:name=\"%1\" draw:style-name=\"dp%2\" "
                          "draw:master-page-name=\"Default\">\n%3%4</draw:page>\n")
        .arg(id)
        .arg(index)
        .arg(shapes, timing);
}

} // namespace detail

// Where the effects slide puts its boxes, in cm of its 28 by 21 cm page.
struct EffectBox
{
    const char *id;
    double x, y, w, h;
    const char *colour; // its style: "red", "green" or "blue", pure
    unsigned rgb;
};
inline const EffectBox effectBoxes[] = {
    {"fxA", 1, 13, 4, 3, "red", 0xff0000},    {"fxB", 6, 13, 4, 3, "blue", 0x0000ff},
    {"fxC", 11, 13, 4, 3, "green", 0x00ff00}, {"fxD", 16, 13, 4, 3, "red", 0xff0000},
    {"fxE", 1, 17, 3, 3, "blue", 0x0000ff},
};
// The fill C's emphasis gives it.
constexpr unsigned effectRecolour = 0x0000ff;
// How far the motion path moves box E, in fractions of the page.
constexpr double effectPathX = 0.25;

// One slide of effects, each click one step: A fades in (0.5 s); B flies in from the left and
// C wipes in from the bottom after it (0.5 s later); D fades out; A spins 360 degrees with B
// growing to 1.5; E follows a path a quarter of the page right (2 s, slowing down half of it);
// the second paragraph of a text fades in; C's fill turns blue (2 s).
inline FlatSlide effectSlide()
{
    using namespace detail;
    FlatSlide s;
    s.title = QStringLiteral("Effects");
    for (const EffectBox &b : effectBoxes) {
        s.shapes += box(QLatin1String(b.id), b.x, b.y, b.w, b.h, QLatin1String(b.colour));
    }
    s.shapes +=
        QStringLiteral("<draw:frame draw:style-name=\"plain\" svg:x=\"1cm\" svg:y=\"4.5cm\" "
                       "svg:width=\"26cm\" svg:height=\"8cm\"><draw:text-box>"
                       "<text:p xml:id=\"fxP0\">Standing paragraph</text:p>"
                       "<text:p xml:id=\"fxP1\">Arriving paragraph</text:p>"
                       "</draw:text-box></draw:frame>\n");
    const QString a = QStringLiteral("fxA"), b = QStringLiteral("fxB"), c = QStringLiteral("fxC"),
                  d = QStringLiteral("fxD"), e = QStringLiteral("fxE");
    const QString click = QStringLiteral("on-click");
    s.clicks << clickGroup(
        {{0,
          {effect(click, QStringLiteral("entrance"), QStringLiteral("ooo-entrance-fade-in"), {},
                  show(a) + fade(a, 0.5))}}});
    const QString fly =
        QStringLiteral(
            "<anim:animate smil:dur=\"0.5s\" smil:fill=\"hold\" smil:targetElement=\"%1\" "
            "smil:attributeName=\"x\" smil:values=\"0-width/2;x\" smil:keyTimes=\"0;1\" "
            "presentation:additive=\"base\"/><anim:animate smil:dur=\"0.5s\" "
            "smil:fill=\"hold\" smil:targetElement=\"%1\" smil:attributeName=\"y\" "
            "smil:values=\"y;y\" smil:keyTimes=\"0;1\" presentation:additive=\"base\"/>")
            .arg(b);
    const QString wipe =
        QStringLiteral("<anim:transitionFilter smil:dur=\"0.5s\" smil:targetElement=\"%1\" "
                       "smil:type=\"barWipe\" smil:subtype=\"topToBottom\" "
                       "smil:direction=\"reverse\"/>")
            .arg(c);
    s.clicks << clickGroup(
        {{0,
          {effect(click, QStringLiteral("entrance"), QStringLiteral("ooo-entrance-fly-in"),
                  QStringLiteral("from-left"), show(b) + fly)}},
         {0.5,
          {effect(QStringLiteral("after-previous"), QStringLiteral("entrance"),
                  QStringLiteral("ooo-entrance-wipe"), QStringLiteral("from-bottom"),
                  show(c) + wipe)}}});
    s.clicks << clickGroup(
        {{0,
          {effect(click, QStringLiteral("exit"), QStringLiteral("ooo-exit-fade-out"), {},
                  fade(d, 0.5, true) + show(d, false, 0.499))}}});
    s.clicks << clickGroup(
        {{0,
          {effect(click, QStringLiteral("emphasis"), QStringLiteral("ooo-emphasis-spin"), {},
                  QStringLiteral("<anim:animateTransform smil:dur=\"1s\" smil:fill=\"hold\" "
                                 "smil:targetElement=\"%1\" smil:by=\"360\" svg:type=\"rotate\"/>")
                      .arg(a)),
           effect(QStringLiteral("with-previous"), QStringLiteral("emphasis"),
                  QStringLiteral("ooo-emphasis-grow-and-shrink"), {},
                  QStringLiteral("<anim:animateTransform smil:dur=\"0.5s\" smil:fill=\"hold\" "
                                 "smil:targetElement=\"%1\" smil:to=\"1.5,1.5\" "
                                 "svg:type=\"scale\"/>")
                      .arg(b))}}});
    s.clicks << clickGroup(
        {{0,
          {effect(click, QStringLiteral("motion-path"), QStringLiteral("ooo-motionpath-right"), {},
                  QStringLiteral("<anim:animateMotion smil:dur=\"2s\" smil:fill=\"hold\" "
                                 "smil:targetElement=\"%1\" svg:path=\"M 0 0 L %2 0\" "
                                 "presentation:additive=\"sum\"/>")
                      .arg(e)
                      .arg(effectPathX),
                  QStringLiteral(" smil:decelerate=\"0.5\""))}}});
    const QString p1 = QStringLiteral("fxP1");
    s.clicks << clickGroup(
        {{0,
          {effect(click, QStringLiteral("entrance"), QStringLiteral("ooo-entrance-fade-in"), {},
                  show(p1) + fade(p1, 0.5))}}});
    s.clicks << clickGroup(
        {{0,
          {effect(click, QStringLiteral("emphasis"), QStringLiteral("ooo-emphasis-fill-color"), {},
                  QStringLiteral("<anim:animateColor smil:dur=\"2s\" smil:fill=\"hold\" "
                                 "smil:targetElement=\"%1\" smil:attributeName=\"fill-color\" "
                                 "smil:to=\"#%2\" anim:color-interpolation=\"rgb\" "
                                 "anim:color-interpolation-direction=\"clockwise\"/>")
                      .arg(c)
                      .arg(effectRecolour, 6, 16, QLatin1Char('0')))}}});
    return s;
}

inline QByteArray flatDeckText(const std::vector<FlatSlide> &slides, bool loop = false)
{
    QString pageStyles;
    QString pages;
    for (size_t i = 0; i < slides.size(); ++i) {
        pageStyles += detail::drawingPageStyle(static_cast<int>(i) + 1, slides[i]);
        pages += detail::page(static_cast<int>(i) + 1, slides[i]);
    }
    return QString::fromUtf8(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<office:document "
               "xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\"\n"
               " xmlns:style=\"urn:oasis:names:tc:opendocument:xmlns:style:1.0\"\n"
               " xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\"\n"
               " xmlns:draw=\"urn:oasis:names:tc:opendocument:xmlns:drawing:1.0\"\n"
               " xmlns:fo=\"urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0\"\n"
               " xmlns:xlink=\"http://www.w3.org/1999/xlink\"\n"
               " xmlns:svg=\"urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0\"\n"
               " xmlns:presentation=\"urn:oasis:names:tc:opendocument:xmlns:presentation:1.0\"\n"
               " xmlns:smil=\"urn:oasis:names:tc:opendocument:xmlns:smil-compatible:1.0\"\n"
               " xmlns:anim=\"urn:oasis:names:tc:opendocument:xmlns:animation:1.0\"\n"
               " office:version=\"1.2\" "
               "office:mimetype=\"application/vnd.oasis.opendocument.presentation\">\n"
               " <office:styles>\n"
               "  <style:style style:name=\"red\" "
               "style:family=\"graphic\"><style:graphic-properties "
               "draw:fill=\"solid\" draw:fill-color=\"#ff0000\" "
               "draw:stroke=\"none\"/></style:style>\n"
               "  <style:style style:name=\"green\" "
               "style:family=\"graphic\"><style:graphic-properties "
               "draw:fill=\"solid\" draw:fill-color=\"#00ff00\" "
               "draw:stroke=\"none\"/></style:style>\n"
               "  <style:style style:name=\"blue\" "
               "style:family=\"graphic\"><style:graphic-properties "
               "draw:fill=\"solid\" draw:fill-color=\"#0000ff\" "
               "draw:stroke=\"none\"/></style:style>\n"
               "  <style:style style:name=\"plain\" style:family=\"graphic\">\n"
               "   <style:graphic-properties draw:fill=\"none\" draw:stroke=\"none\"/>\n"
               "   <style:text-properties fo:font-size=\"28pt\" fo:color=\"#000000\"/>\n"
               "  </style:style>\n"
               " </office:styles>\n"
               " <office:automatic-styles>\n"
               "  <style:page-layout style:name=\"PM1\">\n"
               "   <style:page-layout-properties fo:margin-top=\"0cm\" fo:margin-bottom=\"0cm\" "
               "fo:margin-left=\"0cm\"\n"
               "    fo:margin-right=\"0cm\" fo:page-width=\"28cm\" fo:page-height=\"21cm\" "
               "style:print-orientation=\"landscape\"/>\n"
               "  </style:page-layout>\n"
               "  <text:list-style style:name=\"bullets\">\n"
               "   <text:list-level-style-bullet text:level=\"1\" text:bullet-char=\"&#x25CF;\">\n"
               "    <style:list-level-properties text:space-before=\"0.6cm\" "
               "text:min-label-width=\"0.9cm\"/>\n"
               "   </text:list-level-style-bullet>\n"
               "  </text:list-style>\n"
               "%1 </office:automatic-styles>\n"
               " <office:master-styles>\n"
               "  <style:master-page style:name=\"Default\" style:page-layout-name=\"PM1\">\n"
               "   <draw:frame presentation:class=\"page-number\" draw:style-name=\"plain\" "
               "svg:x=\"22cm\" svg:y=\"19cm\" svg:width=\"5cm\" svg:height=\"1.5cm\">"
               "<draw:text-box><text:p><text:page-number>&lt;number&gt;</text:page-number>"
               "</text:p></draw:text-box></draw:frame>\n"
               "  </style:master-page>\n"
               " </office:master-styles>\n"
               " <office:body>\n"
               "  <office:presentation>\n"
               "%2<presentation:settings presentation:endless=\"%3\"/>\n"
               "  </office:presentation>\n"
               " </office:body>\n"
               "</office:document>\n")
        .arg(pageStyles, pages, loop ? QStringLiteral("true") : QStringLiteral("false"))
        .toUtf8();
}

// Slide 1: four bullets, one per click, appearing. Slide 2: a picture on click, then its
// caption on its own half a second later, pushed in. Slide 3 leaves after 1 s, and its title
// spins when clicked; slide 4 is hidden; slide 5 fades in, and its title spins on a click.
inline std::vector<FlatSlide> steppedSlides()
{
    std::vector<FlatSlide> s(5);
    s[0].title = QStringLiteral("Agenda");
    s[0].bullets = {QStringLiteral("Alpha point"), QStringLiteral("Bravo point"),
                    QStringLiteral("Charlie point"), QStringLiteral("Delta point")};
    s[0].bulletsOnClick = true;
    s[0].transition = QStringLiteral("fade");
    s[1].title = QStringLiteral("Picture");
    s[1].pictureOnClick = true;
    s[1].captionDelay = 0.5;
    s[1].transition = QStringLiteral("push");
    s[2].title = QStringLiteral("Timed");
    s[2].advanceAfter = 1;
    s[2].titleTrigger = true;
    s[3].title = QStringLiteral("Hidden");
    s[3].hidden = true;
    s[4].title = QStringLiteral("Closing");
    s[4].transition = QStringLiteral("fade");
    s[4].titleSpins = true;
    return s;
}

// slides slides of two on-click bullets each, every one fading in.
inline std::vector<FlatSlide> largeSteppedSlides(int slides)
{
    std::vector<FlatSlide> out;
    for (int i = 1; i <= slides; ++i) {
        FlatSlide s;
        s.title = QStringLiteral("Slide %1").arg(i);
        s.bullets = {QStringLiteral("First of %1").arg(i), QStringLiteral("Second of %1").arg(i)};
        s.bulletsOnClick = true;
        s.bulletsFade = true;
        s.transition = QStringLiteral("fade");
        out.push_back(s);
    }
    return out;
}

// Writes text as dir/name.fodp and has LibreOffice save it as dir/name.format ("pptx", "odp");
// the path of the saved deck, or empty when LibreOffice did not make it.
inline QString saveDeckAs(const QString &soffice, const QByteArray &text, const QString &dir,
                          const QString &name, const QString &format)
{
    const QString flat = QDir(dir).filePath(name + QStringLiteral(".fodp"));
    QFile out(flat);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size()) {
        return {};
    }
    out.close();
    const QString made = QDir(dir).filePath(QStringLiteral("made-") + format);
    QProcess office;
    office.start(
        soffice,
        {QStringLiteral("-env:UserInstallation=") +
             QUrl::fromLocalFile(QDir(dir).filePath(QStringLiteral("profile-save"))).toString(),
         QStringLiteral("--headless"), QStringLiteral("--convert-to"), format,
         QStringLiteral("--outdir"), made, flat});
    if (!office.waitForFinished(180000)) {
        office.kill();
        office.waitForFinished();
        return {};
    }
    const QString path = QDir(made).filePath(name + QLatin1Char('.') + format);
    return QFileInfo::exists(path) ? path : QString();
}

} // namespace pa::host::testing
