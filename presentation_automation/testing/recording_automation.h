#pragma once

// A recording stand-in for the presentation application, for behaviour tests of the
// windows. One RecordingAutomation is the one "running application": every create made
// through factory() reaches it. Each call is recorded in order as text, for example
// "Activate(pres 2)", "GotoSlide(pres 2, 3, -1)", "Export(pres 1, 2, /x/ExportSlide, JPG, 175,
// 125)".
// 125)". Hints (prepareSlides) are not calls the windows' behaviour depends on: they are kept in a
// list of their own, "Prepare(pres 1: 4, 2)", "Prepare(pres 3)" for a withdrawn hint.

#include "presentation_automation/automation.h"

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pa::testing {

struct PresentationState
{
    int id = 0; // 1-based, in opening order
    std::string fileName;
    int slideCount = 10;
    bool showRunning = false;
    int currentSlide = 0;
    int viewState = 1; // ppSlideShowState; a step keeps it, as the application does
    float left = 0, top = 0, width = 0;
    // As the application answers them; nullopt: it cannot tell.
    std::optional<std::vector<int>> builds; // per slide, from slide 1
    std::optional<std::vector<std::string>> importReport;
};

class RecordingAutomation
{
public:
    RecordingAutomation();
    ~RecordingAutomation();

    // Each call of the factory is one "create the application"; all reach this instance.
    ApplicationFactory factory();

    const std::vector<std::string> &calls() const;
    // Clears the hints too.
    void clearCalls();
    const std::vector<std::string> &hints() const;
    // Calls recorded so far whose text starts with one of the prefixes.
    std::vector<std::string> callsStartingWith(const std::vector<std::string> &prefixes) const;

    // Makes operation `op` (the name before the parenthesis of its recorded text, or one of
    // the unrecorded getters "SlideShowWindow", "View", "Slides", "SlideShowSettings",
    // "Presentations", "Application") throw. presId 0 matches every presentation; times -1
    // means every time from now on.
    void failOn(const std::string &op, const std::string &source, const std::string &description,
                int presId = 0, int times = -1);
    void clearFailures();

    // Slide count for presentations opened from fileName (default 10).
    void setSlideCount(const std::string &fileName, int count);
    // Builds per slide (from slide 1; 0 past the list) and the import report for presentations
    // opened from fileName; unset, the application cannot tell either.
    void setBuilds(const std::string &fileName, std::vector<int> perSlide);
    void setImportReport(const std::string &fileName, std::vector<std::string> lines);
    // Export writes a real picture (a plain colour for each presentation and slide) when true.
    void setExportWritesFiles(bool write);
    // Makes Next, Previous and GotoSlide show the slide again when the show was blanked, as
    // an application may (default: the blank stays).
    void setStepsReveal(bool reveal);
    // Runs inside every recorded call, once it is recorded (a test makes a call slow here).
    void setOnCall(std::function<void(const std::string &call)> hook);

    bool visible() const;
    int activePresentationId() const; // 0 when none
    int presentationCount() const;
    const PresentationState &presentation(int id) const;

    // The colour an exported picture of this presentation and slide is filled with.
    static unsigned colourFor(int presId, int slide);

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace pa::testing
