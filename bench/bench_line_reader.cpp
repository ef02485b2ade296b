// The line reader on a large file: lines per second and bytes per second for a few buffer
// sizes, a search for text at the end of the file, and the memory the reading needs.

#include "presentation_controller/Class1.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <cstdio>

namespace {

long peakResidentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            return line.mid(6).trimmed().split(' ').value(0).toLong();
        }
    }
    return -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv); // the reader lets the event loop run on every fill
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.txt"));
    const int lineCount = 400000;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            return 1;
        }
        QRandomGenerator random(7);
        QByteArray chunk;
        for (int i = 0; i < lineCount; ++i) {
            const int length = static_cast<int>(random.bounded(120));
            chunk += QByteArray(length, static_cast<char>('a' + i % 26));
            chunk += (i % 10 == 0) ? "\r\n\r\n" : "\r\n";
            if (chunk.size() > (1 << 20)) {
                file.write(chunk);
                chunk.clear();
            }
        }
        chunk += "the closing NEEDLE line\r\n";
        file.write(chunk);
    }
    const double megabytes = static_cast<double>(QFile(path).size()) / (1024.0 * 1024.0);
    std::printf("file: %.1f MiB, %d lines (plus blank ones)\n", megabytes, lineCount);
    const long rssBefore = peakResidentKiB();

    for (const int bufferSize : {512, 4096, 32767}) {
        Class1 reader;
        reader.setFileName(path);
        reader.setBufferSize(bufferSize);
        reader.setNoBlankLines(true);
        reader.setOnlyAlphaNumericCharacters(true);
        if (reader.cfOpenFile() != 0) {
            return 1;
        }
        QElapsedTimer timer;
        timer.start();
        long lines = 0;
        while (!reader.EndOfFile()) {
            reader.csGetALine();
            ++lines;
        }
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        std::printf("read, buffer %5d: %ld lines in %.3f s = %.0f lines/s, %.1f MiB/s\n",
                    bufferSize, lines, seconds, static_cast<double>(lines) / seconds,
                    megabytes / seconds);
    }

    for (const int bufferSize : {4096, 32767}) {
        Class1 reader;
        reader.setFileName(path);
        reader.setBufferSize(bufferSize);
        if (reader.cfOpenFile() != 0) {
            return 1;
        }
        QElapsedTimer timer;
        timer.start();
        reader.csFindInFile(QStringLiteral("needle"), true);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        std::printf("find at the end, buffer %5d: %.3f s = %.1f MiB/s (found: %s)\n", bufferSize,
                    seconds, megabytes / seconds, qPrintable(reader.Text()));
    }
    std::printf("peak resident memory: %ld KiB before reading, %ld KiB after\n", rssBefore,
                peakResidentKiB());
    return 0;
}
