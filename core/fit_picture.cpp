#include "core/fit_picture.h"

namespace lv {

fit_result fit_picture(double area_top, double area_left, double area_height, double area_width,
                       double picture_height, double picture_width, double percent) {
    fit_result r;
    // A picture without a size cannot be scaled; `!(x > 0)` also refuses NaN.
    if (!(picture_height > 0) || !(picture_width > 0)) return r;

    const double s = percent / 100.0;
    const double ratio = picture_width / picture_height;
    if (picture_width >= picture_height) {
        r.width = s * area_width;
        r.height = r.width / ratio;
        if (r.height > s * area_height) {
            r.height = s * area_height;
            r.width = r.height * ratio;
        }
    } else {
        // Portrait pictures are fitted to the height only; in a narrow area
        // the result is wider than the area and its left edge goes to 0 below.
        r.height = s * area_height;
        r.width = r.height * ratio;
    }
    r.left = area_left + (area_width - r.width) / 2.0;
    r.top = area_top + (area_height - r.height) / 2.0;
    if (r.left < 0) r.left = 0;
    if (r.top < 0) r.top = 0;
    r.ok = true;
    return r;
}

}  // namespace lv
