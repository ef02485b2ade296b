// Feeds arbitrary files to the line reader with options taken from the input's first bytes,
// as a damaged or foreign display numbers file (or any file a caller points it at) would
// arrive. The reader must end, hold no more than its buffer, lose no character of a
// fixed-width file, and the display numbers fields must come out whole or be refused.

#include "presentation_controller/Class1.h"
#include "presentation_controller/display_numbers.h"

#include "presentation_automation/automation_error.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "line reader: %s\n", what);
    std::abort();
}

QString inputFile(const QByteArray &content)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("input"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size()) {
        fail("cannot write the input file");
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 5) {
        return 0;
    }
    const std::uint8_t flags = data[0];
    const std::int32_t bufferSize = data[1] < 200 ? 1 + data[1] % 40 : 4096;
    const auto fixedWidth = static_cast<std::int16_t>(data[2] % 4 == 0 ? data[2] % 9 : 0);
    const std::uint8_t mode = data[3];
    const std::size_t needleLength = data[4] % 6;
    const QByteArray rest(reinterpret_cast<const char *>(data + 5),
                          static_cast<qsizetype>(size - 5));
    const QByteArray needle = rest.left(static_cast<qsizetype>(needleLength));
    const QByteArray content = rest.mid(needle.size());

    Class1 reader;
    reader.setFileName(inputFile(content));
    reader.setNoBlankLines(flags & 1);
    reader.setCountOnlyNonBlankLines(flags & 2);
    reader.setStripLeadingSpaces(flags & 4);
    reader.setStripTrailingSpaces(flags & 8);
    reader.setStripNulls(flags & 16);
    reader.setOnlyAlphaNumericCharacters(flags & 32);
    reader.setBufferSize(bufferSize);
    reader.setFixedWidthLineLength(fixedWidth);
    if (mode % 4 == 1) {
        reader.setLineDelimiter(QStringLiteral(";"));
    }
    if (reader.cfOpenFile() != 0) {
        fail("cannot open an existing file");
    }

    const bool plain = (flags & (1 | 4 | 8 | 16 | 32)) == 0;
    QByteArray joined;
    try {
        if (mode % 3 == 1) {
            reader.csFindInFile(QString::fromLatin1(needle), mode & 8);
        } else if (mode % 3 == 2) {
            reader.csFindLine(QString::fromLatin1(needle), mode & 8);
        }
        // Each line takes at least one character of the file, so this many calls must reach
        // the end.
        const qsizetype limit = content.size() + 3;
        qsizetype calls = 0;
        while (!reader.EndOfFile()) {
            if (++calls > limit) {
                fail("does not reach the end of the file");
            }
            reader.csGetALine();
            // Characters never outnumber the bytes they were decoded from.
            if (reader.LeftOver().size() > bufferSize) {
                fail("holds more than its buffer");
            }
            joined += reader.Text().toLocal8Bit();
            try {
                const QStringList fields =
                    kestro::displayNumbersFields(reader.Text(), QStringLiteral("input"));
                if (fields.size() != 3) {
                    fail("display numbers: not three fields");
                }
            } catch (const pa::AutomationError &) {
                // Fewer than three fields: refused, as it should be.
            }
        }
    } catch (const pa::AutomationError &) {
        fail("reading a readable file failed");
    }
    const bool ascii = std::all_of(content.begin(), content.end(), [](char c) { return c >= 0; });
    if (mode % 3 == 0 && plain && fixedWidth > 0 && ascii && joined != content) {
        fail("fixed-width records lost or changed characters");
    }
    return 0;
}
