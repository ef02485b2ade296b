#pragma once

// A save of one file that cannot be completed, as on a full disk or a file another program
// holds: while the object lives, replacing that file fails.

#include <QString>

#include <memory>

namespace platformtesting {

class FailingSave
{
public:
    // The file must exist.
    explicit FailingSave(const QString &file);
    ~FailingSave();
    FailingSave(const FailingSave &) = delete;
    FailingSave &operator=(const FailingSave &) = delete;

    // Whether the failure could be arranged.
    bool armed() const;

    struct State;

private:
    std::unique_ptr<State> m_state;
};

} // namespace platformtesting
