#pragma once

// Fixed window layouts, given as the original forms gave them.

#include <QRect>
#include <QString>
#include <QWidget>

namespace platform {

// Layout values in twips of the client area; 15 twips make one pixel at 96 dpi.
inline QRect twips(int left, int top, int width, int height)
{
    auto px = [](int t) { return qRound(t / 15.0); };
    return QRect(px(left), px(top), px(width), px(height));
}

// A control with its name (the object name tests and the remote find it by), text and place.
template<typename Control>
Control *makeControl(QWidget *parent, const char *name, const QString &text, QRect geometry)
{
    auto *control = new Control(text, parent);
    control->setObjectName(QLatin1String(name));
    control->setGeometry(geometry);
    return control;
}

} // namespace platform
