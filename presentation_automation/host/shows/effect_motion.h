#pragma once

// How an animation effect moves, fades or reveals its object at any moment: pure rules, no
// drawing, so that the show window's player and the tests share them.

#include "presentation_automation/host/decks/deck_description.h"

#include <QPainterPath>
#include <QSizeF>
#include <QTransform>

namespace pa::host {

// How one effect's object is drawn at one moment, in pixels of the page as drawn (origin at the
// page's top-left corner, pageSize as passed).
struct SpritePose
{
    bool visible = true;  // false: not drawn at all (before an entrance starts, after an exit)
    double opacity = 1.0; // 0..1
    QTransform transform; // applied to the sprite drawn at its rect (in page pixels)
    bool clipped = false; // a wipe-family effect: only `clip` (page pixels) shows
    QPainterPath clip;
    double afterMix = 0; // emphasis with a second picture: share of the after-picture, 0..1
};

// Seconds from the step's start until the effect has ended (delay, duration, repeats, reverse).
double effectEndSeconds(const SlideEffect &effect);

// The effect's eased progress 0..1 at t seconds from the step's start (acceleration and
// deceleration as a trapezoid speed profile, repeat and auto-reverse applied); 0 before its
// delay, its final value after its end.
double effectProgress(const SlideEffect &effect, double t);

// The pose at t seconds from the step's start.
SpritePose effectPose(const SlideEffect &effect, double t, const QSizeF &pageSize);

// A motion path's SVG data (fractions of the page, relative to the start point) as a path in
// page pixels; empty for data it cannot read.
QPainterPath motionPath(const QString &svg, const QSizeF &pageSize);

// Where a path's object ends, in page pixels, relative to where it started.
QPointF motionEnd(const SlideEffect &effect, const QSizeF &pageSize);

// The position 0..1 at time fraction x (0..1) of one way, for a speed that rises linearly over
// the first `accelerate` of the time and falls over the last `decelerate`.
double easeTrapezoid(double x, double accelerate, double decelerate);

} // namespace pa::host
