#pragma once

// The videos and sounds of the slide a show is on. A clip starts when its slide reaches the
// clip's start state (as the slide is shown, or as a step of Next), and stops when the show
// leaves the slide or steps back before that state; a slide shown again plays its clips from
// their start. A video is drawn by the show window at its rectangle, over the page and under
// a blank; until its first frame comes, and for good when it cannot be played, the page's
// poster shows there. Decoding runs on the media backend's own threads.
//
// A clip's file is first checked off the show's thread (a regular file that opens and reads)
// within a deadline: a file on a hung share leaves its poster and one line in the log, and
// the show steps on meanwhile. Only a file that answered is handed to the backend. A clip let
// go is silenced at once, and its player stopped only once its file answers again: a share
// that goes away while the clip plays holds the backend's reader, and a stop would wait for it.
// A clip that gets no further while it plays (a video's frames stop coming, a sound's position
// stands) has its file asked again; one that does not answer is given up as if it had failed.
//
// The clips the next step would start are opened ahead and held paused on their first frame,
// so they start at once; no more than those are held, so memory stays bounded.
//
// A trimmed clip plays only its part of the file, and a looping one loops that part. A clip
// hidden while not playing is drawn only while it plays (its pages have no poster). A sound
// that plays across slides goes on while the show moves on within them; it stops once the
// show goes beyond them, back to or before its own slide, or ends.
//
// Built without Qt Multimedia, nothing plays and every slide shows its posters.

#include "presentation_automation/host/decks/deck_description.h"
#include "presentation_automation/host/decks/slide_stepping.h"

#include <QImage>
#include <QObject>
#include <QRect>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;

namespace pa::host {

class DeadlineWorkers;
class FrameTap;
struct MediaCounts;
enum class MediaAdmission;

// Whether this build can play media at all.
bool mediaPlaybackAvailable();

// Tells, once back at the event loop, that the media open over every show changed: the
// host gives their room to frames, or takes it from them.
class MediaRoom : public QObject
{
    Q_OBJECT

public:
    static MediaRoom &instance();
    // Any number of calls before the event loop comes back make one changed().
    void tell();

signals:
    void changed();

private:
    bool m_due = false;
};

class SlideMedia : public QObject
{
    Q_OBJECT

public:
    explicit SlideMedia(QObject *parent = nullptr);
    ~SlideMedia() override;

    // The show is on slide (1-based) of deck at build state state (0-based).
    void follow(const DeckDescription &deck, int slide, int state);
    // The show went to slide: the clips of any other slide stop at once.
    void keepOnly(int slide);
    // Everything stops, as the show ends; nothing stays prepared.
    void stopAll();
    // Holds the clips that the step next would start paused on their first frame; whatever
    // else was prepared goes.
    void prepare(const DeckDescription &deck, const Step &next);
    // How many clips are held ready for a step to come.
    int preparedCount() const { return static_cast<int>(m_prepared.size()); }
    // True while a clip that does not loop plays on, or is held behind a blank: an automatic
    // step waits for its end.
    bool awaitsEnd() const;
    // Behind a blank the clips pause, silent; they go on when it comes down.
    void setHeld(bool held);

    // Draws each video's current frame at its rectangle of the page drawn at pageRect.
    void paint(QPainter &painter, const QRect &pageRect) const;
    // True while a video has a frame to draw.
    bool drawsVideo() const;
    // The rectangle of the page drawn at pageRect that the part of the page at fractions takes.
    static QRect area(const QRectF &fractions, const QRect &pageRect)
    {
        return QRectF(pageRect.x() + fractions.x() * pageRect.width(),
                      pageRect.y() + fractions.y() * pageRect.height(),
                      fractions.width() * pageRect.width(), fractions.height() * pageRect.height())
            .toAlignedRect();
    }
    struct Playing
    {
        bool playing = false;
        std::optional<qint64> remainingMs; // of the playing clip to end first
    };
    // What plays now; a clip held behind a blank does not.
    Playing playing() const;
    // One line per clip started on the slide, for the listing: "media1.mp4 playing, 1.2 s
    // elapsed, 18.8 s remaining, 30 frames, 29 pictures, longest gap 41.0 ms" ("looping" for a
    // clip that loops, "media2.mp4 not played"); the frames are those the decoder handed over,
    // the pictures those the show took to draw.
    QStringList status() const;

