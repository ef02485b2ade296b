#pragma once

// A hand-written stand-in for PowerPoint's automation objects, spoken to through IDispatch
// only. It keeps presentations, their shows and slides, answers like PowerPoint (including its
// EXCEPINFO errors for a slide out of range or a show that is not running), and records each
// call as text:
//   "Presentations.Open method|get(BSTR C:\a.ppt, I4 0, I4 0, I4 -1)"
//   "SlideShowWindow(2).Left put(R4 -768)"
//   "Slide(1/3).Export method(BSTR C:\x\ExportSlide, BSTR JPG, I4 175, I4 125)"
// Objects carry their presentation (and slide) in parentheses; flags are "get", "method",
// "method|get" or "put". Every AddRef and Release is counted.

#include "presentation_automation/powerpoint/powerpoint_automation.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pa::powerpoint::testing {

// The error code the double puts in its EXCEPINFO.
constexpr HRESULT fakePowerPointError = static_cast<HRESULT>(0x80048240L);
// The source PowerPoint names in its errors.
inline constexpr const char *fakePowerPointSource = "Microsoft PowerPoint";

struct FakePresentation
{
    int id = 0; // 1-based, in opening order
    std::wstring fileName;
    int slideCount = 0;
    bool showRunning = false;
    int currentSlide = 0;
    float left = 0, top = 0, width = 0;
    int viewState = 1; // SlideShowView.State; steps leave it as it is
};

struct FakeException
{
    std::string source;
    std::string description;
    HRESULT scode = fakePowerPointError;
};

class FakePowerPoint
{
public:
    FakePowerPoint();
    ~FakePowerPoint();
    FakePowerPoint(const FakePowerPoint &) = delete;
    FakePowerPoint &operator=(const FakePowerPoint &) = delete;

    // Stands in for CoCreateInstance: each call records "create" and hands out a new reference
    // to the one application object.
    DispatchCreator creator();

    // Files that Open accepts, with their number of slides.
    void addFile(const std::string &utf8FileName, int slideCount);

    // The next call of "Type.Member" (as in the record, without the parenthesis) fails with hr,
    // and with an EXCEPINFO when one is given.
    void failNext(const std::string &member, HRESULT hr,
                  std::optional<FakeException> exception = std::nullopt);
    // The next call of "Type.Member" succeeds but returns nothing (VT_EMPTY).
    void returnNothingNext(const std::string &member);
    // EXCEPINFO left for the caller to fill in through pfnDeferredFillIn. Not callable: the
    // pointer is not code (as a broken proxy might hand over), so nothing can fill it in.
    void setDeferredFillIn(bool deferred, bool callable = true);

    // Told each call as it is recorded, and each export once its folder is found, with the
    // file name, presentation and slide: a program of its own keeps its record and pictures in
    // files through these.
    void setCallObserver(std::function<void(const std::string &call)> observer);
    void setExportWriter(std::function<void(const std::wstring &file, int presentation, int slide,
                                            int width, int height)>
                             writer);

    const std::vector<std::string> &calls() const;
    void clearCalls();

    // References the outside holds on the double's objects now.
    long liveReferences() const;
    long addRefs() const;
    long releases() const;
    // A Release of an object that had no reference left.
    bool overReleased() const;

    bool visible() const;
    int presentationCount() const;
    const FakePresentation &presentation(int id) const;
    int activePresentationId() const;

    struct World;

private:
    std::unique_ptr<World> m_world;
};

} // namespace pa::powerpoint::testing
