#include "Class1.h"

#include "platform/error.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <bitset>

namespace {

constexpr char formFeed = '\f';
constexpr std::int32_t largestBufferSize = 32767; // the fill count is a 16-bit number

// Runtime file numbers in use, 1..255, as the runtime hands them out.
std::bitset<256> &channelsInUse()
{
    static std::bitset<256> used;
    return used;
}

std::int16_t takeFreeChannel()
{
    for (std::size_t n = 1; n < channelsInUse().size(); ++n) {
        if (!channelsInUse().test(n)) {
            channelsInUse().set(n);
            return static_cast<std::int16_t>(n);
        }
    }
    return 0;
}

// Blanks are spaces only, as the runtime's trimming functions see them.
QByteArray trimLeading(const QByteArray &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == ' ') {
        ++i;
    }
    return text.mid(i);
}

QByteArray trimTrailing(const QByteArray &text)
{
    qsizetype n = text.size();
    while (n > 0 && text.at(n - 1) == ' ') {
        --n;
    }
    return text.left(n);
}

bool isBlank(const QByteArray &text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c == ' '; });
}

// Letters outside ASCII compare exactly even when case is ignored.
qsizetype findText(const QByteArray &haystack, const QByteArray &needle, bool ignoreCase)
{
    if (!ignoreCase) {
        return haystack.indexOf(needle);
    }
    return haystack.toLower().indexOf(needle.toLower());
}

} // namespace

Class1::Class1() = default;

Class1::~Class1()
{
    cfCloseFile();
}

void Class1::setLineDelimiter(const QString &value)
{
    m_delimiter = encode(value);
    m_delimiterDetected = false;
}

std::int16_t Class1::cfOpenFile()
{
    // Each open starts a fresh read, so a reader can be used for a second file.
    cfCloseFile();
    resetReading();

    if (m_fileName.isEmpty()) {
        return errBadFileName;
    }
    const QFileInfo info(m_fileName);
    if (!info.exists()) {
        return errFileNotFound;
    }
    if (!info.isFile()) {
        return errPathFileAccess;
    }
    const std::int16_t channel = takeFreeChannel();
    if (channel == 0) {
        return errTooManyFiles;
    }
    auto file = std::make_unique<QFile>(m_fileName);
    // Reading only: never creates or changes the file.
    if (!file->open(QIODevice::ReadOnly)) {
        channelsInUse().reset(static_cast<std::size_t>(channel));
        return errPermissionDenied;
    }
    m_channel = channel;
    m_file = std::move(file);
    m_bytesLeft = m_file->size();
    return 0;
}

void Class1::cfCloseFile()
{
    // The number is freed once: closing again must not free it from a reader that took it since.
    if (m_file) {
        m_file->close();
        m_file.reset();
        channelsInUse().reset(static_cast<std::size_t>(m_channel));
    }
}

void Class1::resetReading()
{
    m_leftOver.clear();
    m_leftOverStart = 0;
    m_nextLine.clear();
    m_nextLineEnd.clear();
    m_text.clear();
    m_previousLine.clear();
    m_endOfFile = false;
    m_primed = false;
    m_linesRead = 0;
    m_bytesLeft = 0;
    if (m_delimiterDetected) {
        m_delimiter.clear();
        m_delimiterDetected = false;
    }
}

void Class1::csGetALine()
{
    m_previousLine = m_text;
    if (!m_primed) {
        ReadNextLine();
        m_primed = true;
    }
    deliverLookAhead();
}

void Class1::deliverLookAhead()
{
    for (;;) {
        m_text = m_nextLine;
        m_linesRead += 1;
        if (m_countOnlyNonBlank && isBlank(m_text)) {
            m_linesRead -= 1;
        }
        m_text = treated(m_text);
        ReadNextLine();
        if (!(m_noBlankLines && isBlank(m_text) && !m_endOfFile)) {
            return;
        }
    }
}

