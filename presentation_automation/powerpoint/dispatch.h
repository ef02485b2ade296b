#pragma once

// Late-bound calls on IDispatch: names resolved with GetIDsOfNames, then Invoke. Owns every
// BSTR, VARIANT and interface it touches, and turns every failure into AutomationError.

#include "presentation_automation/automation_error.h"
#include "presentation_automation/powerpoint/com_ref.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pa::powerpoint {

// UTF-8 <-> UTF-16. Malformed UTF-8 throws AutomationError(source, ...), since a mangled file
// name must not reach the application as some other name.
std::wstring toUtf16(std::string_view utf8, const std::string &source);
std::string toUtf8(std::wstring_view utf16);

// The system's text for an HRESULT, with the code in hex ("... (0x80010001)"); when the system
// has no text for it, "Automation error 0x80010001".
std::string hresultText(HRESULT hr);

// Throws the AutomationError for a failed call. With an EXCEPINFO (already filled in), its source
// and description are used; a missing part falls back to fallbackSource and the HRESULT's text.
[[noreturn]] void throwComError(HRESULT hr, const EXCEPINFO *info,
                                const std::string &fallbackSource);

// A VARIANT that is cleared when it goes.
class Variant
{
public:
    Variant() { VariantInit(&m_v); }
    ~Variant() { VariantClear(&m_v); }
    Variant(const Variant &other);
    Variant(Variant &&other) noexcept;
    Variant &operator=(Variant other) noexcept;

    static Variant int32(std::int32_t value);
    static Variant single(float value);
    static Variant string(std::string_view utf8, const std::string &source);
    // The marker for an optional argument that is left out before a later one that is given.
    static Variant missing();

    const VARIANT &get() const { return m_v; }
    // Clears and hands out the VARIANT for an out-parameter.
    VARIANT *put();

private:
    VARIANT m_v;
};

// One automation object and the name of its type in the object model ("SlideShowWindow"),
// which names the failing call when the application gives no source of its own.
class Dispatch
{
public:
    Dispatch(ComRef<IDispatch> object, std::string typeName);

    // A property read or a method whose result is used: DISPATCH_METHOD | DISPATCH_PROPERTYGET,
    // as a late-bound caller does, so either kind of member answers.
    Variant get(std::string_view name, const std::vector<Variant> &args = {});
    Dispatch getObject(std::string_view name, std::string typeName,
                       const std::vector<Variant> &args = {});
    std::int32_t getInt32(std::string_view name);
    // DISPATCH_PROPERTYPUT with the named argument DISPID_PROPERTYPUT.
    void put(std::string_view name, const Variant &value);
    // DISPATCH_METHOD; a returned value is released at once.
    void call(std::string_view name, const std::vector<Variant> &args = {});

    IDispatch *object() const { return m_object.get(); }
    const std::string &typeName() const { return m_typeName; }

private:
    Variant invoke(std::string_view name, WORD flags, const std::vector<Variant> &args);
    std::string sourceOf(std::string_view name) const;

    ComRef<IDispatch> m_object;
    std::string m_typeName;
};

} // namespace pa::powerpoint
