// What the backend says to PowerPoint for each operation the controllers use: member names,
// invoke flags, argument types and values, and references balanced afterwards.

#include "presentation_automation/powerpoint/tests/check.h"
#include "presentation_automation/powerpoint/tests/fake_powerpoint.h"
#include "presentation_automation/powerpoint/tests/temp_folder.h"

using pa::powerpoint::testing::FakePowerPoint;

namespace {

void checkNoLeaks(const FakePowerPoint &ppt)
{
    CHECK_EQ(ppt.liveReferences(), 0L);
    CHECK(!ppt.overReleased());
    CHECK(ppt.addRefs() > 0);
    CHECK_EQ(ppt.releases(), ppt.addRefs());
}

} // namespace

TEST_CASE("calls", corvaneLoadPressesAndStep)
{
    pa::powerpoint::testing::TempFolder drive;
    const std::string pictures[] = {drive.makeFolder("Screen 1 JPG"),
                                    drive.makeFolder("Screen 2 JPG")};
    FakePowerPoint ppt;
    ppt.addFile("C:\\Shows\\south.ppt", 5);
    ppt.addFile("C:\\Shows\\center.ppt", 3);
    const auto factory = pa::powerpoint::applicationFactory(ppt.creator());
    {
        // Two load presses as the show controller makes them, each with a new application.
        std::shared_ptr<pa::Presentation> pres[2];
        const char *files[] = {"C:\\Shows\\south.ppt", "C:\\Shows\\center.ppt"};
        const float placement[2][3] = {{-768, 0, 768}, {1024, 0, 1024}};
        for (int n = 0; n < 2; ++n) {
            std::shared_ptr<pa::Application> app = factory();
            app->setVisible(pa::msoTrue);
            pres[n] = app->presentations()->open(files[n], pa::msoFalse, pa::msoFalse, pa::msoTrue);
            pres[n]->slideShowSettings()->run();
            const auto window = pres[n]->slideShowWindow();
            window->setLeft(placement[n][0]);
            window->setTop(placement[n][1]);
            window->setWidth(placement[n][2]);
            app->activePresentation()->slides()->item(1)->exportTo(pictures[n] + "\\ExportSlide",
                                                                   "JPG", 175, 125);
        }
        const std::string firstExport = "Slide(1/1).Export method(BSTR " + pictures[0] +
                                        "\\ExportSlide, BSTR JPG, I4 175, I4 125)";
        const std::vector<std::string> firstPress = {
            "create",
            "Application.Visible put(I4 -1)",
            "Application.Presentations method|get()",
            "Presentations.Open method|get(BSTR C:\\Shows\\south.ppt, I4 0, I4 0, I4 -1)",
            "Presentation(1).SlideShowSettings method|get()",
            "SlideShowSettings(1).Run method()",
            "Presentation(1).SlideShowWindow method|get()",
            "SlideShowWindow(1).Left put(R4 -768)",
            "SlideShowWindow(1).Top put(R4 0)",
            "SlideShowWindow(1).Width put(R4 768)",
            "Application.ActivePresentation method|get()",
            "Presentation(1).Slides method|get()",
            "Slides(1).Item method|get(I4 1)",
            firstExport,
        };
        CHECK_EQ(std::vector<std::string>(ppt.calls().begin(), ppt.calls().begin() + 14),
                 firstPress);
        CHECK_EQ(ppt.calls().size(), std::size_t(28));
        CHECK_EQ(ppt.calls()[17], std::string("Presentations.Open method|get(BSTR "
                                              "C:\\Shows\\center.ppt, I4 0, I4 0, I4 -1)"));
        CHECK_EQ(ppt.calls()[23], std::string("SlideShowWindow(2).Width put(R4 1024)"));
        CHECK(ppt.visible());
        CHECK_EQ(ppt.presentation(1).left, -768.0f);
        CHECK_EQ(ppt.presentation(2).left, 1024.0f);

        // One script step that moves Screen 1 to slide 4.
        ppt.clearCalls();
        std::shared_ptr<pa::Application> app = factory();
        const auto window = pres[0]->slideShowWindow();
        window->activate();
        window->view()->gotoSlide(4, pa::msoTrue);
        app->activePresentation()->slides()->item(4)->exportTo(pictures[0] + "\\ExportSlide", "JPG",
                                                               175, 125);
        CHECK_EQ(ppt.calls(), (std::vector<std::string>{
                                  "create",
                                  "Presentation(1).SlideShowWindow method|get()",
                                  "SlideShowWindow(1).Activate method()",
                                  "SlideShowWindow(1).View method|get()",
                                  "SlideShowView(1).GotoSlide method(I4 4, I4 -1)",
                                  "Application.ActivePresentation method|get()",
                                  "Presentation(1).Slides method|get()",
                                  "Slides(1).Item method|get(I4 4)",
                                  "Slide(1/4).Export method(BSTR " + pictures[0] +
                                      "\\ExportSlide, BSTR JPG, I4 175, I4 125)",
                              }));
        CHECK_EQ(ppt.presentation(1).currentSlide, 4);
        CHECK_EQ(ppt.activePresentationId(), 1);
    }
    checkNoLeaks(ppt);
}

