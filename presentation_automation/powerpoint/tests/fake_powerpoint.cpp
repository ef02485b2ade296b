#include "presentation_automation/powerpoint/tests/fake_powerpoint.h"

#include "presentation_automation/powerpoint/dispatch.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <map>
#include <stdexcept>

namespace pa::powerpoint::testing {

namespace {

enum class Kind
{
    Application,
    Presentations,
    Presentation,
    SlideShowSettings,
    SlideShowWindow,
    SlideShowView,
    Slides,
    Slide
};

const char *kindName(Kind kind)
{
    switch (kind) {
    case Kind::Application:
        return "Application";
    case Kind::Presentations:
        return "Presentations";
    case Kind::Presentation:
        return "Presentation";
    case Kind::SlideShowSettings:
        return "SlideShowSettings";
    case Kind::SlideShowWindow:
        return "SlideShowWindow";
    case Kind::SlideShowView:
        return "SlideShowView";
    case Kind::Slides:
        return "Slides";
    case Kind::Slide:
        return "Slide";
    }
    return "?";
}

enum class Access
{
    Get,
    GetPut,
    Method
};

struct Member
{
    const char *name;
    DISPID id;
    Access access;
    UINT minArgs;
    UINT maxArgs;
};

// The members of PowerPoint's objects that the double knows, a few more than the backend
// uses, so that a wrong name is told apart from a missing one.
const std::map<Kind, std::vector<Member>> &memberTable()
{
    static const std::map<Kind, std::vector<Member>> table{
        {Kind::Application,
         {{"Visible", 2001, Access::GetPut, 0, 0},
          {"Presentations", 2002, Access::Get, 0, 0},
          {"ActivePresentation", 2003, Access::Get, 0, 0},
          {"Quit", 2004, Access::Method, 0, 0}}},
        {Kind::Presentations,
         {{"Open", 2001, Access::Method, 1, 4}, {"Count", 2002, Access::Get, 0, 0}}},
        {Kind::Presentation,
         {{"SlideShowSettings", 2001, Access::Get, 0, 0},
          {"SlideShowWindow", 2002, Access::Get, 0, 0},
          {"Slides", 2003, Access::Get, 0, 0},
          {"Application", 2004, Access::Get, 0, 0},
          {"Close", 2005, Access::Method, 0, 0}}},
        {Kind::SlideShowSettings, {{"Run", 2001, Access::Method, 0, 0}}},
        {Kind::SlideShowWindow,
         {{"Left", 2001, Access::GetPut, 0, 0},
          {"Top", 2002, Access::GetPut, 0, 0},
          {"Width", 2003, Access::GetPut, 0, 0},
          {"Height", 2004, Access::GetPut, 0, 0},
          {"Activate", 2005, Access::Method, 0, 0},
          {"View", 2006, Access::Get, 0, 0}}},
        {Kind::SlideShowView,
         {{"Next", 2001, Access::Method, 0, 0},
          {"Previous", 2002, Access::Method, 0, 0},
          {"GotoSlide", 2003, Access::Method, 1, 2},
          {"Slide", 2004, Access::Get, 0, 0},
          {"State", 2005, Access::GetPut, 0, 0}}},
        {Kind::Slides, {{"Count", 2001, Access::Get, 0, 0}, {"Item", 2002, Access::Method, 1, 1}}},
        {Kind::Slide,
         {{"SlideIndex", 2001, Access::Get, 0, 0}, {"Export", 2002, Access::Method, 2, 4}}},
    };
    return table;
}

bool sameNameIgnoringCase(const wchar_t *a, const char *b)
{
    for (; *a && *b; ++a, ++b) {
        if (std::towlower(*a) != std::towlower(static_cast<unsigned char>(*b))) {
            return false;
        }
    }
    return *a == 0 && *b == 0;
}

std::string flagText(WORD flags)
{
    switch (flags) {
    case DISPATCH_METHOD:
        return "method";
    case DISPATCH_PROPERTYGET:
        return "get";
    case DISPATCH_METHOD | DISPATCH_PROPERTYGET:
        return "method|get";
    case DISPATCH_PROPERTYPUT:
        return "put";
    default:
        return "flags " + std::to_string(flags);
    }
}

std::string variantText(const VARIANT &v)
{
    char buffer[64];
    switch (V_VT(&v)) {
    case VT_I2:
        return "I2 " + std::to_string(V_I2(&v));
    case VT_I4:
        return "I4 " + std::to_string(V_I4(&v));
    case VT_BOOL:
        return "BOOL " + std::to_string(V_BOOL(&v));
    case VT_R4:
        std::snprintf(buffer, sizeof buffer, "R4 %g", static_cast<double>(V_R4(&v)));
        return buffer;
    case VT_R8:
        std::snprintf(buffer, sizeof buffer, "R8 %g", V_R8(&v));
        return buffer;
    case VT_BSTR:
        return "BSTR " + toUtf8({V_BSTR(&v), SysStringLen(V_BSTR(&v))});
    case VT_ERROR:
        std::snprintf(buffer, sizeof buffer, "ERROR 0x%08lX",
                      static_cast<unsigned long>(V_ERROR(&v)));
        return buffer;
    default:
        return "VT " + std::to_string(V_VT(&v));
    }
}

// Deferred EXCEPINFO: what the fill-in function writes when the caller asks for it.
thread_local FakeException pendingException;

HRESULT __stdcall fillInPendingException(EXCEPINFO *info)
{
    info->bstrSource = SysAllocString(toUtf16(pendingException.source, "").c_str());
    info->bstrDescription = SysAllocString(toUtf16(pendingException.description, "").c_str());
    info->scode = pendingException.scode;
    info->pfnDeferredFillIn = nullptr;
    return S_OK;
}

bool isMissing(const VARIANT &v)
{
    return V_VT(&v) == VT_ERROR && V_ERROR(&v) == DISP_E_PARAMNOTFOUND;
}

// Raised inside Invoke to end the call with an HRESULT (and an EXCEPINFO when given).
struct CallFailure
{
    HRESULT hr;
    std::optional<FakeException> exception;
};

[[noreturn]] void raise(const std::string &member, const std::string &text)
{
    throw CallFailure{DISP_E_EXCEPTION, FakeException{fakePowerPointSource, member + " : " + text,
                                                      fakePowerPointError}};
}

class FakeObject;

} // namespace

struct FakePowerPoint::World
{
    std::vector<std::unique_ptr<FakeObject>> pool; // objects live until the double goes
    FakeObject *application = nullptr;
    std::vector<std::string> calls;
    std::function<void(const std::string &)> callObserver;
    std::function<void(const std::wstring &, int, int, int, int)> exportWriter;
    std::vector<FakePresentation> presentations;
    std::map<std::wstring, int> files;
    std::map<std::string, CallFailure> failures;
    std::map<std::string, bool> nothing;
    bool deferred = false;
    bool deferredCallable = true;
    bool visible = false;
    int active = 0;
    long addRefs = 0;
    long releases = 0;
    bool overReleased = false;

