#include "recording_automation.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <sstream>

namespace pa::testing {

namespace {

const char *const errorSource = "Presentation application";

std::string formatFloat(float value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

} // namespace

struct RecordingAutomation::State
{
    struct Failure
    {
        std::string op;
        std::string source;
        std::string description;
        int presId;
        int times;
    };

    std::vector<std::string> calls;
    std::vector<std::string> hints;
    std::vector<Failure> failures;
    std::map<std::string, int> slideCounts;
    std::map<std::string, std::vector<int>> builds;
    std::map<std::string, std::vector<std::string>> importReports;
    std::vector<PresentationState> presentations;
    bool visible = false;
    bool exportWritesFiles = true;
    bool stepsReveal = false;
    int active = 0;
    std::function<void(const std::string &)> onCall;

    void stepped(PresentationState &p) const
    {
        if (stepsReveal) {
            p.viewState = ppSlideShowRunning;
        }
    }

    void record(std::string text)
    {
        calls.push_back(std::move(text));
        if (onCall) {
            // Copies: the hook may record more calls or replace itself while it runs.
            const auto hook = onCall;
            const std::string call = calls.back();
            hook(call);
        }
    }

    void check(const std::string &op, int presId = 0)
    {
        for (auto &f : failures) {
            if (f.op != op || f.times == 0 || (f.presId != 0 && f.presId != presId)) {
                continue;
            }
            if (f.times > 0) {
                --f.times;
            }
            throw AutomationError(f.source, f.description);
        }
    }

    PresentationState &pres(int id) { return presentations.at(static_cast<size_t>(id - 1)); }

    PresentationState &runningShow(int id)
    {
        auto &p = pres(id);
        if (!p.showRunning) {
            throw AutomationError(errorSource,
                                  "SlideShowWindow : The presentation has no running slide show.");
        }
        return p;
    }
};

namespace {

using StatePtr = std::shared_ptr<RecordingAutomation::State>;

std::string presText(int id)
{
    return "pres " + std::to_string(id);
}

class RecSlide : public Slide
{
public:
    RecSlide(StatePtr s, int presId, int index)
        : m_s(std::move(s)), m_presId(presId), m_index(index)
    {}

    std::int32_t slideIndex() override
    {
        m_s->record("SlideIndex(" + presText(m_presId) + ", " + std::to_string(m_index) + ")");
        m_s->check("SlideIndex", m_presId);
        return m_index;
    }

    void exportTo(const std::string &fileName, const std::string &filterName, std::int32_t w,
                  std::int32_t h) override
    {
        m_s->record("Export(" + presText(m_presId) + ", " + std::to_string(m_index) + ", " +
                    fileName + ", " + filterName + ", " + std::to_string(w) + ", " +
                    std::to_string(h) + ")");
        m_s->check("Export", m_presId);
        if (!m_s->exportWritesFiles) {
            return;
        }
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(QColor::fromRgb(RecordingAutomation::colourFor(m_presId, m_index)));
        if (!image.save(QString::fromStdString(fileName), "JPG", 95)) {
            throw AutomationError(errorSource,
                                  "Slide.Export : The file could not be written: " + fileName);
        }
    }

    std::optional<std::int32_t> buildCount() override
    {
        m_s->record("BuildCount(" + presText(m_presId) + ", " + std::to_string(m_index) + ")");
        m_s->check("BuildCount", m_presId);
        const auto &builds = m_s->pres(m_presId).builds;
        if (!builds) {
            return std::nullopt;
        }
        const auto at = static_cast<size_t>(m_index - 1);
        return at < builds->size() ? (*builds)[at] : 0;
    }

private:
    StatePtr m_s;
    int m_presId;
    int m_index;
};

class RecSlides : public Slides
{
public:
    RecSlides(StatePtr s, int presId) : m_s(std::move(s)), m_presId(presId) {}