QByteArray Class1::treated(QByteArray line) const
{
    if (m_stripLeading) {
        line = trimLeading(line);
    }
    if (m_stripTrailing) {
        line = trimTrailing(line);
    }
    if (m_onlyPrintable) {
        line = KeepPrintable(line);
    }
    return line;
}

void Class1::csFindLine(const QString &strStringToFind, bool bolIgnoreCase)
{
    const Qt::CaseSensitivity cs = bolIgnoreCase ? Qt::CaseInsensitive : Qt::CaseSensitive;
    if (m_text.isEmpty()) {
        csGetALine();
    }
    while (!Text().contains(strStringToFind, cs) && !m_endOfFile) {
        csGetALine();
    }
}

void Class1::csFindInFile(const QString &strStringToFind, bool bolIgnoreCase)
{
    const QByteArray needle = encode(strStringToFind);
    if (m_primed) {
        // The rest of the file starts with the look-ahead line, already cut from the buffer.
        m_leftOver = m_nextLine + m_nextLineEnd + pending();
        m_leftOverStart = 0;
    }
    m_nextLine.clear();
    m_nextLineEnd.clear();
    m_text.clear();
    FillBuffer();

    qsizetype found = findText(pending(), needle, bolIgnoreCase);
    while (found < 0 && m_bytesLeft > 0 && !m_endOfFile) {
        // Keep the tail an occurrence split across two fills starts in; never the whole
        // buffer, or the next fill could read nothing and the search would never end.
        const qsizetype keep =
            std::max<qsizetype>(0, std::min<qsizetype>(needle.size() - 1, m_bufferSize - 1));
        m_leftOver = pending().right(keep);
        m_leftOverStart = 0;
        FillBuffer();
        found = findText(pending(), needle, bolIgnoreCase);
    }

    if (found < 0) {
        // The whole file was searched.
        m_nextLine.clear();
        m_leftOver.clear();
        m_leftOverStart = 0;
        m_endOfFile = true;
        m_primed = true;
        return;
    }

    const QByteArray before = takePending(found);
    ReadNextLine(); // the found line from the string on; also detects the line end if needed

    // Without a line end in the text kept aside, the found line's start is no longer held:
    // Text then begins with the string.
    QByteArray lineStart;
    m_previousLine.clear();
    if (m_fixedWidth == 0) {
        // The part of the found line before the string, and the line before it, as far as
        // the buffer still holds them.
        const auto lastLineEnd = [this](const QByteArray &text, qsizetype &endLength) {
            qsizetype at = m_delimiter.isEmpty() ? -1 : text.lastIndexOf(m_delimiter);
            endLength = m_delimiter.size();
            const qsizetype feed = text.lastIndexOf(formFeed);
            if (feed > at) {
                at = feed;
                endLength = 1;
            }
            return at;
        };
        qsizetype endLength = 0;
        const qsizetype at = lastLineEnd(before, endLength);
        if (at >= 0) {
            lineStart = before.mid(at + endLength);
            const QByteArray earlier = before.left(at);
            qsizetype earlierEndLength = 0;
            const qsizetype earlierAt = lastLineEnd(earlier, earlierEndLength);
            m_previousLine =
                treated(earlierAt >= 0 ? earlier.mid(earlierAt + earlierEndLength) : earlier);
        }
    }
    m_nextLine = lineStart + m_nextLine;
    m_primed = true;
    deliverLookAhead();
}

qsizetype Class1::findPending(const QByteArray &what) const
{
    const qsizetype at = m_leftOver.indexOf(what, m_leftOverStart);
    return at < 0 ? -1 : at - m_leftOverStart;
}

QByteArray Class1::takePending(qsizetype count)
{
    const QByteArray taken = m_leftOver.mid(m_leftOverStart, count);
    m_leftOverStart += taken.size();
    if (m_leftOverStart >= m_leftOver.size()) {
        m_leftOver.clear();
        m_leftOverStart = 0;
    }
    return taken;
}