    FakeObject *make(Kind kind, int presId = 0, int slide = 0);
    FakePresentation &presentation(int id)
    {
        return presentations.at(static_cast<std::size_t>(id - 1));
    }
};

namespace {

class FakeObject : public IDispatch
{
public:
    FakeObject(FakePowerPoint::World *world, Kind kind, int presId, int slide)
        : m_world(world), m_kind(kind), m_presId(presId), m_slide(slide)
    {}
    virtual ~FakeObject() = default;

    long refs() const { return m_refs; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (!object) {
            return E_POINTER;
        }
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *object = static_cast<IDispatch *>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }

    ULONG STDMETHODCALLTYPE AddRef() override
    {
        ++m_world->addRefs;
        return static_cast<ULONG>(++m_refs);
    }

    ULONG STDMETHODCALLTYPE Release() override
    {
        ++m_world->releases;
        if (m_refs == 0) {
            m_world->overReleased = true;
            return 0;
        }
        return static_cast<ULONG>(--m_refs);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *count) override
    {
        *count = 0;
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **info) override
    {
        *info = nullptr;
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID,
                                            DISPID *ids) override
    {
        if (count != 1) {
            return E_NOTIMPL;
        }
        for (const Member &m : memberTable().at(m_kind)) {
            if (sameNameIgnoringCase(names[0], m.name)) {
                ids[0] = m.id;
                return S_OK;
            }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *params,
                                     VARIANT *result, EXCEPINFO *exception, UINT *) override
    {
        const Member *member = nullptr;
        for (const Member &m : memberTable().at(m_kind)) {
            if (m.id == id) {
                member = &m;
            }
        }
        if (!member) {
            return DISP_E_MEMBERNOTFOUND;
        }
        const std::string memberName = std::string(kindName(m_kind)) + "." + member->name;

        // Arguments in the order the caller wrote them, the named put value set apart.
        std::vector<VARIANT> args;
        for (UINT i = params->cArgs; i > 0; --i) {
            args.push_back(params->rgvarg[i - 1]);
        }
        std::string text = std::string(kindName(m_kind)) + identity() + "." + member->name + " " +
                           flagText(flags) + "(";
        for (std::size_t i = 0; i < args.size(); ++i) {
            text += (i ? ", " : "") + variantText(args[i]);
        }
        m_world->calls.push_back(text + ")");
        if (m_world->callObserver) {
            m_world->callObserver(m_world->calls.back());
        }

        try {
            if (auto it = m_world->failures.find(memberName); it != m_world->failures.end()) {
                CallFailure failure = it->second;
                m_world->failures.erase(it);
                throw failure;
            }
            checkCallShape(*member, flags, params);
            if (flags & DISPATCH_PROPERTYPUT) {
                // The value is the one named argument, first in rgvarg.
                put(memberName, params->rgvarg[0]);
                return S_OK;
            }
            VARIANT value;
            VariantInit(&value);
            call(memberName, std::vector<VARIANT>(args), value);
            if (m_world->nothing.erase(memberName)) {
                VariantClear(&value);
            }
            if (result) {
                *result = value;
            } else {
                VariantClear(&value);
            }
            return S_OK;
        } catch (const CallFailure &failure) {
            if (failure.exception && exception) {
                if (m_world->deferred) {
                    pendingException = *failure.exception;
                    *exception = EXCEPINFO{};
                    exception->pfnDeferredFillIn = fillInPendingException;
                    if (!m_world->deferredCallable) {
                        static const unsigned char notCode[16] = {};
                        exception->pfnDeferredFillIn =
                            reinterpret_cast<HRESULT(__stdcall *)(EXCEPINFO *)>(
                                const_cast<unsigned char *>(notCode));
                    }
                } else {
                    exception->bstrSource =
                        SysAllocString(toUtf16(failure.exception->source, "").c_str());
                    exception->bstrDescription =
                        SysAllocString(toUtf16(failure.exception->description, "").c_str());
                    exception->scode = failure.exception->scode;
                }
            }
            return failure.hr;
        }
    }

private:
    std::string identity() const
    {
        if (m_kind == Kind::Application || m_kind == Kind::Presentations) {
            return "";
        }
        // Appended piece by piece: GCC 12 warns (wrongly) about operator+ on a literal here.
        std::string text = "(";
        text += std::to_string(m_presId);
        if (m_kind == Kind::Slide) {
            text += '/';
            text += std::to_string(m_slide);
        }
        text += ')';
        return text;
    }

    // What the type library checks before PowerPoint sees the call.
    static void checkCallShape(const Member &member, WORD flags, const DISPPARAMS *params)
    {
        if (flags & DISPATCH_PROPERTYPUT) {
            if (member.access != Access::GetPut) {
                throw CallFailure{DISP_E_MEMBERNOTFOUND, std::nullopt};
            }
            if (params->cArgs != 1 || params->cNamedArgs != 1 || !params->rgdispidNamedArgs ||
                params->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT) {
                throw CallFailure{DISP_E_PARAMNOTFOUND, std::nullopt};
            }
            return;
        }
        const bool wantsGet = (flags & DISPATCH_PROPERTYGET) != 0;
        const bool wantsMethod = (flags & DISPATCH_METHOD) != 0;
        const bool matches = member.access == Access::Method ? wantsMethod : wantsGet;
        if (!matches) {
            throw CallFailure{DISP_E_MEMBERNOTFOUND, std::nullopt};
        }
        if (params->cNamedArgs != 0) {
            throw CallFailure{DISP_E_NONAMEDARGS, std::nullopt};
        }
        if (params->cArgs < member.minArgs || params->cArgs > member.maxArgs) {
            throw CallFailure{DISP_E_BADPARAMCOUNT, std::nullopt};
        }
    }

    static VARIANT coerced(const VARIANT &v, VARTYPE type)
    {
        VARIANT out;
        VariantInit(&out);
        if (FAILED(VariantChangeType(&out, const_cast<VARIANT *>(&v), 0, type))) {
            throw CallFailure{DISP_E_TYPEMISMATCH, std::nullopt};
        }
        return out;
    }

    static int intArg(const VARIANT &v)
    {
        const VARIANT i = coerced(v, VT_I4);
        return V_I4(&i);
    }

    static float floatArg(const VARIANT &v)
    {
        const VARIANT f = coerced(v, VT_R4);
        return V_R4(&f);
    }

    static std::wstring stringArg(const VARIANT &v)
    {
        VARIANT s = coerced(v, VT_BSTR);
        std::wstring text(V_BSTR(&s), SysStringLen(V_BSTR(&s)));
        VariantClear(&s);
        return text;
    }

    void returnObject(VARIANT &out, FakeObject *object)
    {
        object->AddRef();
        V_VT(&out) = VT_DISPATCH;
        V_DISPATCH(&out) = object;
    }

    static void returnInt(VARIANT &out, int value)
    {
        V_VT(&out) = VT_I4;
        V_I4(&out) = value;
    }

    FakePresentation &runningShow(const std::string &memberName)
    {
        FakePresentation &p = m_world->presentation(m_presId);
        if (!p.showRunning) {
            raise(memberName, "Invalid request. There is no currently active slide show.");
        }
        return p;
    }

    static void checkSlideNumber(const std::string &memberName, int index, int count)
    {
        if (index < 1 || index > count) {
            raise(memberName, "Integer out of range. " + std::to_string(index) +
                                  " is out of the valid range of 1 to " + std::to_string(count) +
                                  ".");
        }
    }

    void put(const std::string &memberName, const VARIANT &value)
    {
        if (memberName == "Application.Visible") {
            m_world->visible = intArg(value) != 0;
        } else if (m_kind == Kind::SlideShowWindow) {
            FakePresentation &p = runningShow(memberName);
            const float points = floatArg(value);
            if (memberName == "SlideShowWindow.Left") {
                p.left = points;
            } else if (memberName == "SlideShowWindow.Top") {
                p.top = points;
            } else if (memberName == "SlideShowWindow.Width") {
                p.width = points;
            }
        } else if (memberName == "SlideShowView.State") {
            FakePresentation &p = runningShow(memberName);
            const int state = intArg(value);
            if (state < pa::ppSlideShowRunning || state > pa::ppSlideShowDone) {
                raise(memberName, "Invalid enumeration value.");
            }
            p.viewState = state;
        }
    }

    void call(const std::string &memberName, const std::vector<VARIANT> &args, VARIANT &out)
    {
        FakePowerPoint::World &w = *m_world;
        if (memberName == "Application.Visible") {
            returnInt(out, w.visible ? -1 : 0);
        } else if (memberName == "Application.Presentations") {
            returnObject(out, w.make(Kind::Presentations));
        } else if (memberName == "Application.ActivePresentation") {
            if (w.active == 0) {
                raise(memberName, "Invalid request. There is no active presentation.");
            }
            returnObject(out, w.make(Kind::Presentation, w.active));
        } else if (memberName == "Presentations.Open") {
            const std::wstring file = stringArg(args[0]);
            for (std::size_t i = 1; i < args.size(); ++i) {
                if (!isMissing(args[i])) {
                    intArg(args[i]);
                }
            }
            auto it = w.files.find(file);
            if (it == w.files.end()) {
                raise(memberName, "PowerPoint could not open the file.");
            }
            FakePresentation p;
            p.id = static_cast<int>(w.presentations.size()) + 1;
            p.fileName = file;
            p.slideCount = it->second;
            w.presentations.push_back(p);
            w.active = p.id;
            returnObject(out, w.make(Kind::Presentation, p.id));
        } else if (memberName == "Presentations.Count") {
            returnInt(out, static_cast<int>(w.presentations.size()));
        } else if (memberName == "Presentation.SlideShowSettings") {
            returnObject(out, w.make(Kind::SlideShowSettings, m_presId));
        } else if (memberName == "Presentation.SlideShowWindow") {
            runningShow(memberName);
            returnObject(out, w.make(Kind::SlideShowWindow, m_presId));
        } else if (memberName == "Presentation.Slides") {
            returnObject(out, w.make(Kind::Slides, m_presId));
        } else if (memberName == "Presentation.Application") {
            returnObject(out, w.application);
        } else if (memberName == "SlideShowSettings.Run") {
            FakePresentation &p = w.presentation(m_presId);
            p.showRunning = true;
            p.currentSlide = 1;
            p.viewState = pa::ppSlideShowRunning;
            w.active = m_presId;
            returnObject(out, w.make(Kind::SlideShowWindow, m_presId));
        } else if (memberName == "SlideShowWindow.Activate") {
            runningShow(memberName);
            w.active = m_presId;
        } else if (memberName == "SlideShowWindow.View") {
            runningShow(memberName);
            returnObject(out, w.make(Kind::SlideShowView, m_presId));
        } else if (m_kind == Kind::SlideShowWindow) {
            const FakePresentation &p = runningShow(memberName);
            V_VT(&out) = VT_R4;
            V_R4(&out) = memberName == "SlideShowWindow.Left"  ? p.left
                         : memberName == "SlideShowWindow.Top" ? p.top
                                                               : p.width;
        } else if (memberName == "SlideShowView.Next") {
            FakePresentation &p = runningShow(memberName);
            p.currentSlide = std::min(p.currentSlide + 1, p.slideCount);
        } else if (memberName == "SlideShowView.Previous") {
            FakePresentation &p = runningShow(memberName);
            p.currentSlide = std::max(p.currentSlide - 1, 1);
        } else if (memberName == "SlideShowView.GotoSlide") {
            FakePresentation &p = runningShow(memberName);
            const int index = intArg(args[0]);
            if (args.size() > 1 && !isMissing(args[1])) {
                intArg(args[1]);
            }
            checkSlideNumber(memberName, index, p.slideCount);
            p.currentSlide = index;
        } else if (memberName == "SlideShowView.State") {
            returnInt(out, runningShow(memberName).viewState);
        } else if (memberName == "SlideShowView.Slide") {
            const FakePresentation &p = runningShow(memberName);
            returnObject(out, w.make(Kind::Slide, m_presId, p.currentSlide));
        } else if (memberName == "Slides.Count") {
            returnInt(out, w.presentation(m_presId).slideCount);
        } else if (memberName == "Slides.Item") {
            const int index = intArg(args[0]);
            checkSlideNumber(memberName, index, w.presentation(m_presId).slideCount);
            returnObject(out, w.make(Kind::Slide, m_presId, index));
        } else if (memberName == "Slide.SlideIndex") {
            returnInt(out, m_slide);
        } else if (memberName == "Slide.Export") {
            const std::wstring file = stringArg(args[0]);
            stringArg(args[1]);
            int size[2] = {0, 0};
            for (std::size_t i = 2; i < args.size(); ++i) {
                size[i - 2] = intArg(args[i]);
            }
            const std::size_t slash = file.find_last_of(L"\\/");
            const std::wstring folder = slash == std::wstring::npos ? L"." : file.substr(0, slash);
            const DWORD attributes = GetFileAttributesW(folder.c_str());
            if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
                raise(memberName, "The folder of the file does not exist.");
            }
            if (w.exportWriter) {
                w.exportWriter(file, m_presId, m_slide, size[0], size[1]);
            }
        } else {
            throw CallFailure{E_NOTIMPL, std::nullopt};
        }
    }

