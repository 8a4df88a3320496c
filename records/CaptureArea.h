#pragma once

// The capture rectangle of a passport format in the 300 x 300 editing canvas, with the canvas
// point at which the chosen picture centre is kept.
struct CaptureArea {
    int top = 0;
    int left = 0;
    int width = 0;
    int CenterX = 0;
    int CenterY = 0;
    int height = 0;
};
