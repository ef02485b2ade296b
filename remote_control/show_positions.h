#pragma once

// Where each show really is (its slide and build step), asked of the presentation application
// after the window's calls to it, so that a hand step or a press in a show window is seen too.
// Its own calls do not wake it again.

#include "presentation_automation/automation.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace remote {

class ShowPositions : public QObject
{
    Q_OBJECT

public:
    struct Position
    {
        int showing = 0; // 0: no show running
        std::optional<int> build;
        bool operator==(const Position &) const = default;
    };
    using Presentations = std::function<std::vector<std::shared_ptr<pa::Presentation>>()>;

    explicit ShowPositions(Presentations presentations, QObject *parent = nullptr);

    const std::vector<Position> &positions() const { return m_positions; }
    Position of(std::size_t index) const;
    // Asks only when told to (readNow), not after the window's calls nor once a second.
    void onlyWhenAsked();
    // Asks the application now; false (nothing asked) while another call is under way.
    bool readNow();
    // Asks again when other calls were made since the last answer, so that a state read now
    // tells the script line and where the shows are together; says nothing of a change.
    void refreshIfStale();

signals:
    void changed();

private:
    void othersCalled();
    bool stale() const;
    bool read(bool tell);

    Presentations m_presentations;
    std::vector<Position> m_positions;
    QTimer m_due;
    QTimer m_poll;
    bool m_readOnce = false;
    bool m_watching = true;
    // Calls of others (the window's handlers, its remote) announced, and as many at the last read.
    quint64 m_othersCalls = 0;
    quint64 m_othersCallsRead = 0;
};

} // namespace remote