    FakePowerPoint::World *m_world;
    Kind m_kind;
    int m_presId;
    int m_slide;
    long m_refs = 0;
};

} // namespace

FakeObject *FakePowerPoint::World::make(Kind kind, int presId, int slide)
{
    pool.push_back(std::make_unique<FakeObject>(this, kind, presId, slide));
    return pool.back().get();
}

FakePowerPoint::FakePowerPoint() : m_world(std::make_unique<World>())
{
    m_world->application = m_world->make(Kind::Application);
}

FakePowerPoint::~FakePowerPoint() = default;

DispatchCreator FakePowerPoint::creator()
{
    World *world = m_world.get();
    return [world]() {
        world->calls.push_back("create");
        return ComRef<IDispatch>::share(world->application);
    };
}

void FakePowerPoint::addFile(const std::string &utf8FileName, int slideCount)
{
    m_world->files[toUtf16(utf8FileName, "")] = slideCount;
}

void FakePowerPoint::failNext(const std::string &member, HRESULT hr,
                              std::optional<FakeException> exception)
{
    m_world->failures[member] = CallFailure{hr, std::move(exception)};
}

void FakePowerPoint::returnNothingNext(const std::string &member)
{
    m_world->nothing[member] = true;
}

void FakePowerPoint::setDeferredFillIn(bool deferred, bool callable)
{
    m_world->deferred = deferred;
    m_world->deferredCallable = callable;
}

void FakePowerPoint::setCallObserver(std::function<void(const std::string &)> observer)
{
    m_world->callObserver = std::move(observer);
}

void FakePowerPoint::setExportWriter(
    std::function<void(const std::wstring &, int, int, int, int)> writer)
{
    m_world->exportWriter = std::move(writer);
}

const std::vector<std::string> &FakePowerPoint::calls() const
{
    return m_world->calls;
}

void FakePowerPoint::clearCalls()
{
    m_world->calls.clear();
}

long FakePowerPoint::liveReferences() const
{
    long total = 0;
    for (const auto &object : m_world->pool) {
        total += object->refs();
    }
    return total;
}

long FakePowerPoint::addRefs() const
{
    return m_world->addRefs;
}

long FakePowerPoint::releases() const
{
    return m_world->releases;
}

bool FakePowerPoint::overReleased() const
{
    return m_world->overReleased;
}

bool FakePowerPoint::visible() const
{
    return m_world->visible;
}

int FakePowerPoint::presentationCount() const
{
    return static_cast<int>(m_world->presentations.size());
}

const FakePresentation &FakePowerPoint::presentation(int id) const
{
    return m_world->presentation(id);
}

int FakePowerPoint::activePresentationId() const
{
    return m_world->active;
}

} // namespace pa::powerpoint::testing
