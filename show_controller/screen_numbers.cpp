#include "show_controller/screen_numbers.h"

#include "platform/error.h"

namespace screennumbers {

QString line(const QStringList &nineTexts)
{
    QString text;
    for (const QString &number : nineTexts) {
        text += number + QLatin1Char(',');
    }
    return text + QStringLiteral("1\r\n");
}

QStringList fields(const QString &content)
{
    const QStringList all = content.split(QLatin1Char(','));
    if (all.size() < 9) {
        throw platform::runtimeError(
            QStringLiteral("The screen numbers file holds %1 of the 9 numbers").arg(all.size()));
    }
    return all.mid(0, 9);
}

int portNumber(const QString &text)
{
    const QString ports[] = {QStringLiteral("Com1"), QStringLiteral("Com2"), QStringLiteral("Com3"),
                             QStringLiteral("Com4")};
    for (int i = 0; i < 4; ++i) {
        if (text == ports[i]) {
            return i + 1;
        }
    }
    return 0;
}

} // namespace screennumbers
