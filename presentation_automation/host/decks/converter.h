#pragma once

// Turns .ppt, .pps, .pptx, .ppsx and .odp decks into PDF with LibreOffice, without
// blocking the host: by the stepped import (a page per build state and a description of the
// deck beside the PDF), or plainly (a page per slide) when that cannot be had. Results are
// kept by the content's hash and the import's version, so opening the same deck again needs
// no conversion.

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
    // Where converted decks, and the media written out of decks, are kept.
    const QString &cacheDir() const { return m_cacheDir; }

    // The whole conversion's: the stepped import gets two thirds, a plain conversion after it
    // the rest.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // Empty: every deck is converted plainly.
    void setImportScript(const QString &path) { m_importScript = path; }
    // done is called later from the event loop, or at once when the answer is known.
    void convert(const QString &source, Done done);

private:
    struct Prepared;
    static Prepared prepare(const QString &source, const QString &cacheDir, bool importable);
    void startImport(const Prepared &prepared, Done done);
    // storeAs: the cache entry the PDF is kept as; note, when given, why it has no builds.
    void startPlain(const Prepared &prepared, const QString &storeAs, int timeoutMs, Done done,
                    const QString &note = {});

    QString m_cacheDir;
    // Hashing and copying a deck, and checking and storing the result, take seconds for a
    // large one: never on the host's main thread.
    QThreadPool m_pool;
    int m_timeoutMs = 170000;
    QString m_importScript;
};

} // namespace pa::host
