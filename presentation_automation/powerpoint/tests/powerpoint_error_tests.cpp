// Every way a call can fail reaches the caller as AutomationError, with references balanced.

#include "presentation_automation/default_backend.h"
#include "presentation_automation/powerpoint/dispatch.h"
#include "presentation_automation/powerpoint/tests/check.h"
#include "presentation_automation/powerpoint/tests/fake_powerpoint.h"
#include "presentation_automation/powerpoint/tests/temp_folder.h"

using pa::powerpoint::testing::FakeException;
using pa::powerpoint::testing::FakePowerPoint;

namespace {

const std::string ppSource = pa::powerpoint::testing::fakePowerPointSource;

void checkNoLeaks(const FakePowerPoint &ppt)
{
    CHECK_EQ(ppt.liveReferences(), 0L);
    CHECK(!ppt.overReleased());
    CHECK_EQ(ppt.releases(), ppt.addRefs());
}

} // namespace

TEST_CASE("errors", powerPointExceptionsCarryItsSourceAndDescription)
{
    for (const bool deferred : {false, true}) {
        FakePowerPoint ppt;
        ppt.setDeferredFillIn(deferred);
        ppt.addFile("show.ppt", 3);
        {
            const auto app = pa::powerpoint::applicationFactory(ppt.creator())();
            CHECK_AUTOMATION_ERROR(app->activePresentation(), ppSource,
                                   "Application.ActivePresentation : Invalid request. There is no "
                                   "active presentation.");
            CHECK_AUTOMATION_ERROR(app->presentations()->open("missing.ppt", 0, 0, -1), ppSource,
                                   "Presentations.Open : PowerPoint could not open the file.");
            const auto pres = app->presentations()->open("show.ppt", 0, 0, -1);
            CHECK_AUTOMATION_ERROR(pres->slideShowWindow(), ppSource,
                                   "Presentation.SlideShowWindow : Invalid request. There is no "
                                   "currently active slide show.");
            pres->slideShowSettings()->run();
            CHECK_AUTOMATION_ERROR(pres->slides()->item(4), ppSource,
                                   "Slides.Item : Integer out of range. 4 is out of the valid "
                                   "range of 1 to 3.");
            CHECK_AUTOMATION_ERROR(pres->slideShowWindow()->view()->gotoSlide(0), ppSource,
                                   "SlideShowView.GotoSlide : Integer out of range. 0 is out of "
                                   "the valid range of 1 to 3.");
            CHECK_EQ(ppt.presentation(1).currentSlide, 1);
            // Exporting into a folder that does not exist (the preview folders are not created
            // by the programs).
            CHECK_AUTOMATION_ERROR(pres->slides()->item(1)->exportTo(
                                       "C:\\No Such Folder\\ExportSlide", "JPG", 175, 125),
                                   ppSource,
                                   "Slide.Export : The folder of the file does not exist.");
        }
        checkNoLeaks(ppt);
    }
}

TEST_CASE("errors", incompleteExceptionsFallBackToTheCallAndItsCode)
{
    FakePowerPoint ppt;
    {
        const auto app = pa::powerpoint::applicationFactory(ppt.creator())();
        // A fill-in pointer that is not code is not called (wine's proxies hand over such).
        ppt.setDeferredFillIn(true, false);
        CHECK_AUTOMATION_ERROR(app->activePresentation(), "Application.ActivePresentation",
                               pa::powerpoint::hresultText(DISP_E_EXCEPTION));
        ppt.setDeferredFillIn(false);

        ppt.failNext("Application.Presentations", DISP_E_EXCEPTION,
                     FakeException{"", "Something went wrong.", E_FAIL});
        CHECK_AUTOMATION_ERROR(app->presentations(), "Application.Presentations",
                               "Something went wrong.");
        ppt.failNext("Application.Presentations", DISP_E_EXCEPTION,
                     FakeException{"PowerPoint", "", static_cast<HRESULT>(0x80048240L)});
        CHECK_AUTOMATION_ERROR(app->presentations(), "PowerPoint",
                               pa::powerpoint::hresultText(static_cast<HRESULT>(0x80048240L)));
        CHECK_EQ(pa::powerpoint::hresultText(static_cast<HRESULT>(0x80048240L)),
                 std::string("Automation error 0x80048240"));
    }
    checkNoLeaks(ppt);
}

