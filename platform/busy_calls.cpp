#include "busy_calls.h"

#include "presentation_automation/call_wait.h"

#include <QCoreApplication>
#include <QCursor>
#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <memory>
#include <utility>
#include <vector>

namespace platform {

namespace {

using Clock = BusyCalls::Clock;

// Calls closer together than this are one stretch of waiting for the operator.
constexpr std::chrono::milliseconds sameStretch{50};

struct HeldEvent
{
    QPointer<QObject> receiver;
    std::unique_ptr<QEvent> event;
};

struct State
{
    int depth = 0;
    bool dispatching = false;
    bool cursorShown = false;
    bool filterInstalled = false;
    Clock::time_point stretchStart{};
    Clock::time_point lastEnded{};
    std::vector<HeldEvent> held;
};

State &state()
{
    static State s;
    return s;
}

bool onWindowThread()
{
    const QCoreApplication *app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// Input is handled after the call, in the order it came.
bool isHeldInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ContextMenu:
        return true;
    default:
        return false;
    }
}

// Pointer moves would only run hover handlers inside the call; they are not worth keeping.
bool isDroppedInput(QEvent::Type type)
{
    return type == QEvent::MouseMove || type == QEvent::HoverMove;
}

void afterStretch()
{
    State &s = state();
    if (s.depth > 0) {
        return; // the handler went on to its next call
    }
    if (s.cursorShown) {
        QGuiApplication::restoreOverrideCursor();
        s.cursorShown = false;
    }
    std::vector<HeldEvent> held = std::move(s.held);
    s.held.clear();
    for (HeldEvent &h : held) {
        if (h.receiver) {
            QCoreApplication::postEvent(h.receiver, h.event.release());
        }
    }
}

// Calls of the presentation interface, each inside a scope.
template<typename F> auto guarded(F &&call)
{
    const BusyCalls::Scope scope;
    return std::forward<F>(call)();
}

class GuardedSlide : public pa::Slide
{
public:
    explicit GuardedSlide(std::shared_ptr<pa::Slide> inner) : m(std::move(inner)) {}
    std::int32_t slideIndex() override
    {
        return guarded([&] { return m->slideIndex(); });
    }
    void exportTo(const std::string &fileName, const std::string &filterName, std::int32_t w,
                  std::int32_t h) override
    {
        guarded([&] { m->exportTo(fileName, filterName, w, h); });
    }
    bool exportIfDrawn(const std::string &fileName, const std::string &filterName, std::int32_t w,
                       std::int32_t h) override
    {
        return guarded([&] { return m->exportIfDrawn(fileName, filterName, w, h); });
    }
    std::optional<std::int32_t> buildCount() override
    {
        return guarded([&] { return m->buildCount(); });
    }

private:
    std::shared_ptr<pa::Slide> m;
};

template<typename Wrapper, typename T> std::shared_ptr<T> wrap(std::shared_ptr<T> inner)
{
    return inner ? std::make_shared<Wrapper>(std::move(inner)) : nullptr;
}

class GuardedSlides : public pa::Slides
{
public:
    explicit GuardedSlides(std::shared_ptr<pa::Slides> inner) : m(std::move(inner)) {}
    std::int32_t count() override
    {
        return guarded([&] { return m->count(); });
    }
    std::shared_ptr<pa::Slide> item(std::int32_t index) override
    {
        return wrap<GuardedSlide>(guarded([&] { return m->item(index); }));
    }

private:
    std::shared_ptr<pa::Slides> m;
};

class GuardedView : public pa::SlideShowView
{
public:
    explicit GuardedView(std::shared_ptr<pa::SlideShowView> inner) : m(std::move(inner)) {}
    void next() override
    {
        guarded([&] { m->next(); });
    }
    void previous() override
    {
        guarded([&] { m->previous(); });
    }
    void gotoSlide(std::int32_t index, int resetSlide) override
    {
        guarded([&] { m->gotoSlide(index, resetSlide); });
    }
    std::shared_ptr<pa::Slide> slide() override
    {
        return wrap<GuardedSlide>(guarded([&] { return m->slide(); }));
    }
    std::int32_t state() override
    {
        return guarded([&] { return m->state(); });
    }
    void setState(std::int32_t state) override
    {
        guarded([&] { m->setState(state); });
    }
    std::optional<std::int32_t> buildStep() override
    {
        return guarded([&] { return m->buildStep(); });
    }
    std::optional<pa::MediaState> media() override
    {
        return guarded([&] { return m->media(); });
    }

private:
    std::shared_ptr<pa::SlideShowView> m;
};

class GuardedWindow : public pa::SlideShowWindow
{
public:
    explicit GuardedWindow(std::shared_ptr<pa::SlideShowWindow> inner) : m(std::move(inner)) {}
    void setLeft(float points) override
    {
        guarded([&] { m->setLeft(points); });
    }
    void setTop(float points) override
    {
        guarded([&] { m->setTop(points); });
    }
    void setWidth(float points) override
    {
        guarded([&] { m->setWidth(points); });
    }
    void activate() override
    {
        guarded([&] { m->activate(); });
    }
    std::shared_ptr<pa::SlideShowView> view() override
    {
        return wrap<GuardedView>(guarded([&] { return m->view(); }));
    }

private:
    std::shared_ptr<pa::SlideShowWindow> m;
};

class GuardedSettings : public pa::SlideShowSettings
{
public:
    explicit GuardedSettings(std::shared_ptr<pa::SlideShowSettings> inner) : m(std::move(inner)) {}
    void run() override
    {
        guarded([&] { m->run(); });
    }

private:
    std::shared_ptr<pa::SlideShowSettings> m;
};

class GuardedPresentation : public pa::Presentation
{
public:
    explicit GuardedPresentation(std::shared_ptr<pa::Presentation> inner) : m(std::move(inner)) {}
    std::shared_ptr<pa::SlideShowSettings> slideShowSettings() override
    {
        return wrap<GuardedSettings>(guarded([&] { return m->slideShowSettings(); }));
    }
    std::shared_ptr<pa::SlideShowWindow> slideShowWindow() override
    {
        return wrap<GuardedWindow>(guarded([&] { return m->slideShowWindow(); }));
    }
    std::shared_ptr<pa::Slides> slides() override
    {
        return wrap<GuardedSlides>(guarded([&] { return m->slides(); }));
    }
    std::shared_ptr<pa::Application> application() override;
    void prepareSlides(const std::vector<std::int32_t> &slides) override
    {
        guarded([&] { m->prepareSlides(slides); });
    }
    std::optional<std::vector<std::string>> importReport() override
    {
        return guarded([&] { return m->importReport(); });
    }

private:
    std::shared_ptr<pa::Presentation> m;
};

class GuardedPresentations : public pa::Presentations
{
public:
    explicit GuardedPresentations(std::shared_ptr<pa::Presentations> inner) : m(std::move(inner)) {}
    std::shared_ptr<pa::Presentation> open(const std::string &fileName, std::optional<int> readOnly,
                                           std::optional<int> untitled,
                                           std::optional<int> withWindow) override
    {
        return wrap<GuardedPresentation>(
            guarded([&] { return m->open(fileName, readOnly, untitled, withWindow); }));
    }

private:
    std::shared_ptr<pa::Presentations> m;
};

class GuardedApplication : public pa::Application
{
public:
    explicit GuardedApplication(std::shared_ptr<pa::Application> inner) : m(std::move(inner)) {}
    void setVisible(int visible) override
    {
        guarded([&] { m->setVisible(visible); });
    }
    std::shared_ptr<pa::Presentations> presentations() override
    {
        return wrap<GuardedPresentations>(guarded([&] { return m->presentations(); }));
    }
    std::shared_ptr<pa::Presentation> activePresentation() override
    {
        return wrap<GuardedPresentation>(guarded([&] { return m->activePresentation(); }));
    }

private:
    std::shared_ptr<pa::Application> m;
};

std::shared_ptr<pa::Application> GuardedPresentation::application()
{
    return wrap<GuardedApplication>(guarded([&] { return m->application(); }));
}

} // namespace

