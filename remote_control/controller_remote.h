#pragma once

// What every controller's network remote does the same way: commands go to the window's own
// queue; the state is read again after each button, each burst of calls to the presentation
// application and each poll; and the application is asked once a second what the window does
// not record (slide counts, whether the shows run, whether it answers at all).

#include "remote_control/page_pictures.h"
#include "remote_control/remote_control.h"

#include "presentation_automation/automation.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

class QWidget;

namespace remote {

class ControllerRemote : public QObject
{
    Q_OBJECT

public:
    // What the application told of one show at the last probe.
    struct ShowProbe
    {
        int slides = 0;
        bool running = false;
        // The view state the show answered (running, black or white screen); none when it
        // could not tell.
        std::optional<std::int32_t> viewState;
        // What plays on the show's slide; none when the application does not tell (PowerPoint),
        // or has never told for this show.
        std::optional<pa::MediaState> media;
    };

    ~ControllerRemote() override;

    RemoteControl &control() { return m_control; }
    // Whether anybody hears the state: with the remote off, the application is not asked.
    bool heard() const { return m_probeApplication; }
    // The show as the remotes see it now.
    virtual State currentState() const = 0;
    // Reads the state now and sends it on if it changed.
    void publish();
    // Fields another part adds to every state (following, where the shows really are), for as
    // long as owner lives.
    void addStateFields(QObject *owner, std::function<State()> fields);
    // The state with every added field, as subscribers get it (less the followers).
    State fullState() const;
    // The presentations whose shows are probed, in screen order (null where none is open).
    virtual std::vector<std::shared_ptr<pa::Presentation>> presentations() const = 0;

signals:
    // Each state read, changed or not.
    void published(const remote::State &state);

protected:
    // queue runs one remote command through the window's queue.
    ControllerRemote(QWidget &window, Program program, const RemoteSettings &settings,
                     const QString &logPath, std::function<void(const QString &)> queue);
    // Connects the window and starts the timers; called last by a subclass's constructor, as
    // publishing needs the subclass's state.
    void start();

    // Whether the application has been created.
    virtual bool applicationCreated() const = 0;
    // The pictures the web remote's page shows, and what else it shows besides the state
    // (sent with RemoteControl::setPageData when it changed).
    virtual std::vector<PagePicture> pagePictures() const = 0;
    virtual void publishPageData() {}
    // After each probe, before its state is published: the window may take what the
    // application told (a screen blanked from the show's own keys, say).
    virtual void showsProbed() {}

    const ShowProbe &show(std::size_t index) const;
    bool hostReachable() const { return m_hostReachable; }
    // "<prefix>media" (playing or none) and "<prefix>remaining" (seconds left of the clip that
    // ends first, to a tenth; 0 when none plays or what plays has no end) of a show; nothing
    // when the application does not tell.
    State mediaFields(std::size_t index, const QString &prefix) const;

private:
    void probe();
    // While a clip plays, only the media of the shows are asked, a few times a second, so a
    // remaining time counts down smoothly; otherwise the once-a-second probe is enough.
    void probeMedia();
    void readMedia(std::size_t index);
    void paceMediaProbe();

    QWidget &m_window;
    RemoteControl m_control;
    std::function<void(const QString &)> m_queue;
    bool m_probeApplication;
    QTimer m_poll;
    QTimer m_probe;
    QTimer m_mediaProbe;
    std::vector<ShowProbe> m_shows;
    // The views of the running shows at the last probe, asked again for their media.
    std::vector<std::shared_ptr<pa::SlideShowView>> m_views;
    bool m_hostReachable = false;
    int m_probeSkips = 0;
    PagePictures m_pictures;
    std::vector<std::pair<QPointer<QObject>, std::function<State()>>> m_extraFields;
};

} // namespace remote
