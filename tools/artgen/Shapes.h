// The shapes the artwork is drawn from, as signed distances in units (negative inside), and a
// periodic value noise for textures.
#pragma once

namespace artgen {

// A box from (left, top) to (right, bottom) with corners rounded by `radius`.
float boxDistance(float x, float y, float left, float top, float right, float bottom, float radius = 0);
float circleDistance(float x, float y, float cx, float cy, float r);
// A line from (ax, ay) to (bx, by) of half width `halfWidth`, with round ends.
float segmentDistance(float x, float y, float ax, float ay, float bx, float by, float halfWidth);

// Smooth value noise, 0 ... 1, on cells of `cell` units; it tiles seamlessly with the given period.
float periodicNoise(float x, float y, float cell, int period, int seed);

}  // namespace artgen