TEST_CASE("calls", kestroLoadShowAndSteps)
{
    FakePowerPoint ppt;
    ppt.addFile("D:\\Talks\\keynote.ppt", 12);
    const auto factory = pa::powerpoint::applicationFactory(ppt.creator());
    {
        std::shared_ptr<pa::Application> app = factory();
        app->setVisible(pa::msoTrue);
        const auto pres = app->presentations()->open("D:\\Talks\\keynote.ppt");
        pres->slideShowSettings()->run();
        const auto window = pres->slideShowWindow();
        window->setLeft(768);
        window->setTop(0);
        window->setWidth(1024);
        CHECK_EQ(pres->application()->activePresentation()->slides()->item(1)->slideIndex(), 1);
        CHECK_EQ(pres->application()->activePresentation()->slides()->count(), 12);
        CHECK_EQ(ppt.calls()[3],
                 std::string("Presentations.Open method|get(BSTR D:\\Talks\\keynote.ppt)"));
        CHECK_EQ(std::vector<std::string>(ppt.calls().begin() + 10, ppt.calls().begin() + 15),
                 (std::vector<std::string>{
                     "Presentation(1).Application method|get()",
                     "Application.ActivePresentation method|get()",
                     "Presentation(1).Slides method|get()",
                     "Slides(1).Item method|get(I4 1)",
                     "Slide(1/1).SlideIndex method|get()",
                 }));
        CHECK_EQ(ppt.calls().back(), std::string("Slides(1).Count method|get()"));

        ppt.clearCalls();
        pres->slideShowWindow()->activate();
        const auto view = pres->slideShowWindow()->view();
        view->next();
        view->next();
        view->previous();
        CHECK_EQ(view->slide()->slideIndex(), 2);
        view->gotoSlide(12);
        CHECK_EQ(view->slide()->slideIndex(), 12);
        CHECK_EQ(std::vector<std::string>(ppt.calls().begin() + 1, ppt.calls().begin() + 9),
                 (std::vector<std::string>{
                     "SlideShowWindow(1).Activate method()",
                     "Presentation(1).SlideShowWindow method|get()",
                     "SlideShowWindow(1).View method|get()",
                     "SlideShowView(1).Next method()",
                     "SlideShowView(1).Next method()",
                     "SlideShowView(1).Previous method()",
                     "SlideShowView(1).Slide method|get()",
                     "Slide(1/2).SlideIndex method|get()",
                 }));
        CHECK_EQ(ppt.calls()[9], std::string("SlideShowView(1).GotoSlide method(I4 12, I4 -1)"));
    }
    checkNoLeaks(ppt);
}

