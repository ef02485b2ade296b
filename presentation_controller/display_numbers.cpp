#include "display_numbers.h"

#include "platform/error.h"
#include "platform/vb_convert.h"

namespace kestro {

QString displayNumbersLine(const QString &left, const QString &top, const QString &width)
{
    return left + QLatin1Char(',') + top + QLatin1Char(',') + width + QStringLiteral("\r\n");
}

QStringList displayNumbersFields(const QString &line, const QString &fileName)
{
    const QStringList fields = line.split(QLatin1Char(','));
    if (fields.size() < 3) {
        throw platform::runtimeError(
            QStringLiteral("The display numbers file does not hold three numbers: %1")
                .arg(fileName));
    }
    return fields.mid(0, 3);
}

namespace {

std::int16_t convert(const QString &text, const char *boxName)
{
    try {
        return platform::toInt16(text);
    } catch (const pa::AutomationError &error) {
        throw pa::AutomationError(error.source(),
                                  (platform::errorDescription(error) +
                                   QStringLiteral(": %1 \"%2\"").arg(QLatin1String(boxName), text))
                                      .toStdString());
    }
}

} // namespace

DisplayNumbers toDisplayNumbers(const QString &left, const QString &top, const QString &width)
{
    DisplayNumbers numbers;
    numbers.left = convert(left, "Left");
    numbers.top = convert(top, "Top");
    numbers.width = convert(width, "Width");
    return numbers;
}

} // namespace kestro