BusyCalls &BusyCalls::instance()
{
    static BusyCalls *calls = new BusyCalls; // lives as long as the program's event loop
    return *calls;
}

bool BusyCalls::inCall()
{
    return state().depth > 0;
}

BusyCalls::Clock::time_point BusyCalls::lastCallEnded()
{
    return state().lastEnded;
}

BusyCalls::Scope::Scope()
{
    if (!onWindowThread()) {
        return;
    }
    m_counted = true;
    State &s = state();
    if (s.depth++ == 0) {
        const Clock::time_point now = Clock::now();
        if (now - s.lastEnded > sameStretch) {
            s.stretchStart = now;
        }
    }
}

BusyCalls::Scope::~Scope()
{
    if (!m_counted) {
        return;
    }
    State &s = state();
    if (--s.depth > 0) {
        return;
    }
    s.lastEnded = Clock::now();
    if (s.cursorShown || !s.held.empty()) {
        // Once the handler has handed control back: a call that follows at once keeps the
        // cursor, and held input stays behind it.
        QTimer::singleShot(0, &instance(), [] { afterStretch(); });
    }
    emit instance().callsEnded();
}

void BusyCalls::whileWaiting(bool mayDispatch)
{
    State &s = state();
    if (!onWindowThread() || s.depth == 0 || s.dispatching ||
        Clock::now() - s.stretchStart < busyAfter) {
        return;
    }
    if (!s.cursorShown && qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        s.cursorShown = true;
    }
    if (!mayDispatch) {
        return;
    }
    if (!s.filterInstalled) {
        QCoreApplication::instance()->installEventFilter(&instance());
        s.filterInstalled = true;
    }
    s.dispatching = true;
    // Input from the window system stays queued where it is; input that is sent to the
    // widgets directly is caught by the filter.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::ExcludeSocketNotifiers);
    s.dispatching = false;
}

bool BusyCalls::eventFilter(QObject *watched, QEvent *event)
{
    const State &s = state();
    if (!s.dispatching || !watched->isWidgetType()) {
        return false;
    }
    if (isHeldInput(event->type())) {
        state().held.push_back(
            {QPointer<QObject>(watched), std::unique_ptr<QEvent>(event->clone())});
        return true;
    }
    return isDroppedInput(event->type());
}

pa::ApplicationFactory guardedApplications(pa::ApplicationFactory inner)
{
    pa::waitHook().store(&BusyCalls::whileWaiting);
    return [inner = std::move(inner)]() -> std::shared_ptr<pa::Application> {
        return wrap<GuardedApplication>(guarded([&] { return inner(); }));
    };
}

} // namespace platform
