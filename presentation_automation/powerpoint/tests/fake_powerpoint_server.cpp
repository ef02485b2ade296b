// The fake PowerPoint as a program of its own, a COM local server registered as
// "Powerpoint.Application", so that the real programs reach it as they reach PowerPoint: through
// CLSIDFromProgID and CoCreateInstance, across processes.
//
//   fake_powerpoint_server /RegServer --log C:\x\calls.txt --file "C:\Shows\a.ppt=8" ...
//       registers it (machine-wide, as wine reads only those), with these options on the command
//       line COM starts it with
//   fake_powerpoint_server /UnregServer
//   fake_powerpoint_server [-Embedding] --log FILE --file NAME=SLIDES ...
//       serves: one application for every client, each call appended to FILE as the double
//       records it, each export written as a JPEG picture naming its presentation and slide.
//       It ends when FILE.stop exists, and then writes FILE.stopped.

#include "presentation_automation/powerpoint/tests/fake_powerpoint.h"

#include "presentation_automation/powerpoint/dispatch.h"

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QString>

#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

using pa::powerpoint::testing::FakePowerPoint;

// A CLSID of the double's own: a machine with the real PowerPoint keeps its registration.
constexpr CLSID fakeClsid = {
    0x6a1c2f0e, 0x51b3, 0x4d7e, {0x9a, 0x0c, 0x3e, 0x55, 0x1f, 0x7b, 0x24, 0xd1}};
constexpr const wchar_t *fakeClsidText = L"{6A1C2F0E-51B3-4D7E-9A0C-3E551F7B24D1}";
constexpr const wchar_t *progIdKey = L"Software\\Classes\\Powerpoint.Application";
const std::wstring clsidKey = std::wstring(L"Software\\Classes\\CLSID\\") + fakeClsidText;

bool setDefaultValue(const std::wstring &key, const std::wstring &value)
{
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG result =
        RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE *>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return result == ERROR_SUCCESS;
}

std::wstring quoted(const std::wstring &text)
{
    return L"\"" + text + L"\"";
}

int registerServer(const std::vector<std::wstring> &options)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring command = quoted(self);
    for (const std::wstring &option : options) {
        command += L" " + quoted(option);
    }
    const bool done = setDefaultValue(progIdKey, L"Fake PowerPoint") &&
                      setDefaultValue(std::wstring(progIdKey) + L"\\CLSID", fakeClsidText) &&
                      setDefaultValue(clsidKey, L"Fake PowerPoint") &&
                      setDefaultValue(clsidKey + L"\\LocalServer32", command);
    return done ? 0 : 1;
}

int unregisterServer()
{
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, progIdKey);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, clsidKey.c_str());
    return 0;
}

// Hands out the one application object, as the running PowerPoint does.
class Factory : public IClassFactory
{
public:
    explicit Factory(FakePowerPoint &fake) : m_create(fake.creator()) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **object) override
    {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory *>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **object) override
    {
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        pa::powerpoint::ComRef<IDispatch> app = m_create();
        return app->QueryInterface(riid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

private:
    pa::powerpoint::DispatchCreator m_create;
};

bool fileExists(const std::wstring &path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void appendLine(const std::wstring &file, const std::string &line)
{
    if (FILE *out = _wfopen(file.c_str(), L"ab")) {
        std::fputs((line + "\n").c_str(), out);
        std::fclose(out);
    }
}

// A picture of the exported slide: its colour and its text say which slide it is.
void writePicture(const std::wstring &file, int presentation, int slide, int width, int height)
{
    QImage picture(width > 0 ? width : 175, height > 0 ? height : 125, QImage::Format_RGB32);
    picture.fill(QColor::fromHsv((presentation * 97 + slide * 31) % 360, 200, 220));
    picture.setText(QStringLiteral("Slide"), QStringLiteral("%1/%2").arg(presentation).arg(slide));
    picture.save(QString::fromStdWString(file), "JPG");
}

} // namespace

int main(int argc, char **argv)
{
    int wargc = 0;
    wchar_t **wargv = CommandLineToArgvW(GetCommandLineW(), &wargc);
    std::vector<std::wstring> options;
    bool doRegister = false;
    bool doUnregister = false;
    std::wstring log;
    FakePowerPoint fake;
    for (int i = 1; i < wargc; ++i) {
        const std::wstring arg = wargv[i];
        if (arg == L"/RegServer" || arg == L"-RegServer") {
            doRegister = true;
            continue;
        }
        if (arg == L"/UnregServer" || arg == L"-UnregServer") {
            doUnregister = true;
            continue;
        }
        if (arg == L"-Embedding" || arg == L"/Embedding") {
            continue;
        }
        options.push_back(arg);
        if (arg == L"--log" && i + 1 < wargc) {
            log = wargv[++i];
            options.push_back(log);
        } else if (arg == L"--file" && i + 1 < wargc) {
            const std::wstring file = wargv[++i];
            options.push_back(file);
            const std::size_t equals = file.rfind(L'=');
            if (equals != std::wstring::npos) {
                fake.addFile(pa::powerpoint::toUtf8(file.substr(0, equals)),
                             std::stoi(file.substr(equals + 1)));
            }
        }
    }
    LocalFree(wargv);
    if (doUnregister) {
        return unregisterServer();
    }
    if (doRegister) {
        return registerServer(options);
    }
    if (log.empty()) {
        std::fputs("fake_powerpoint_server: --log FILE is needed\n", stderr);
        return 2;
    }

    // For the JPEG plugin; the server has no window.
    QCoreApplication app(argc, argv);
    fake.setCallObserver([&log](const std::string &call) { appendLine(log, call); });
    fake.setExportWriter(writePicture);

    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return 1;
    }
    Factory factory(fake);
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(fakeClsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie))) {
        return 1;
    }
    // Calls arrive as window messages of this apartment; a timer looks for the stop file.
    const UINT_PTR timer = SetTimer(nullptr, 0, 200, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (message.message == WM_TIMER && message.wParam == timer && fileExists(log + L".stop")) {
            break;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    CoRevokeClassObject(cookie);
    CoUninitialize();
    appendLine(log + L".stopped", "stopped");
    return 0;
}
