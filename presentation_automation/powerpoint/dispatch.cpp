#include "presentation_automation/powerpoint/dispatch.h"

#include <cstdio>
#include <utility>

namespace pa::powerpoint {

std::wstring toUtf16(std::string_view utf8, const std::string &source)
{
    if (utf8.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf8.size());
    const int length =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (length <= 0) {
        throw AutomationError(source, "The text is not valid UTF-8.");
    }
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string toUtf8(std::wstring_view utf16)
{
    if (utf16.empty()) {
        return {};
    }
    const int size = static_cast<int>(utf16.size());
    // Unpaired surrogates become U+FFFD; an error text is still worth showing.
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, nullptr, 0, nullptr, nullptr);
    if (length <= 0) {
        return {};
    }
    std::string narrow(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), size, narrow.data(), length, nullptr, nullptr);
    return narrow;
}

std::string hresultText(HRESULT hr)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(hr));

    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    std::wstring text;
    if (buffer) {
        text.assign(buffer, length);
        LocalFree(buffer);
    }
    while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        return std::string("Automation error ") + code;
    }
    return toUtf8(text) + " (" + code + ")";
}

void throwComError(HRESULT hr, const EXCEPINFO *info, const std::string &fallbackSource)
{
    std::string source = fallbackSource;
    std::string description;
    if (info) {
        if (info->bstrSource && SysStringLen(info->bstrSource) > 0) {
            source = toUtf8({info->bstrSource, SysStringLen(info->bstrSource)});
        }
        if (info->bstrDescription && SysStringLen(info->bstrDescription) > 0) {
            description = toUtf8({info->bstrDescription, SysStringLen(info->bstrDescription)});
        }
        if (description.empty() && FAILED(info->scode)) {
            hr = info->scode;
        }
    }
    if (description.empty()) {
        description = hresultText(hr);
    }
    throw AutomationError(std::move(source), std::move(description));
}

namespace {

// Whether p points into code of this process. A deferred fill-in function is the callee's code
// and only valid in its own process; a proxy should clear it, but a garbage pointer must not be
// called.
bool isCallableCode(const void *p)
{
    MEMORY_BASIC_INFORMATION info{};
    if (!p || VirtualQuery(p, &info, sizeof info) != sizeof info || info.State != MEM_COMMIT) {
        return false;
    }
    const DWORD executable =
        PAGE_EXECUTE | PAGE_EXECUTE_READ | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    return (info.Protect & executable) != 0 && (info.Protect & PAGE_GUARD) == 0;
}

// Frees the strings of an EXCEPINFO however the call ended.
struct ExcepInfo
{
    EXCEPINFO info{};
    ~ExcepInfo()
    {
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrHelpFile);
    }
};

} // namespace

Variant::Variant(const Variant &other)
{
    VariantInit(&m_v);
    const HRESULT hr = VariantCopy(&m_v, const_cast<VARIANT *>(&other.m_v));
    if (FAILED(hr)) {
        throwComError(hr, nullptr, "Variant");
    }
}

Variant::Variant(Variant &&other) noexcept
{
    m_v = other.m_v;
    VariantInit(&other.m_v);
}

Variant &Variant::operator=(Variant other) noexcept
{
    std::swap(m_v, other.m_v);
    return *this;
}

Variant Variant::int32(std::int32_t value)
{
    Variant v;
    V_VT(&v.m_v) = VT_I4;
    V_I4(&v.m_v) = value;
    return v;
}

Variant Variant::single(float value)
{
    Variant v;
    V_VT(&v.m_v) = VT_R4;
    V_R4(&v.m_v) = value;
    return v;
}

Variant Variant::string(std::string_view utf8, const std::string &source)
{
    const std::wstring wide = toUtf16(utf8, source);
    BSTR b = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
    if (!b) {
        throwComError(E_OUTOFMEMORY, nullptr, source);
    }
    Variant v;
    V_VT(&v.m_v) = VT_BSTR;
    V_BSTR(&v.m_v) = b;
    return v;
}