    // The memory the media open over every show are reckoned to hold (see mediumBytes).
    static std::int64_t openBytes();

    // Whether the file at path can be played: empty, or why not. Runs on a worker thread.
    using FileCheck = std::function<QString(const QString &path)>;
    // The check every clip's file passes before it is played, and how long it may take; for
    // tests, which stand in for a share that hangs.
    void setFileCheck(FileCheck check, int deadlineMs);

signals:
    // A video's picture changed, or went: the window is to be painted again where the
    // video is on the page (in fractions of it).
    void frameChanged(const QRectF &page);
    // A clip of the slide came to its end, or failed.
    void clipEnded();

private:
    struct Clip;
    std::unique_ptr<Clip> open(const QString &folder, const MediaClip &clip, int slide, int index);
    void start(const DeckDescription &deck, int index);
    // A clip not played for the host's bound on media open at once.
    static std::unique_ptr<Clip> refused(const MediaClip &clip, int slide, int index,
                                         MediaAdmission why);
    // Whether a clip of kind may be opened now, over every show; a clip a show starts (shown)
    // makes room by letting a clip held ready go.
    MediaAdmission admit(MediaKind kind, bool shown);
    void countOpen(MediaCounts &open, MediaCounts &heldReady) const;
    // Over every show, and the players let go whose file has not answered.
    static void countEveryShow(MediaCounts &open, MediaCounts &heldReady);
    // The clip cannot play on: its picture stays, and a shown one says why once.
    void giveUp(Clip &clip, const QString &problem);
    void stop(int index);
    void stopShown();
    // The show goes from the slide it was on to slide: its sounds that play across slides
    // and reach that far go on, the rest stop.
    void leaveFor(int slide);
    // The clip reached its end (or its trim's): a looping one plays its part again.
    void finish(Clip &clip);
    static void tell(Clip &clip);
    // Lets its player go, silent, to be stopped once its file answers; nothing of it reaches
    // this object afterwards.
    void release(Clip &clip);
    std::vector<std::unique_ptr<Clip>>::iterator preparedAt(int slide, int index);
    void remake(const Clip *failed);
    // In the show's thread, once the check of clip's file answered (why empty: it may be
    // played) or its deadline passed.
    void opened(Clip &clip, const QString &path, const QString &why);
    void makePlayer(Clip &clip, const QString &path);
    // Each second: a shown clip that got no further while it plays (a video's frames, a
    // sound's position) has its file asked again; one that does not answer is given up, its
    // poster shows and an automatic step goes on.
    void watchProgress();
    // In the show's thread: the newest picture of the clip that tap belongs to, if still held.
    void takeFrame(const FrameTap *tap);
    // The size in device pixels a clip at fractions of the page is drawn at; empty until the
    // page was first painted.
    QSize drawnSize(const QRectF &fractions) const;

    int m_slide = 0;
    bool m_held = false;
    std::vector<std::unique_ptr<Clip>> m_clips;
    std::vector<std::unique_ptr<Clip>> m_prepared;
    // Sounds of slides before this one that play across it.
    std::vector<std::unique_ptr<Clip>> m_carried;
    // Where the page was last painted; pictures of frames are made for it.
    mutable QRect m_pageRect;
    mutable qreal m_devicePixelRatio = 1.0;
    DeadlineWorkers *m_checks = nullptr;
    FileCheck m_check;
    int m_checkDeadlineMs = 2000;
};

} // namespace pa::host
