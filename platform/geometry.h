// Window placement arithmetic shared by the dialogs; plain integers, so it is testable anywhere.
#pragma once

namespace platform {

struct Rect {
    long left = 0;
    long top = 0;
    long right = 0;
    long bottom = 0;
};

struct Point {
    long x = 0;
    long y = 0;
};

// Top-left corner that centres `window` in `area`. Integer division truncates toward zero, so a
// window larger than the area gets a negative offset rounded toward the area's corner.
inline Point CentredOrigin(const Rect& area, const Rect& window) {
    return Point{area.left + ((area.right - area.left) - (window.right - window.left)) / 2,
                 area.top + ((area.bottom - area.top) - (window.bottom - window.top)) / 2};
}

}  // namespace platform
