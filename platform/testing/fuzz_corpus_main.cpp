// main() of a fuzz target built as a plain program: runs the target once on each file it is
// given (a folder: each file in it), so that CTest replays the corpus without libFuzzer.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdint>
#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

int main(int argc, char *argv[])
{
    int runs = 0;
    const auto runFile = [&runs](const QString &path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", qPrintable(path));
            return false;
        }
        const QByteArray bytes = file.readAll();
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t *>(bytes.constData()),
                               static_cast<std::size_t>(bytes.size()));
        ++runs;
        return true;
    };
    for (int i = 1; i < argc; ++i) {
        const QString path = QString::fromLocal8Bit(argv[i]);
        if (QFileInfo(path).isDir()) {
            const QDir dir(path);
            for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
                if (!runFile(dir.filePath(name))) {
                    return 2;
                }
            }
        } else if (!runFile(path)) {
            return 2;
        }
    }
    std::printf("%d inputs without fault\n", runs);
    return runs > 0 ? 0 : 2;
}
