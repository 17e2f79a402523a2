#pragma once
// Draws one sequence of the open slideshow on a host window: background,
// picture or video, caption, and the load-error banner. The player calls one
// procedure per state of its main loop; the custom editor's preview window
// reuses the same procedures on its own host window.
//
// All geometry is in pixels of the host window; the host's current inner
// size is read at every call, so a resized host lays out anew.
#include <QImage>
#include <QRect>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>

namespace lv {

class PictureControl;
class LabelControl;
class VideoControl;

// The standard sixteen-colour palette as 0x00BBGGRR; an index outside 0-15
// is clamped into the table.
std::int32_t palette16_color(int index);

// Where display positions 0-2 put an element of w x h pixels in a W x H
// window: the fit at percent (100, 75, 50), rounded to whole pixels. An
// element whose size reads as zero gets the whole window.
QRect fit_rect(int W, int H, double w, double h, double percent);

// The texts the picture control's load results stand for ("" below -7).
std::string load_result_text(int code);

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
    // The placeholder picture display_picture shows when no_images_mode is 1.
    // A plain stand-in is used while it is null.
    QImage no_images_picture;

    // How a host other than the full-screen player differs. The player keeps
    // the defaults; the custom editor's preview window changes them.
    struct options {
        // Write the "Display ..." lines to the diagnostic log.
        bool log = true;
        // Once power_saver_active is 1, every element shows with effect 0,
        // speed 1, grain 1.
        bool power_saver = true;
        // Asked for each element right after its effect row was applied: true
        // sets the effect number to 0 (speed and grain stay as the row set
        // them), so the element shows at once. Unset: never.
        std::function<bool()> effects_off;
        // A sequence without a background shows this picture as its
        // background (with the background's effect and placement) instead of
        // none, and ignore_background is not read. Null: the player's way.
        QImage no_background_picture;
        // The preview's caption measuring pass: one more yield after the
        // padded caption is set, one (not two) after the label is hidden.
        bool preview_caption_yields = false;
        // Asked again and again while a picture decodes (the host keeps
        // serving its events meanwhile): true gives the load up and leaves
        // the control empty, still showing its last face where it was; no
        // background, picture or video is revealed after it says so, so
        // the screen stays as it was. The player's gives up once its show is
        // asked to end or has ended; those run values stay set after a show,
        // so another host must bring its own. Unset: never given up.
        std::function<bool()> abandon_load;
    };
    options opts;

    // Results the engine reads.
    int load_error = 0;
    std::string load_error_text;

    void updates_off();
    void display_background();
    void display_gradient();
    void display_picture();
    // Starts decoding the picture of sequence index, as display_picture
    // will ask for it, while the caller waits for its time to show it.
    // Does nothing for a video, the placeholder show or an index outside
    // the document.
    void predecode_picture(int index);
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
    bool show_ending() const;   // abandon_load says so
    struct impl;
    impl* d_;
};

}  // namespace lv
