#pragma once

// Reads a single-byte text file line by line through a buffer of BufferSize characters, so a
// long file is never held whole. Options drop blank lines, trim blanks, remove NULs or
// everything outside codes 32..126, split at a given or detected line end (a form feed ends a
// line too) or into fixed-width records, and find a line or a text in the file.
//
// One character is one byte of the file. Lines are handed out decoded with the system's
// 8-bit codec. Only cfOpenFile reports errors by number; every other operation throws
// pa::AutomationError, as the caller's error trap expects.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdint>
#include <memory>

class Class1
{
public:
    Class1();
    ~Class1(); // closes the file
    Class1(const Class1 &) = delete;
    Class1 &operator=(const Class1 &) = delete;

    // VB runtime error numbers cfOpenFile returns.
    static constexpr std::int16_t errBadFileName = 52;
    static constexpr std::int16_t errFileNotFound = 53;
    static constexpr std::int16_t errPermissionDenied = 70;
    static constexpr std::int16_t errPathFileAccess = 75;
    static constexpr std::int16_t errTooManyFiles = 67;

    bool StripNulls() const { return m_stripNulls; }
    void setStripNulls(bool value) { m_stripNulls = value; }
    bool OnlyAlphaNumericCharacters() const { return m_onlyPrintable; }
    void setOnlyAlphaNumericCharacters(bool value) { m_onlyPrintable = value; }
    std::int16_t FixedWidthLineLength() const { return m_fixedWidth; }
    void setFixedWidthLineLength(std::int16_t value) { m_fixedWidth = value; }
    QString LineDelimiter() const { return decode(m_delimiter); }
    void setLineDelimiter(const QString &value);
    QString PreviousLine() const { return decode(m_previousLine); }
    void setPreviousLine(const QString &value) { m_previousLine = encode(value); }
    QString NextLine() const { return decode(m_nextLine); }
    void setNextLine(const QString &value) { m_nextLine = encode(value); }
    bool CountOnlyNonBlankLines() const { return m_countOnlyNonBlank; }
    void setCountOnlyNonBlankLines(bool value) { m_countOnlyNonBlank = value; }
    double LinesRead() const { return m_linesRead; }
    void setLinesRead(double value) { m_linesRead = value; }
    bool StripTrailingSpaces() const { return m_stripTrailing; }
    void setStripTrailingSpaces(bool value) { m_stripTrailing = value; }
    bool StripLeadingSpaces() const { return m_stripLeading; }
    void setStripLeadingSpaces(bool value) { m_stripLeading = value; }
    bool NoBlankLines() const { return m_noBlankLines; }
    void setNoBlankLines(bool value) { m_noBlankLines = value; }
    QString FileName() const { return m_fileName; }
    void setFileName(const QString &value) { m_fileName = value; }
    // Above 32767 the next fill fails with "Overflow"; below 1 with "Invalid procedure call
    // or argument" (nothing could ever be read).
    std::int32_t BufferSize() const { return m_bufferSize; }
    void setBufferSize(std::int32_t value) { m_bufferSize = value; }
    std::int16_t ChannelNumber() const { return m_channel; }
    bool EndOfFile() const { return m_endOfFile; }
    void setEndOfFile(bool value) { m_endOfFile = value; }
    QString LeftOver() const { return decode(pending()); }
    void setLeftOver(const QString &value)
    {
        m_leftOver = encode(value);
        m_leftOverStart = 0;
    }
    QString Text() const { return decode(m_text); }
    void setText(const QString &value) { m_text = encode(value); }
    std::int64_t BytesLeft() const { return m_bytesLeft; }
    void setBytesLeft(std::int64_t value) { m_bytesLeft = value; }

    // Opens FileName for reading only (a missing file is never created) and returns 0, or the
    // runtime error number of the failure. Starts reading afresh.
    std::int16_t cfOpenFile();
    void cfCloseFile();
    // Delivers the next line into Text; at the end of the file Text is "" and EndOfFile true.
    void csGetALine();
    // Moves on line by line until Text contains the string (or the file ends).
    void csFindLine(const QString &strStringToFind, bool bolIgnoreCase);
    // Searches the rest of the file's raw text, also across buffer fills, and makes the line
    // that holds the string the current one; when it is not found, Text is "" and the file
    // is read to its end.
    void csFindInFile(const QString &strStringToFind, bool bolIgnoreCase);

    // The two character filters, on raw single-byte text.
    static QByteArray RemoveNulls(const QByteArray &text);
    static QByteArray KeepPrintable(const QByteArray &text);

private:
    void ReadNextLine();
    void FillBuffer();
    void DetectDelimiter();
    void resetReading();
    // Steps the look-ahead into Text (skipping blank lines when asked) and reads the next.
    void deliverLookAhead();
    QByteArray treated(QByteArray line) const; // trims and filters as the options say
    QByteArray pending() const { return m_leftOver.mid(m_leftOverStart); }
    qsizetype pendingSize() const { return m_leftOver.size() - m_leftOverStart; }
    qsizetype findPending(const QByteArray &what) const; // from the start of LeftOver
    QByteArray takePending(qsizetype count);             // cuts from the front of LeftOver

    static QString decode(const QByteArray &bytes) { return QString::fromLocal8Bit(bytes); }
    static QByteArray encode(const QString &text) { return text.toLocal8Bit(); }

    bool m_stripNulls = false;
    bool m_onlyPrintable = false;
    std::int16_t m_fixedWidth = 0;
    QByteArray m_delimiter;
    bool m_delimiterDetected = false; // detected from the last file, not given by the caller
    QByteArray m_previousLine;
    QByteArray m_nextLine;
    bool m_countOnlyNonBlank = false;
    double m_linesRead = 0;
    bool m_stripTrailing = false;
    bool m_stripLeading = false;
    bool m_noBlankLines = false;
    QString m_fileName;
    std::int32_t m_bufferSize = 4096;
    std::int16_t m_channel = 0;
    bool m_endOfFile = false;
    QByteArray m_leftOver; // LeftOver is the part from m_leftOverStart on
    qsizetype m_leftOverStart = 0;
    QByteArray m_text;
    std::int64_t m_bytesLeft = 0;

    bool m_primed = false;    // the look-ahead NextLine holds the line to deliver next
    QByteArray m_nextLineEnd; // the line end cut off after NextLine
    std::unique_ptr<QFile> m_file;
};