    std::int32_t count() override
    {
        m_s->record("SlidesCount(" + presText(m_presId) + ")");
        m_s->check("SlidesCount", m_presId);
        return m_s->pres(m_presId).slideCount;
    }

    std::shared_ptr<Slide> item(std::int32_t index) override
    {
        m_s->record("SlidesItem(" + presText(m_presId) + ", " + std::to_string(index) + ")");
        m_s->check("SlidesItem", m_presId);
        if (index < 1 || index > m_s->pres(m_presId).slideCount) {
            throw AutomationError(errorSource, "Slides.Item : Integer out of range. " +
                                                   std::to_string(index) +
                                                   " is not in the valid range.");
        }
        return std::make_shared<RecSlide>(m_s, m_presId, index);
    }

private:
    StatePtr m_s;
    int m_presId;
};

class RecView : public SlideShowView
{
public:
    RecView(StatePtr s, int presId) : m_s(std::move(s)), m_presId(presId) {}

    void next() override
    {
        m_s->record("Next(" + presText(m_presId) + ")");
        m_s->check("Next", m_presId);
        auto &p = m_s->runningShow(m_presId);
        if (p.currentSlide < p.slideCount) {
            ++p.currentSlide;
        }
        m_s->stepped(p);
    }

    void previous() override
    {
        m_s->record("Previous(" + presText(m_presId) + ")");
        m_s->check("Previous", m_presId);
        auto &p = m_s->runningShow(m_presId);
        if (p.currentSlide > 1) {
            --p.currentSlide;
        }
        m_s->stepped(p);
    }

    void gotoSlide(std::int32_t index, int resetSlide) override
    {
        m_s->record("GotoSlide(" + presText(m_presId) + ", " + std::to_string(index) + ", " +
                    std::to_string(resetSlide) + ")");
        m_s->check("GotoSlide", m_presId);
        auto &p = m_s->runningShow(m_presId);
        if (index < 1 || index > p.slideCount) {
            throw AutomationError(errorSource, "SlideShowView.GotoSlide : Integer out of range. " +
                                                   std::to_string(index) +
                                                   " is not in the valid range.");
        }
        p.currentSlide = index;
        m_s->stepped(p);
    }

    std::shared_ptr<Slide> slide() override
    {
        m_s->record("CurrentSlide(" + presText(m_presId) + ")");
        m_s->check("CurrentSlide", m_presId);
        return std::make_shared<RecSlide>(m_s, m_presId, m_s->runningShow(m_presId).currentSlide);
    }

    std::int32_t state() override
    {
        m_s->record("State(" + presText(m_presId) + ")");
        m_s->check("State", m_presId);
        return m_s->runningShow(m_presId).viewState;
    }

    void setState(std::int32_t state) override
    {
        m_s->record("SetState(" + presText(m_presId) + ", " + std::to_string(state) + ")");
        m_s->check("SetState", m_presId);
        if (state < ppSlideShowRunning || state > ppSlideShowDone) {
            throw AutomationError(errorSource, "SlideShowView.State : Integer out of range. " +
                                                   std::to_string(state) +
                                                   " is not in the valid range.");
        }
        m_s->runningShow(m_presId).viewState = state;
    }

private:
    StatePtr m_s;
    int m_presId;
};

class RecWindow : public SlideShowWindow
{
public:
    RecWindow(StatePtr s, int presId) : m_s(std::move(s)), m_presId(presId) {}

    void setLeft(float v) override { place("Left", v).left = v; }
    void setTop(float v) override { place("Top", v).top = v; }
    void setWidth(float v) override { place("Width", v).width = v; }

    void activate() override
    {
        m_s->record("Activate(" + presText(m_presId) + ")");
        m_s->check("Activate", m_presId);
        m_s->runningShow(m_presId);
        m_s->active = m_presId;
    }