TEST_CASE("calls", viewStateBlanksTheShowAndStepsKeepIt)
{
    FakePowerPoint ppt;
    ppt.addFile("C:\\Shows\\south.ppt", 5);
    {
        const auto pres =
            pa::powerpoint::applicationFactory(ppt.creator())()->presentations()->open(
                "C:\\Shows\\south.ppt");
        pres->slideShowSettings()->run();
        const auto view = pres->slideShowWindow()->view();
        CHECK_EQ(view->state(), pa::ppSlideShowRunning);
        ppt.clearCalls();
        for (const std::int32_t state : {pa::ppSlideShowBlackScreen, pa::ppSlideShowWhiteScreen}) {
            view->setState(state);
            view->next();
            CHECK_EQ(view->state(), state);
        }
        view->setState(pa::ppSlideShowRunning);
        CHECK_EQ(view->state(), pa::ppSlideShowRunning);
        CHECK_EQ(ppt.presentation(1).currentSlide, 3);
        CHECK_EQ(ppt.calls(), (std::vector<std::string>{
                                  "SlideShowView(1).State put(I4 3)",
                                  "SlideShowView(1).Next method()",
                                  "SlideShowView(1).State method|get()",
                                  "SlideShowView(1).State put(I4 4)",
                                  "SlideShowView(1).Next method()",
                                  "SlideShowView(1).State method|get()",
                                  "SlideShowView(1).State put(I4 1)",
                                  "SlideShowView(1).State method|get()",
                              }));
        // What PowerPoint refuses leaves the show as it was.
        for (const std::int32_t bad : {0, 6, -1}) {
            CHECK_AUTOMATION_ERROR(view->setState(bad),
                                   pa::powerpoint::testing::fakePowerPointSource,
                                   "SlideShowView.State : Invalid enumeration value.");
        }
        CHECK_EQ(view->state(), pa::ppSlideShowRunning);
        // A show run again starts on its slides, not blank.
        view->setState(pa::ppSlideShowBlackScreen);
        pres->slideShowSettings()->run();
        CHECK_EQ(pres->slideShowWindow()->view()->state(), pa::ppSlideShowRunning);
    }
    checkNoLeaks(ppt);
}

TEST_CASE("calls", openPassesOnlyTheArgumentsGiven)
{
    FakePowerPoint ppt;
    ppt.addFile("a.ppt", 2);
    {
        const auto presentations =
            pa::powerpoint::applicationFactory(ppt.creator())()->presentations();
        presentations->open("a.ppt", pa::msoTrue);
        // A left-out argument before a given one goes as "missing", so PowerPoint's default holds.
        presentations->open("a.ppt", std::nullopt, std::nullopt, pa::msoFalse);
    }
    CHECK_EQ(ppt.calls()[2], std::string("Presentations.Open method|get(BSTR a.ppt, I4 -1)"));
    CHECK_EQ(ppt.calls()[3], std::string("Presentations.Open method|get(BSTR a.ppt, ERROR "
                                         "0x80020004, ERROR 0x80020004, I4 0)"));
    checkNoLeaks(ppt);
}

TEST_CASE("calls", fileNamesReachPowerPointAsUnicode)
{
    // "C:\Präsentationen\Grüße €.ppt" in UTF-8, as the controllers hold it.
    const std::string name = "C:\\Pr\xC3\xA4sentationen\\Gr\xC3\xBC\xC3\x9F"
                             "e \xE2\x82\xAC.ppt";
    FakePowerPoint ppt;
    ppt.addFile(name, 1);
    {
        const auto pres =
            pa::powerpoint::applicationFactory(ppt.creator())()->presentations()->open(name);
        CHECK_EQ(pres->slides()->count(), 1);
    }
    CHECK_EQ(ppt.presentationCount(), 1);
    CHECK_EQ(ppt.calls()[2], "Presentations.Open method|get(BSTR " + name + ")");
    checkNoLeaks(ppt);
}
