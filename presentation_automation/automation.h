#pragma once

// The part of the presentation application's object model that the controllers use.
// Plain C++ so that the Windows backend builds without Qt. Handles are cheap proxies;
// every operation may throw AutomationError. Strings are UTF-8.

#include "automation_error.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pa {

// Tri-state flags as the object model passes them: -1 true, 0 false.
constexpr int msoTrue = -1;
constexpr int msoFalse = 0;

// SlideShowView.State, as the object model numbers it.
constexpr std::int32_t ppSlideShowRunning = 1;
constexpr std::int32_t ppSlideShowPaused = 2;
constexpr std::int32_t ppSlideShowBlackScreen = 3;
constexpr std::int32_t ppSlideShowWhiteScreen = 4;
constexpr std::int32_t ppSlideShowDone = 5;

class Application;

class Slide
{
public:
    virtual ~Slide() = default;
    virtual std::int32_t slideIndex() = 0;
    // Writes the picture at exactly fileName (no extension added), replacing an old one.
    virtual void exportTo(const std::string &fileName, const std::string &filterName,
                          std::int32_t scaleWidth, std::int32_t scaleHeight) = 0;
    // The same picture, but only when the application has the slide drawn already, so the
    // caller never waits for a slide to be drawn; false (and nothing written) when it has
    // not. Applications that draw on demand (PowerPoint) always export.
    virtual bool exportIfDrawn(const std::string &fileName, const std::string &filterName,
                               std::int32_t scaleWidth, std::int32_t scaleHeight)
    {
        exportTo(fileName, filterName, scaleWidth, scaleHeight);
        return true;
    }
    // The slide's builds that wait for a click (Next presses before the slide is left);
    // nullopt when the application cannot tell.
    virtual std::optional<std::int32_t> buildCount() { return std::nullopt; }
};

class Slides
{
public:
    virtual ~Slides() = default;
    virtual std::int32_t count() = 0;
    virtual std::shared_ptr<Slide> item(std::int32_t index) = 0;
};

// What plays on a show's slide now: whether a video or sound plays, and the seconds left of
// the one to end first (none when every playing clip loops or its length is not known yet).
struct MediaState
{
    bool playing = false;
    std::optional<double> remainingSeconds;
};

class SlideShowView
{
public:
    virtual ~SlideShowView() = default;
    virtual void next() = 0;
    virtual void previous() = 0;
    virtual void gotoSlide(std::int32_t index, int resetSlide = msoTrue) = 0;
    // The slide the show is on now.
    virtual std::shared_ptr<Slide> slide() = 0;
    // Running, or blanked black or white over the slide (ppSlideShow* values).
    virtual std::int32_t state() = 0;
    virtual void setState(std::int32_t state) = 0;
    // The on-click builds of the current slide shown so far (0 on its first state);
    // nullopt when the application cannot tell.
    virtual std::optional<std::int32_t> buildStep() { return std::nullopt; }
    // nullopt when the application plays media itself and does not tell (PowerPoint).
    virtual std::optional<MediaState> media() { return std::nullopt; }
};

class SlideShowWindow
{
public:
    virtual ~SlideShowWindow() = default;
    // Placement in points of the whole desktop; the height is never set by the controllers.
    virtual void setLeft(float points) = 0;
    virtual void setTop(float points) = 0;
    virtual void setWidth(float points) = 0;
    virtual void activate() = 0;
    virtual std::shared_ptr<SlideShowView> view() = 0;
};

class SlideShowSettings
{
public:
    virtual ~SlideShowSettings() = default;
    // Starts the show on the presentation's own settings; the returned window is not used.
    virtual void run() = 0;
};

class Presentation
{
public:
    virtual ~Presentation() = default;
    virtual std::shared_ptr<SlideShowSettings> slideShowSettings() = 0;
    // Throws when the presentation's show is not running.
    virtual std::shared_ptr<SlideShowWindow> slideShowWindow() = 0;
    virtual std::shared_ptr<Slides> slides() = 0;
    virtual std::shared_ptr<Application> application() = 0;
    // What of the deck its slide show does not play (effects, transitions), one line each,
    // "slide N: ..."; nullopt when the application cannot tell.
    virtual std::optional<std::vector<std::string>> importReport() { return std::nullopt; }
    // A hint, not a command: the slides the show is likely to be sent to next, most likely
    // first, so that an application that draws slides ahead has them ready. Each hint
    // replaces the one before; an empty list withdraws it. Applications that draw on demand
    // (PowerPoint) have no such call and ignore it.
    virtual void prepareSlides(const std::vector<std::int32_t> &slides) { (void)slides; }
};

class Presentations
{
public:
    virtual ~Presentations() = default;
    // Arguments left empty are not passed at all, as a late-bound caller would omit them.
    virtual std::shared_ptr<Presentation> open(const std::string &fileName,
                                               std::optional<int> readOnly = std::nullopt,
                                               std::optional<int> untitled = std::nullopt,
                                               std::optional<int> withWindow = std::nullopt) = 0;
};

class Application
{
public:
    virtual ~Application() = default;
    virtual void setVisible(int visible) = 0;
    virtual std::shared_ptr<Presentations> presentations() = 0;
    virtual std::shared_ptr<Presentation> activePresentation() = 0;
};

// "Create the application": always reaches the one running instance (starting it when
// none runs). Throws AutomationError when it cannot.
using ApplicationFactory = std::function<std::shared_ptr<Application>()>;

inline constexpr const char *applicationProgId = "Powerpoint.Application";

} // namespace pa
