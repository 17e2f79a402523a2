#pragma once
// Placing a picture or video inside an area: the one piece of geometry every
// display surface shares.
namespace lv {

// Where the picture goes, in the units of the area that was passed; not rounded.
// `ok` is false when the picture has no size (height or width 0 or less): the
// caller then places nothing.
struct fit_result {
    double left = 0, top = 0, width = 0, height = 0;
    bool ok = false;
};

// The picture keeps its aspect ratio, is scaled to `percent` of the area and
// centred in it; small pictures are enlarged as well. A portrait picture takes
// the scaled area height even when that makes it wider than the area; a
// negative left or top is raised to 0.
fit_result fit_picture(double area_top, double area_left, double area_height, double area_width,
                       double picture_height, double picture_width, double percent);

}  // namespace lv