    std::shared_ptr<SlideShowView> view() override
    {
        m_s->check("View", m_presId);
        m_s->runningShow(m_presId);
        return std::make_shared<RecView>(m_s, m_presId);
    }

private:
    PresentationState &place(const char *op, float v)
    {
        m_s->record(std::string(op) + "(" + presText(m_presId) + ", " + formatFloat(v) + ")");
        m_s->check(op, m_presId);
        return m_s->runningShow(m_presId);
    }

    StatePtr m_s;
    int m_presId;
};

class RecSettings : public SlideShowSettings
{
public:
    RecSettings(StatePtr s, int presId) : m_s(std::move(s)), m_presId(presId) {}

    void run() override
    {
        m_s->record("Run(" + presText(m_presId) + ")");
        m_s->check("Run", m_presId);
        auto &p = m_s->pres(m_presId);
        p.showRunning = true;
        p.currentSlide = 1;
        m_s->active = m_presId;
    }

private:
    StatePtr m_s;
    int m_presId;
};

class RecApplication;

class RecPresentation : public Presentation
{
public:
    RecPresentation(StatePtr s, int presId) : m_s(std::move(s)), m_presId(presId) {}

    int id() const { return m_presId; }

    std::shared_ptr<SlideShowSettings> slideShowSettings() override
    {
        m_s->check("SlideShowSettings", m_presId);
        return std::make_shared<RecSettings>(m_s, m_presId);
    }

    std::shared_ptr<SlideShowWindow> slideShowWindow() override
    {
        m_s->check("SlideShowWindow", m_presId);
        m_s->runningShow(m_presId);
        return std::make_shared<RecWindow>(m_s, m_presId);
    }

    std::shared_ptr<Slides> slides() override
    {
        m_s->check("Slides", m_presId);
        return std::make_shared<RecSlides>(m_s, m_presId);
    }

    std::shared_ptr<Application> application() override;

    std::optional<std::vector<std::string>> importReport() override
    {
        m_s->record("ImportReport(" + presText(m_presId) + ")");
        m_s->check("ImportReport", m_presId);
        return m_s->pres(m_presId).importReport;
    }

    void prepareSlides(const std::vector<std::int32_t> &slides) override
    {
        std::string text = "Prepare(" + presText(m_presId);
        for (size_t i = 0; i < slides.size(); ++i) {
            text += (i == 0 ? ": " : ", ") + std::to_string(slides[i]);
        }
        m_s->hints.push_back(text + ")");
    }

private:
    StatePtr m_s;
    int m_presId;
};

class RecPresentations : public Presentations
{
public:
    explicit RecPresentations(StatePtr s) : m_s(std::move(s)) {}

    std::shared_ptr<Presentation> open(const std::string &fileName, std::optional<int> readOnly,
                                       std::optional<int> untitled,
                                       std::optional<int> withWindow) override
    {
        std::string text = "Open(" + fileName;
        for (const auto &arg : {readOnly, untitled, withWindow}) {
            if (arg) {
                text += ", " + std::to_string(*arg);
            }
        }
        m_s->record(text + ")");
        m_s->check("Open");
        PresentationState p;
        p.id = static_cast<int>(m_s->presentations.size()) + 1;
        p.fileName = fileName;
        if (auto it = m_s->builds.find(fileName); it != m_s->builds.end()) {
            p.builds = it->second;
        }
        if (auto it = m_s->importReports.find(fileName); it != m_s->importReports.end()) {
            p.importReport = it->second;
        }
        if (auto it = m_s->slideCounts.find(fileName); it != m_s->slideCounts.end()) {
            p.slideCount = it->second;
        }
        m_s->presentations.push_back(p);
        m_s->active = p.id;
        return std::make_shared<RecPresentation>(m_s, p.id);
    }

private:
    StatePtr m_s;
};

class RecApplication : public Application
{
public:
    explicit RecApplication(StatePtr s) : m_s(std::move(s)) {}

