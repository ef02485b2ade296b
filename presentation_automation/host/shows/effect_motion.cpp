#include "presentation_automation/host/shows/effect_motion.h"

namespace pa::host {

double effectEndSeconds(const SlideEffect &effect)
{
    return effect.delaySeconds + effect.durationSeconds;
}

double effectProgress(const SlideEffect &, double)
{
    return 0;
}

SpritePose effectPose(const SlideEffect &, double, const QSizeF &)
{
    return {};
}

QPainterPath motionPath(const QString &, const QSizeF &)
{
    return {};
}

QPointF motionEnd(const SlideEffect &, const QSizeF &)
{
    return {};
}

double easeTrapezoid(double x, double, double)
{
    return x;
}

} // namespace pa::host
