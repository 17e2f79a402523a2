#pragma once
// Draws one sequence of the open slideshow on a host window: background,
// picture or video, caption, and the load-error banner. The player calls one
// procedure per state of its main loop; the custom editor's preview window
// reuses the same procedures on its own host window.
#include <QWidget>
#include <string>

namespace lv {

class PictureControl;
class LabelControl;
class VideoControl;

class Renderer {
public:
    // Creates the display controls as children of host, stacked bottom to top:
    // image_background, gradient, image_picture, image_video, image_caption,
    // error_banner.
    explicit Renderer(QWidget* host);
    ~Renderer();

    // What is drawn: the player's current 1-based sequence index.
    int image_index = 1;
    int no_images_mode = 0;

    // Results the engine reads.
    int load_error = 0;
    std::string load_error_text;

    void updates_off();
    void display_background();
    void display_gradient();
    void display_picture();
    void display_video();
    void display_caption();
    void display_error_banner();
    void reset_foreground();
    void video_off();
    void adjust_color_render();

    PictureControl* image_background() const;
    LabelControl* gradient() const;
    PictureControl* image_picture() const;
    VideoControl* image_video() const;
    LabelControl* image_caption() const;
    LabelControl* error_banner() const;
    QWidget* host() const;

private:
    struct impl;
    impl* d_;
};

}  // namespace lv
