// The backend through COM's own proxies, as it reaches PowerPoint in another process: the
// application lives in an apartment of its own, so every call, argument, result and error
// crosses the standard IDispatch marshaller.

#include "presentation_automation/powerpoint/com_apartment.h"
#include "presentation_automation/powerpoint/dispatch.h"
#include "presentation_automation/powerpoint/powerpoint_automation.h"
#include "presentation_automation/powerpoint/tests/check.h"
#include "presentation_automation/powerpoint/tests/fake_powerpoint.h"

#include <memory>
#include <thread>

namespace {

class ApartmentServer
{
public:
    ApartmentServer()
    {
        m_thread = std::thread([this] { serve(); });
        WaitForSingleObject(m_ready, INFINITE);
    }
    ~ApartmentServer()
    {
        stop();
        CloseHandle(m_ready);
    }
    ApartmentServer(const ApartmentServer &) = delete;
    ApartmentServer &operator=(const ApartmentServer &) = delete;

    // A proxy to the application object, for the calling thread.
    pa::powerpoint::ComRef<IDispatch> takeProxy()
    {
        pa::powerpoint::ComRef<IDispatch> proxy;
        CoGetInterfaceAndReleaseStream(m_stream, IID_IDispatch,
                                       reinterpret_cast<void **>(proxy.put()));
        m_stream = nullptr;
        return proxy;
    }

    // Ends the server's apartment; then referencesLeft and overReleased tell what the callers
    // left behind.
    void stop()
    {
        if (m_thread.joinable()) {
            PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
            m_thread.join();
        }
    }

    long referencesLeft = -1;
    bool overReleased = false;
    std::vector<std::string> calls;

private:
    void serve()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        m_threadId = GetCurrentThreadId();
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue, for WM_QUIT
        {
            pa::powerpoint::testing::FakePowerPoint powerPoint;
            powerPoint.addFile("C:\\Talks\\show.ppt", 3);
            {
                pa::powerpoint::ComRef<IDispatch> app = powerPoint.creator()();
                CoMarshalInterThreadInterfaceInStream(IID_IDispatch, app.get(), &m_stream);
            }
            SetEvent(m_ready);
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
                DispatchMessageW(&msg);
            }
            referencesLeft = powerPoint.liveReferences();
            overReleased = powerPoint.overReleased();
            calls = powerPoint.calls();
        }
        CoUninitialize();
    }

    std::thread m_thread;
    DWORD m_threadId = 0;
    HANDLE m_ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    IStream *m_stream = nullptr;
};

} // namespace

TEST_CASE("proxy", callsAndErrorsCrossApartments)
{
    pa::powerpoint::ensureComReady();
    ApartmentServer server;
    {
        pa::powerpoint::ComRef<IDispatch> proxy = server.takeProxy();
        CHECK(proxy);
        const auto app = pa::powerpoint::applicationFactory([&] { return proxy; })();
        app->setVisible(pa::msoTrue);
        const auto pres = app->presentations()->open("C:\\Talks\\show.ppt", 0, 0, -1);
        CHECK_AUTOMATION_ERROR(pres->slideShowWindow(),
                               pa::powerpoint::testing::fakePowerPointSource,
                               "Presentation.SlideShowWindow : Invalid request. There is no "
                               "currently active slide show.");
        pres->slideShowSettings()->run();
        const auto window = pres->slideShowWindow();
        window->setLeft(-768.5f);
        window->view()->gotoSlide(3);
        CHECK_EQ(pres->application()->activePresentation()->slides()->item(3)->slideIndex(), 3);
        CHECK_AUTOMATION_ERROR(pres->slides()->item(9),
                               pa::powerpoint::testing::fakePowerPointSource,
                               "Slides.Item : Integer out of range. 9 is out of the valid range "
                               "of 1 to 3.");
        const auto view = window->view();
        view->setState(pa::ppSlideShowWhiteScreen);
        CHECK_EQ(view->state(), pa::ppSlideShowWhiteScreen);
        CHECK_AUTOMATION_ERROR(view->setState(9), pa::powerpoint::testing::fakePowerPointSource,
                               "SlideShowView.State : Invalid enumeration value.");
        CHECK_EQ(view->state(), pa::ppSlideShowWhiteScreen);
        proxy.reset();
    }
    server.stop();
    CHECK_EQ(server.referencesLeft, 0L);
    CHECK(!server.overReleased);
    const std::vector<std::string> expected = {
        "create",
        "Application.Visible put(I4 -1)",
        "Application.Presentations method|get()",
        "Presentations.Open method|get(BSTR C:\\Talks\\show.ppt, I4 0, I4 0, I4 -1)",
        "Presentation(1).SlideShowWindow method|get()",
        "Presentation(1).SlideShowSettings method|get()",
        "SlideShowSettings(1).Run method()",
        "Presentation(1).SlideShowWindow method|get()",
        "SlideShowWindow(1).Left put(R4 -768.5)",
        "SlideShowWindow(1).View method|get()",
        "SlideShowView(1).GotoSlide method(I4 3, I4 -1)",
    };
    CHECK(server.calls.size() > expected.size());
    CHECK_EQ(std::vector<std::string>(server.calls.begin(),
                                      server.calls.begin() + static_cast<long>(expected.size())),
             expected);
    CHECK_EQ(std::vector<std::string>(server.calls.end() - 4, server.calls.end()),
             (std::vector<std::string>{
                 "SlideShowView(1).State put(I4 4)",
                 "SlideShowView(1).State method|get()",
                 "SlideShowView(1).State put(I4 9)",
                 "SlideShowView(1).State method|get()",
             }));
}