void Class1::ReadNextLine()
{
    FillBuffer();
    if (m_fixedWidth < 0) {
        throw platform::runtimeError(QStringLiteral("Invalid procedure call or argument"));
    }
    m_nextLineEnd.clear();
    if (m_fixedWidth != 0) {
        m_nextLine = takePending(m_fixedWidth);
        return;
    }
    if (m_delimiter.isEmpty()) {
        DetectDelimiter();
    }
    const qsizetype feed = findPending(QByteArray(1, formFeed));
    const qsizetype end = m_delimiter.isEmpty() ? -1 : findPending(m_delimiter);
    if (feed < 0 && end < 0) {
        // No line end in the buffer: all of it is one line.
        m_nextLine = takePending(pendingSize());
        if (m_delimiter.isEmpty() && m_bytesLeft == 0) {
            // The file's only line end is its very last character: still a line end.
            if (m_nextLine.endsWith('\n') || m_nextLine.endsWith('\r')) {
                m_nextLineEnd = m_nextLine.right(1);
                m_nextLine.chop(1);
            }
        }
        return;
    }
    if (feed >= 0 && (end < 0 || feed < end)) {
        m_nextLine = takePending(feed);
        m_nextLineEnd = takePending(1);
    } else {
        m_nextLine = takePending(end);
        m_nextLineEnd = takePending(m_delimiter.size());
    }
}

void Class1::FillBuffer()
{
    if (m_endOfFile) {
        return;
    }
    if (m_bufferSize > largestBufferSize) {
        throw platform::runtimeError(QStringLiteral("Overflow"));
    }
    if (m_bufferSize < 1) {
        throw platform::runtimeError(QStringLiteral("Invalid procedure call or argument"));
    }
    if (pendingSize() < m_bufferSize) {
        const qint64 count = std::min<qint64>(m_bufferSize - pendingSize(), m_bytesLeft);
        if (count > 0) {
            if (!m_file) {
                throw platform::runtimeError(QStringLiteral("Bad file name or number"));
            }
            QByteArray chunk = m_file->read(count);
            if (m_file->error() != QFileDevice::NoError) {
                throw platform::runtimeError(QStringLiteral("Device I/O error: %1 (%2)")
                                                 .arg(m_fileName, m_file->errorString()));
            }
            // A file that shrank while open ends where its bytes end.
            m_bytesLeft = chunk.size() < count ? 0 : m_bytesLeft - count;
            if (m_stripNulls) {
                chunk = RemoveNulls(chunk);
            }
            // Lines are cut from the front by moving a start mark; the text before it is
            // dropped only once it is at least as long as what follows, so cutting a line
            // costs its own length, not the buffer's.
            if (m_leftOverStart > 0 && m_leftOverStart >= pendingSize()) {
                m_leftOver.remove(0, m_leftOverStart);
                m_leftOverStart = 0;
            }
            m_leftOver += chunk;
        }
    }
    m_endOfFile = m_nextLine.isEmpty() && pendingSize() == 0 && m_bytesLeft == 0;
    // Long files and searches must not freeze the window.
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::processEvents();
    }
}

void Class1::DetectDelimiter()
{
    // Positions counted from 1, as the runtime's search does: an end whose only occurrence
    // starts at the buffer's last character is not taken (its second half may still come).
    qsizetype best = pendingSize();
    const auto consider = [this, &best](const char *candidate) {
        const qsizetype at = findPending(candidate);
        if (at >= 0 && at + 1 < best) {
            best = at + 1;
            m_delimiter = candidate;
            m_delimiterDetected = true;
        }
    };
    consider("\r\n");
    consider("\n");
    consider("\r");
}

QByteArray Class1::RemoveNulls(const QByteArray &text)
{
    QByteArray out = text;
    out.removeIf([](char c) { return c == '\0'; });
    return out;
}

QByteArray Class1::KeepPrintable(const QByteArray &text)
{
    QByteArray out = text;
    out.removeIf([](char c) {
        const auto code = static_cast<unsigned char>(c);
        return code < 32 || code > 126;
    });
    return out;
}