    void setVisible(int visible) override
    {
        m_s->record("Visible(" + std::to_string(visible) + ")");
        m_s->check("Visible");
        m_s->visible = visible != 0;
    }

    std::shared_ptr<Presentations> presentations() override
    {
        m_s->check("Presentations");
        return std::make_shared<RecPresentations>(m_s);
    }

    std::shared_ptr<Presentation> activePresentation() override
    {
        m_s->record("ActivePresentation()");
        m_s->check("ActivePresentation");
        if (m_s->active == 0) {
            throw AutomationError(
                errorSource, "Application.ActivePresentation : No presentation is currently open.");
        }
        return std::make_shared<RecPresentation>(m_s, m_s->active);
    }

private:
    StatePtr m_s;
};

std::shared_ptr<Application> RecPresentation::application()
{
    m_s->check("Application", m_presId);
    return std::make_shared<RecApplication>(m_s);
}

} // namespace

RecordingAutomation::RecordingAutomation() : m_state(std::make_shared<State>()) {}
RecordingAutomation::~RecordingAutomation() = default;

ApplicationFactory RecordingAutomation::factory()
{
    StatePtr s = m_state;
    return [s]() -> std::shared_ptr<Application> {
        s->record("CreateApplication()");
        s->check("CreateApplication");
        return std::make_shared<RecApplication>(s);
    };
}

const std::vector<std::string> &RecordingAutomation::calls() const
{
    return m_state->calls;
}

void RecordingAutomation::clearCalls()
{
    m_state->calls.clear();
    m_state->hints.clear();
}

const std::vector<std::string> &RecordingAutomation::hints() const
{
    return m_state->hints;
}

std::vector<std::string>
RecordingAutomation::callsStartingWith(const std::vector<std::string> &prefixes) const
{
    std::vector<std::string> out;
    for (const auto &call : m_state->calls) {
        for (const auto &prefix : prefixes) {
            if (call.rfind(prefix, 0) == 0) {
                out.push_back(call);
                break;
            }
        }
    }
    return out;
}

void RecordingAutomation::failOn(const std::string &op, const std::string &source,
                                 const std::string &description, int presId, int times)
{
    m_state->failures.push_back({op, source, description, presId, times});
}

void RecordingAutomation::clearFailures()
{
    m_state->failures.clear();
}

void RecordingAutomation::setSlideCount(const std::string &fileName, int count)
{
    m_state->slideCounts[fileName] = count;
}

void RecordingAutomation::setBuilds(const std::string &fileName, std::vector<int> perSlide)
{
    m_state->builds[fileName] = std::move(perSlide);
}

void RecordingAutomation::setImportReport(const std::string &fileName,
                                          std::vector<std::string> lines)
{
    m_state->importReports[fileName] = std::move(lines);
}

void RecordingAutomation::setOnCall(std::function<void(const std::string &)> hook)
{
    m_state->onCall = std::move(hook);
}

void RecordingAutomation::setExportWritesFiles(bool write)
{
    m_state->exportWritesFiles = write;
}

void RecordingAutomation::setStepsReveal(bool reveal)
{
    m_state->stepsReveal = reveal;
}

bool RecordingAutomation::visible() const
{
    return m_state->visible;
}

int RecordingAutomation::activePresentationId() const
{
    return m_state->active;
}

int RecordingAutomation::presentationCount() const
{
    return static_cast<int>(m_state->presentations.size());
}

const PresentationState &RecordingAutomation::presentation(int id) const
{
    return m_state->pres(id);
}

unsigned RecordingAutomation::colourFor(int presId, int slide)
{
    // Far-apart, JPEG-robust colours: red from the presentation, green from the slide.
    const unsigned r = static_cast<unsigned>((presId * 80) % 256);
    const unsigned g = static_cast<unsigned>((slide * 40) % 256);
    return 0xff000000u | (r << 16) | (g << 8) | 0x40u;
}

} // namespace pa::testing
