#include "core/help_messages.h"

#include <cstdlib>
#include <vector>

namespace lv {

namespace {

struct message_source {
    int number;
    const char* title;
    std::vector<const char*> paragraphs;
    bool extra_break;   // the body ends with one more paragraph break
};

constexpr const char* paragraph_break = "\r\n\r\n";

// The texts are kept exactly as they were first published, spelling included.
const message_source messages[] = {
    {1, "Welcome To Lumivane!",
     {"Thank you for taking the time to preview Lumivane.",
      "This is the main configuration screen where you can change "
      "your screen saver options or create and view previously saved slideshows. ",
      "Lumivane includes two different ways that you can create a "
      "slideshow or presentation.",
      "1) Simple SlideShow",
      "This is the quickest and easiest way to display your images. Simply point to one or more folders "
      "on your system and let Lumivane do the rest.",
      "2) Custom SlideShow",
      "For those who need more control over their slideshow or would like to make a presenation. The "
      "custom slideshow editor gives you total control over your slideshow.",
      "Both slideshow designers have the ability to give you professional results "
      "the first time you use them.",
      "We hope you enjoy working with Lumivane."},
     false},
    {2, "Custom SlideShow Editor",
     {"Welcome to the Lumivane Custom SlideShow Editor.",
      "Click on ADD IMAGES to begin desiging your slideshow!",
      "The custom SlideShow editor should be used when you need to "
      "create a slideshow presentation. The custom editor gives you "
      "complete control over your slideshow settings.",
      "There are 4 main sections to the editor.",
      "1) IMAGE",
      "This is where you will select the main graphic for the current sequence. You can display a picture or a video.",
      "2) BACKGROUND",
      "This is a picture file or gradient background that will be displayed BEFORE the image is shown, "
      "allowing your images to be displayed on top of the background. You can tile or stretch the "
      "backgrounds to fill the screen.",
      "3) CAPTION",
      "This is where you will enter any text or description about the image. You can adjust where to "
      "display the text along with it's font properties and special effects.",
      "4) AUDIO",
      "This is an audio source that will get played when the image is displayed. You can select "
      "wave files (.wav), midi music files (.mid, .rmi) and even MP3 files (.mp3). Plus you can "
      "even create a music list that will play in the background during your slideshow.",
      "After you have added some images to your slideshow click on PREVIEW to view your slideshow."},
     false},
    {3, "256 Color Mode Detected",
     {"Lumivane has determined that your system is "
      "running in 256 color mode. To maximize the use of this "
      "product we reccomend that you go to your DISPLAY SETTINGS "
      "and adjust your settings to a color mode higher than 256 colors.",
      "Because you are running in 256 color mode Lumivane will render "
      "your images in a STANDARD palette. This will cause some images to look "
      "dithered and not as vibrant as they would in a higher color mode.",
      "If you decide to run Lumivane in 256 color mode please "
      "click on OPTIONS from this screen to adjust your video options for 256 color mode."},
     false},
    {4, "16-bit Color Mode Detected",
     {"Lumivane has determined that your system is "
      "running in 16-bit color mode. We have done extensive research "
      "and determined that on some video cards in 16-bit color mode "
      "you can experience what is called BANDING on certain images. "
      "This can cause some images to appear blocky or coarse. ",
      "To maximize the use of this product Lumivane will display your "
      "images in an OPTIMIZED palette. This will cause some images to have a slight "
      "loss of color and appear not as vibrant as they would in a higher (24-bit or 32-bit) color mode.",
      "To over ride this setting and render your images in TRUE COLOR mode "
      "click on OPTIONS from this screen to adjust your image rendering."},
     true},
    {5, "Random Effects Editor",
     {"This screen allows you to edit and select which effects will be used when "
      "you create a Simple SlideShow OR when you select a Random Effect in your "
      "Custom SlideShow. If you don't care for certain effects you can check the "
      "box labled <Disable This Effect>. ",
      "Certain video effects may already be disabled by default. Due to the "
      "graphic complexity of certain effects, a few have been disabled. You may "
      "ofcourse enable these effects and test them for yourself to see if they "
      "are useable on your computer.",
      "The Random Effects Editor Window is re-sizable so you can test certain "
      "effects at different sizes.",
      "It should be noted that the size of the image being rendered to the screen can "
      "affect the overall speed of the effect."},
     true},
    {6, "Simple SlideShow Editor",
     {"Welcome to the Lumivane Simple SlideShow Editor.",
      "The simple slideshow editor allows you to create a slideshow "
      "of your favorite images quickly and with dazzling results the "
      "first time. By simply selecting folders from your system you "
      "can display all of your favorite images as a slideshow or screen saver.",
      "There are 4 main sections to the Simple SlideShow Editor.",
      "1) Image Folders",
      "This is where you select folders on your system that contain picture files or "
      "movie files (avi, mpg). Each folder can have any number of images in them.",
      "2) Background Folders",
      "This is where you select background images for your slideshow. The background "
      "images get displayed BEFORE the images do. The background images are always "
      "tiled to the full screen. Small graphics or textures known as TILES look best "
      "as background images.",
      "3) Audio Folders",
      "This is where you select folders on your system that contain audio files. The "
      "files in these folders can be .wav, .mid, .rmi, .mp3 files. The files found in "
      "these folders will be collected and played in the background during your slideshow.",
      "4) Options",
      "The options section allows you to preview and save your slideshow plus you'll be "
      "able to adjust the video settings, delay and other configurable options for your "
      "slideshow."},
     false},
    {7, "Making An Image Transparent",
     {"Lumivane allows you to configure an image with a transparent "
      "color. For example if you had a company logo or other graphic with a unique solid "
      "background color, you could make that color the transparent color so that when "
      "that image gets displayed, the logo or graphic will be displayed on top of the "
      "background image allowing the background to show through where the solid color was."},
     false},
    {8, "Presentation Mode",
     {"Presentation Mode turns Lumivane into an easy to use presentation tool. "
      "When presentation mode is active, after each image is shown a set of navigational "
      "buttons will be displayed allowing the viewer to go back, forward, stop, rewind to beginning "
      "and fast forward to the last slide. In addition you'll be able to "
      "select from 4 unique positions where these navigational buttons can be displayed. ",
      "It should be noted that when a slideshow is set up to play in random order only the next "
      "and stop buttons will be enabled.",
      "When viewing a slideshow in presentation mode you may press the ESC key "
      "to exit the slideshow.",
      "When viewing a slideshow in presentation mode you may press the SPACE BAR to "
      "cancel out of presentation mode and have the slideshow continue to play on it's own.",
      "Presentation Mode is not available when running in screen saver mode."},
     false},
    {9, "Adding Background Music",
     {"Lumivane makes it easy to add backgound music to your slideshow."
      "Several popular formats of audio can be played with Lumivane.",
      "1) .WAV Files",
      "These are digitally sampled audio files. Almost any computer that has a sound "
      "card can record and play .wav files. Check the files in your Multimedia folder to "
      "see if you have an audio recorder installed. If so, you can use that program "
      "to record .wav files and add them to your slideshow.",
      "2) .MID and .RMI Midi Music Files",
      "These are music files that play back through your sound card. Your sound card "
      "has to have a MIDI MUSIC driver installed in order to play these files. "
      "Because they use the built in music sounds of your sound card, the quality of "
      "the music can be very nice. Plus these file formats are usually much smaller "
      "than the other formats available.",
      "3) .MP3 Audio Files",
      "MP3 files are capable of producing high quality sound, almost as good as "
      "CD AUDIO. In order to play these file formats on your computer you must "
      "have installed an MCI COMPATIBLE MP3 PLAYER. The latest Windows Media Player "
      "from Microsoft has this ability. So if you click on an MP3 file and you can't "
      "hear anything, you need to make sure you have the latest version of the "
      "Windows Media Player installed."},
     true},
    {10, "Playing Video",
     {"Lumivane makes it easy to add video to your slideshow. "
      "Two popular formats are available for you to use in your slideshow.",
      "1) AVI",
      "This is the standard Windows method of playing back video. Almost any "
      "Windows 95/98/NT computer has the ability to play back AVI files.",
      "2) MPG Video (MPEG)",
      "MPEG Video is a higher quality format than AVI but it does require special "
      "software and or hardware in order to play these video formats. In order for "
      "Lumivane to play back MPEG video you must have installed an "
      "MCI COMPATIBLE MPEG VIDEO PLAYER on your system. The latest version of "
      "the Windows Media Player from Microsoft does provide some MPEG features. "
      "But your specific system may have certain requirements in order to play back "
      "MPEG video.",
      "Due to the software and or hardware requirements needed to play back video, certain "
      "effects may not work when being applied to videos.",
      "Transparent Text Is Not Possible On Video",
      "Due to the techincal nature of playing videos, any text that you "
      "may position on top of a video will not be transparent. It will be "
      "displayed opaque which will cause some of the video to be blocked out. "
      "The solution ofcourse is to always make sure your text and video "
      "displays never over lap each other."},
     false},
    {11, "Lumivane!",
     {"We would like to take this time to thank you for trying out this product.",
      "Your comments are very important to us!",
      "Alot of effort has gone into the "
      "development of this program to insure you a quality product. If you have any "
      "comments or suggestions please take the time to email them to us at: ",
      support_email_address,
      "Thank You."},
     false},
    {13, "The Custom Editor Preview Window",
     {"The preview window allows you to have a REAL TIME preview of what the current image "
      "will look like when presented in your slideshow. You may freely position the "
      "preview window anywhere on your desktop. The preview window is resizable so you "
      "can shrink or enlarge the viewing area.",
      "Clicking on the preview button toggles the preview window open or closed."},
     false},
    {14, "Image Rendering",
     {"There are 3 types of image rendering available with Lumivane.",
      "Standard Palette",
      "If you are running in 256 color mode the program has defaulted your image "
      "rendering to this mode. This setting will render ALL images using the same standard "
      "palette. This eliminates any palette shifting that can occur when running in 256 color "
      "mode at the expense of a loss of image quality. If you are running in 256 color mode "
      "you should experiment with STANDARD and OPTIMIZED rendering settings to see which gives "
      "you the best results.",
      "Optimized Palette",
      "If you are running in 16-bit color mode the program has defaulted your image rendering "
      "to this mode. This setting will render all images in an optimized palette. On certain "
      "graphics cards BANDING can occur in 16-bit color mode. Causing a loss of color detail, "
      "therefore OPTIMIZED rendering is the default value when running in 16-bit color mode. "
      "You should experiment with OPTIMIZED and TRUE COLOR rendering settings to see which gives "
      "you the best results.",
      "True Color",
      "If you are running in 24-bit or 32-bit or higher color modes the program has defaulted "
      "your image rendering to the highest quality available. This mode gives you the best results. "
      "If you are running in 16-bit color modes or lower you can still select this setting. Your "
      "results will vary according to how your graphics card interprets the color data.",
      "You may safely experiment with any of the above settings while working with this program. "
      "These settings are for use with this program only and do not change any other settings on "
      "your computer."},
     false},
};

}  // namespace

std::optional<help_message> find_help_message(int n) {
    for (const message_source& s : messages) {
        if (s.number != n) continue;
        help_message m;
        m.number = n;
        m.title = s.title;
        bool first = true;
        for (const char* p : s.paragraphs) {
            if (!first) m.body += paragraph_break;
            m.body += p;
            first = false;
        }
        if (s.extra_break) m.body += paragraph_break;
        m.check_always_hidden = (n == 3 || n == 4 || n == 14);
        return m;
    }
    return std::nullopt;
}

help_popup_state& help_popup() {
    static help_popup_state s;
    return s;
}

std::string message_setting_key(int n) { return "Message" + std::to_string(n); }

bool message_suppressed(const std::string& stored_value) {
    const char* s = stored_value.c_str();
    char* end = nullptr;
    double v = std::strtod(s, &end);
    if (end == s) return false;   // empty or not a number: never suppressed
    return v != 0.0;
}

std::string wrap_for_print(const std::string& body) {
    std::string out;
    out.reserve(body.size() + body.size() / 40);
    int column = 0;
    for (char ch : body) {
        out += ch;
        if (ch == '\n') {
            column = 0;
            continue;
        }
        // A UTF-8 continuation byte belongs to the character already counted.
        if ((static_cast<unsigned char>(ch) & 0xC0) == 0x80) continue;
        ++column;
        if (ch == ' ' && column > 90) {
            column = 0;
            out += "\r\n";
        }
    }
    return out;
}

std::string printout_stamp(const wall_time& t) {
    return "Lumivane" + std::string(5, ' ') + log_date_text(t) + std::string(5, ' ') + log_time_text(t);
}

std::vector<print_line> message_printout(const help_message& m, const wall_time& t) {
    std::vector<print_line> lines;
    lines.push_back({10, ""});
    lines.push_back({10, printout_stamp(t)});
    lines.push_back({10, " "});
    lines.push_back({10, " "});
    lines.push_back({20, m.title});
    lines.push_back({10, " "});
    // One printed line per line of the wrapped body; CR LF (or a lone LF)
    // ends a line, so a paragraph break leaves one empty line.
    const std::string wrapped = wrap_for_print(m.body);
    std::string line;
    for (std::size_t i = 0; i < wrapped.size(); ++i) {
        char ch = wrapped[i];
        if (ch == '\r' && i + 1 < wrapped.size() && wrapped[i + 1] == '\n') continue;
        if (ch == '\n') {
            lines.push_back({10, line});
            line.clear();
            continue;
        }
        line += ch;
    }
    lines.push_back({10, line});
    lines.push_back({10, " "});
    lines.push_back({10, " "});
    lines.push_back({10, maker_web_address});
    lines.push_back({10, support_email_address});
    return lines;
}

}  // namespace lv
