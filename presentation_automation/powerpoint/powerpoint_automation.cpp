#include "presentation_automation/powerpoint/powerpoint_automation.h"

#include "presentation_automation/powerpoint/com_apartment.h"
#include "presentation_automation/powerpoint/dispatch.h"

#include <utility>
#include <vector>

namespace pa::powerpoint {

namespace {

class PpSlide : public Slide
{
public:
    explicit PpSlide(Dispatch d) : m_d(std::move(d)) {}

    std::int32_t slideIndex() override { return m_d.getInt32("SlideIndex"); }

    void exportTo(const std::string &fileName, const std::string &filterName,
                  std::int32_t scaleWidth, std::int32_t scaleHeight) override
    {
        const std::string source = "Slide.Export";
        m_d.call("Export", {Variant::string(fileName, source), Variant::string(filterName, source),
                            Variant::int32(scaleWidth), Variant::int32(scaleHeight)});
    }

private:
    Dispatch m_d;
};

class PpSlides : public Slides
{
public:
    explicit PpSlides(Dispatch d) : m_d(std::move(d)) {}

    std::int32_t count() override { return m_d.getInt32("Count"); }

    std::shared_ptr<Slide> item(std::int32_t index) override
    {
        return std::make_shared<PpSlide>(m_d.getObject("Item", "Slide", {Variant::int32(index)}));
    }

private:
    Dispatch m_d;
};

class PpView : public SlideShowView
{
public:
    explicit PpView(Dispatch d) : m_d(std::move(d)) {}

    void next() override { m_d.call("Next"); }
    void previous() override { m_d.call("Previous"); }

    void gotoSlide(std::int32_t index, int resetSlide) override
    {
        m_d.call("GotoSlide", {Variant::int32(index), Variant::int32(resetSlide)});
    }

    std::shared_ptr<Slide> slide() override
    {
        return std::make_shared<PpSlide>(m_d.getObject("Slide", "Slide"));
    }

    std::int32_t state() override { return m_d.getInt32("State"); }
    void setState(std::int32_t state) override { m_d.put("State", Variant::int32(state)); }

private:
    Dispatch m_d;
};

class PpSlideShowWindow : public SlideShowWindow
{
public:
    explicit PpSlideShowWindow(Dispatch d) : m_d(std::move(d)) {}

    void setLeft(float points) override { m_d.put("Left", Variant::single(points)); }
    void setTop(float points) override { m_d.put("Top", Variant::single(points)); }
    void setWidth(float points) override { m_d.put("Width", Variant::single(points)); }
    void activate() override { m_d.call("Activate"); }

    std::shared_ptr<SlideShowView> view() override
    {
        return std::make_shared<PpView>(m_d.getObject("View", "SlideShowView"));
    }

private:
    Dispatch m_d;
};

class PpSlideShowSettings : public SlideShowSettings
{
public:
    explicit PpSlideShowSettings(Dispatch d) : m_d(std::move(d)) {}

    // Run returns the new slide show window; call() releases it straight away.
    void run() override { m_d.call("Run"); }

private:
    Dispatch m_d;
};

class PpPresentation : public Presentation
{
public:
    explicit PpPresentation(Dispatch d) : m_d(std::move(d)) {}

    std::shared_ptr<SlideShowSettings> slideShowSettings() override
    {
        return std::make_shared<PpSlideShowSettings>(
            m_d.getObject("SlideShowSettings", "SlideShowSettings"));
    }

    std::shared_ptr<SlideShowWindow> slideShowWindow() override
    {
        return std::make_shared<PpSlideShowWindow>(
            m_d.getObject("SlideShowWindow", "SlideShowWindow"));
    }

    std::shared_ptr<Slides> slides() override
    {
        return std::make_shared<PpSlides>(m_d.getObject("Slides", "Slides"));
    }

    std::shared_ptr<Application> application() override;

private:
    Dispatch m_d;
};

class PpPresentations : public Presentations
{
public:
    explicit PpPresentations(Dispatch d) : m_d(std::move(d)) {}

    std::shared_ptr<Presentation> open(const std::string &fileName, std::optional<int> readOnly,
                                       std::optional<int> untitled,
                                       std::optional<int> withWindow) override
    {
        // Trailing arguments left out are not passed at all; one left out before a given one
        // is passed as "missing", so the application applies its own default.
        std::vector<Variant> args{Variant::string(fileName, "Presentations.Open")};
        const std::optional<int> optionals[] = {readOnly, untitled, withWindow};
        std::size_t given = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            if (optionals[i]) {
                given = i + 1;
            }
        }
        for (std::size_t i = 0; i < given; ++i) {
            args.push_back(optionals[i] ? Variant::int32(*optionals[i]) : Variant::missing());
        }
        return std::make_shared<PpPresentation>(m_d.getObject("Open", "Presentation", args));
    }

private:
    Dispatch m_d;
};

class PpApplication : public Application
{
public:
    explicit PpApplication(Dispatch d) : m_d(std::move(d)) {}

    void setVisible(int visible) override { m_d.put("Visible", Variant::int32(visible)); }

    std::shared_ptr<Presentations> presentations() override
    {
        return std::make_shared<PpPresentations>(m_d.getObject("Presentations", "Presentations"));
    }

    std::shared_ptr<Presentation> activePresentation() override
    {
        return std::make_shared<PpPresentation>(
            m_d.getObject("ActivePresentation", "Presentation"));
    }

private:
    Dispatch m_d;
};

std::shared_ptr<Application> PpPresentation::application()
{
    return std::make_shared<PpApplication>(m_d.getObject("Application", "Application"));
}

} // namespace

ComRef<IDispatch> createRunningPowerPoint()
{
    const std::string source = applicationProgId;
    const std::wstring progId = toUtf16(applicationProgId, source);
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId.c_str(), &clsid);
    if (FAILED(hr)) {
        throw AutomationError(source, "PowerPoint is not installed on this computer (" +
                                          hresultText(hr) + ").");
    }
    ComRef<IDispatch> app;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                          reinterpret_cast<void **>(app.put()));
    if (FAILED(hr)) {
        throw AutomationError(source, "PowerPoint could not be started (" + hresultText(hr) + ").");
    }
    return app;
}

ApplicationFactory applicationFactory(DispatchCreator create)
{
    return [create = std::move(create)]() -> std::shared_ptr<Application> {
        ensureComReady();
        ComRef<IDispatch> app = create();
        if (!app) {
            throw AutomationError(applicationProgId, "PowerPoint could not be started.");
        }
        return std::make_shared<PpApplication>(Dispatch(std::move(app), "Application"));
    };
}

} // namespace pa::powerpoint
