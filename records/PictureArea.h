#pragma once

// Where one copy of a passport picture goes on a printed page or an exported sheet, in the
// pixels of that page or sheet.
struct PictureArea {
    int top = 0;
    int left = 0;
    int width = 0;
    int height = 0;

    PictureArea() = default;
    // Left before top, unlike the fields.
    constexpr PictureArea(int left, int top, int width, int height)
        : top(top), left(left), width(width), height(height) {}
};
