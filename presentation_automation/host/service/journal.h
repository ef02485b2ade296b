#pragma once

// The host's record of its presentations, so that a host started after a crash can put
// every show back as it was: same ids, same slides, same places. It is rewritten whole
// (write beside, rename over) whenever one of those changes, and removed when the host
// ends cleanly, so a journal found at start means the previous host died.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace pa::host {

struct JournalEntry
{
    std::int64_t id = 0;
    QString file;       // as the controller opened it
    QString pdf;        // what is drawn: the file itself or its converted copy
    int slideCount = 0; // what the file had; a restored file must still have it
    bool showRunning = false;
    int slide = 1;
    int step = 0; // 0-based build state of the slide; journals without it are at its start
    // Black or white over the slide as ppSlideShow* values; journals without it are running.
    std::int32_t viewState = 1;
    // As the controllers set them, in points; unset keeps where a new show starts.
    std::optional<double> left;
    std::optional<double> top;
    std::optional<double> width;
    // Seconds since the epoch of the last request that named it; 0 when not known.
    std::int64_t touched = 0;

    bool operator==(const JournalEntry &) const = default;
};

struct JournalState
{
    // Shared by the hosts that restore one another: a client that finds the same session
    // after a crash knows its ids still hold.
    QString session;
    std::int64_t nextId = 0;
    std::int64_t active = 0;
    std::vector<JournalEntry> presentations;

    bool operator==(const JournalState &) const = default;
};

// Ids are JSON numbers: beyond this they are no longer told apart.
inline constexpr std::int64_t maxPresentationId = 9007199254740992ll;
// The journal read back is bounded; what it holds is bounded far below that.
inline constexpr qint64 maxJournalBytes = 64ll * 1024 * 1024;
// Presentations without a running show kept at most, the most recently used ones...
inline constexpr size_t maxIdlePresentations = 1000;
// ...and only while something used them within this long.
inline constexpr std::int64_t idleForgottenAfterSecs = 30ll * 24 * 3600;

QByteArray encodeJournal(const JournalState &state);
// nullopt when the whole text is unusable (not JSON, another version). A field that is not
// well formed costs its entry only, or its own value at the top (said in *problems).
std::optional<JournalState> decodeJournal(const QByteArray &text, QStringList *problems);

// The presentations to forget: without a running show, and unused for long or beyond the
// most recently used maxIdlePresentations. A running show is never forgotten.
std::vector<std::int64_t> presentationsToForget(const std::vector<JournalEntry> &entries,
                                                std::int64_t nowSecs);

class Journal
{
public:
    explicit Journal(QString path) : m_path(std::move(path)) {}

    const QString &path() const { return m_path; }
    // Empty when saved, else why not.
    QString save(const JournalState &state) const;
    // nullopt when there is none (or it cannot be read at all, said in *problems).
    std::optional<JournalState> load(QStringList *problems) const;
    void remove() const;
    // The journal there now belongs to this session (a host that took over from this one
    // read it back).
    bool carriesSession(const QString &session) const;

private:
    QString m_path;
};

} // namespace pa::host