Variant Variant::missing()
{
    Variant v;
    V_VT(&v.m_v) = VT_ERROR;
    V_ERROR(&v.m_v) = DISP_E_PARAMNOTFOUND;
    return v;
}

VARIANT *Variant::put()
{
    VariantClear(&m_v);
    return &m_v;
}

Dispatch::Dispatch(ComRef<IDispatch> object, std::string typeName)
    : m_object(std::move(object)), m_typeName(std::move(typeName))
{}

std::string Dispatch::sourceOf(std::string_view name) const
{
    return m_typeName + "." + std::string(name);
}

Variant Dispatch::invoke(std::string_view name, WORD flags, const std::vector<Variant> &args)
{
    const std::string source = sourceOf(name);
    if (!m_object) {
        throw AutomationError(source, "Object variable not set.");
    }

    std::wstring wideName = toUtf16(name, source);
    LPOLESTR names[] = {wideName.data()};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = m_object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr)) {
        throwComError(hr, nullptr, source);
    }

    // Invoke takes the arguments last to first. The VARIANTs stay owned by args.
    std::vector<VARIANTARG> reversed(args.size());
    for (std::size_t i = 0; i < args.size(); ++i) {
        reversed[args.size() - 1 - i] = args[i].get();
    }
    DISPID putId = DISPID_PROPERTYPUT;
    DISPPARAMS params{};
    params.rgvarg = reversed.empty() ? nullptr : reversed.data();
    params.cArgs = static_cast<UINT>(reversed.size());
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &putId;
        params.cNamedArgs = 1;
    }

    Variant result;
    ExcepInfo exception;
    UINT argError = 0;
    hr = m_object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                          (flags & DISPATCH_PROPERTYPUT) ? nullptr : result.put(), &exception.info,
                          &argError);
    if (FAILED(hr)) {
        if (hr == DISP_E_EXCEPTION) {
            if (isCallableCode(reinterpret_cast<const void *>(exception.info.pfnDeferredFillIn))) {
                exception.info.pfnDeferredFillIn(&exception.info);
            }
            throwComError(hr, &exception.info, source);
        }
        throwComError(hr, nullptr, source);
    }
    return result;
}

Variant Dispatch::get(std::string_view name, const std::vector<Variant> &args)
{
    return invoke(name, DISPATCH_METHOD | DISPATCH_PROPERTYGET, args);
}

Dispatch Dispatch::getObject(std::string_view name, std::string typeName,
                             const std::vector<Variant> &args)
{
    const Variant result = get(name, args);
    const VARIANT &v = result.get();
    ComRef<IDispatch> object;
    if (V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v)) {
        object = ComRef<IDispatch>::share(V_DISPATCH(&v));
    } else if (V_VT(&v) == VT_UNKNOWN && V_UNKNOWN(&v)) {
        V_UNKNOWN(&v)->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(object.put()));
    }
    if (!object) {
        throw AutomationError(sourceOf(name), "Object variable not set.");
    }
    return Dispatch(std::move(object), std::move(typeName));
}

std::int32_t Dispatch::getInt32(std::string_view name)
{
    const Variant result = get(name);
    Variant converted;
    const HRESULT hr =
        VariantChangeType(converted.put(), const_cast<VARIANT *>(&result.get()), 0, VT_I4);
    if (FAILED(hr)) {
        throwComError(hr, nullptr, sourceOf(name));
    }
    return V_I4(&converted.get());
}

void Dispatch::put(std::string_view name, const Variant &value)
{
    invoke(name, DISPATCH_PROPERTYPUT, {value});
}

void Dispatch::call(std::string_view name, const std::vector<Variant> &args)
{
    invoke(name, DISPATCH_METHOD, args);
}

} // namespace pa::powerpoint
