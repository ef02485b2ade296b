#include "platform/testing/failing_save.h"

#include <QDir>

#include <windows.h>

namespace platformtesting {

// The file held open without sharing: the new copy is written, but it cannot replace the old.
struct FailingSave::State
{
    HANDLE file = INVALID_HANDLE_VALUE;
};

FailingSave::FailingSave(const QString &file) : m_state(std::make_unique<State>())
{
    m_state->file =
        CreateFileW(reinterpret_cast<const wchar_t *>(QDir::toNativeSeparators(file).utf16()),
                    GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

FailingSave::~FailingSave()
{
    if (m_state->file != INVALID_HANDLE_VALUE) {
        CloseHandle(m_state->file);
    }
}

bool FailingSave::armed() const
{
    return m_state->file != INVALID_HANDLE_VALUE;
}

} // namespace platformtesting