TEST_CASE("errors", failedCallsWithoutExceptionGetTheSystemText)
{
    FakePowerPoint ppt;
    ppt.addFile("show.ppt", 3);
    {
        const auto app = pa::powerpoint::applicationFactory(ppt.creator())();
        const auto pres = app->presentations()->open("show.ppt");
        pres->slideShowSettings()->run();
        const auto window = pres->slideShowWindow();

        // PowerPoint gone (closed by the user) or still busy after the message filter gave up.
        ppt.failNext("SlideShowWindow.Activate", RPC_E_DISCONNECTED);
        CHECK_AUTOMATION_ERROR(window->activate(), "SlideShowWindow.Activate",
                               pa::powerpoint::hresultText(RPC_E_DISCONNECTED));
        ppt.failNext("SlideShowWindow.Left", RPC_E_CALL_REJECTED);
        CHECK_AUTOMATION_ERROR(window->setLeft(10), "SlideShowWindow.Left",
                               pa::powerpoint::hresultText(RPC_E_CALL_REJECTED));
        ppt.failNext("Slides.Count", RPC_E_SERVERCALL_RETRYLATER);
        CHECK_AUTOMATION_ERROR(pres->slides()->count(), "Slides.Count",
                               pa::powerpoint::hresultText(RPC_E_SERVERCALL_RETRYLATER));
        CHECK(pa::powerpoint::hresultText(RPC_E_CALL_REJECTED).find("0x80010001") !=
              std::string::npos);
        // The placement that failed did not happen; the next one does.
        CHECK_EQ(ppt.presentation(1).left, 0.0f);
        window->setLeft(10);
        CHECK_EQ(ppt.presentation(1).left, 10.0f);
    }
    checkNoLeaks(ppt);
}

TEST_CASE("errors", unexpectedAnswersAreErrorsNotCrashes)
{
    FakePowerPoint ppt;
    ppt.addFile("show.ppt", 3);
    {
        const auto app = pa::powerpoint::applicationFactory(ppt.creator())();
        ppt.returnNothingNext("Application.Presentations");
        CHECK_AUTOMATION_ERROR(app->presentations(), "Application.Presentations",
                               "Object variable not set.");
        ppt.returnNothingNext("Presentations.Open");
        CHECK_AUTOMATION_ERROR(app->presentations()->open("show.ppt"), "Presentations.Open",
                               "Object variable not set.");
        // Text that is not UTF-8 never reaches PowerPoint as some other file name.
        const std::size_t before = ppt.calls().size();
        CHECK_AUTOMATION_ERROR(app->presentations()->open("bad\xC3(.ppt"), "Presentations.Open",
                               "The text is not valid UTF-8.");
        CHECK_EQ(ppt.calls().size(), before + 1); // only the Presentations read
    }
    checkNoLeaks(ppt);
}

TEST_CASE("errors", failingCreatesAreErrors)
{
    const auto nothing =
        pa::powerpoint::applicationFactory([] { return pa::powerpoint::ComRef<IDispatch>(); });
    CHECK_AUTOMATION_ERROR(nothing(), "Powerpoint.Application", "PowerPoint could not be started.");
    const auto throwing =
        pa::powerpoint::applicationFactory([]() -> pa::powerpoint::ComRef<IDispatch> {
            throw pa::AutomationError("Powerpoint.Application", "busy");
        });
    CHECK_AUTOMATION_ERROR(throwing(), "Powerpoint.Application", "busy");
}

TEST_CASE("create", realCreateWithoutPowerPointFailsCleanly)
{
    // There is no PowerPoint here: the program identifier is not registered.
    const auto factory = pa::defaultApplicationFactory();
    for (int attempt = 0; attempt < 2; ++attempt) {
        CHECK_AUTOMATION_ERROR(factory(), "Powerpoint.Application",
                               "PowerPoint is not installed on this computer (" +
                                   pa::powerpoint::hresultText(CO_E_CLASSSTRING) + ").");
    }
}
