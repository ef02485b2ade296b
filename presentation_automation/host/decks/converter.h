#pragma once

// Turns .ppt, .pps, .pptx, .ppsx and .odp decks into PDF with LibreOffice, without
// blocking the host. Results are kept by the content's hash, so opening the same deck
// again needs no conversion.

#include <QObject>
#include <QString>
#include <QThreadPool>

#include <functional>

namespace pa::host {

class Converter : public QObject
{
    Q_OBJECT

public:
    // error completes a sentence that starts with the file's name ("could not be converted ...").
    using Done = std::function<void(const QString &pdfPath, const QString &error)>;

    explicit Converter(const QString &cacheDir, QObject *parent = nullptr);
    ~Converter() override;

    static bool needsConversion(const QString &path);
    static QString defaultCacheDir();

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // done is called later from the event loop, or at once when the answer is known.
    void convert(const QString &source, Done done);

private:
    struct Prepared;
    static Prepared prepare(const QString &source, const QString &cacheDir);
    void start(const Prepared &prepared, Done done);

    QString m_cacheDir;
    // Hashing and copying a deck, and checking and storing the result, take seconds for a
    // large one: never on the host's main thread.
    QThreadPool m_pool;
    int m_timeoutMs = 170000;
};

} // namespace pa::host
