#pragma once
// The video control: an AVI or MPG file, opened and measured before it is
// shown, played with its sound (or muted) inside a border. The file plays
// through a GStreamer pipeline of the control's own (video_probe.h), which
// hands over its frames at the size they are drawn.
#include "platform/controls/effect_control.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <memory>

namespace lv {

class VideoControl : public EffectControl {
    Q_OBJECT
public:
    explicit VideoControl(QWidget* parent = nullptr);
    ~VideoControl() override;

    void set_initial_setting(int v);
    void set_device_type(const QString& t);
    void set_avi(bool on);
    void set_media_mode(int m);
    // Opens the file and returns the open result (below 0 = failed); "" closes.
    int set_file_name(const QString& path);
    int open_result() const { return open_result_; }
    void set_size_mode(int m);       // 1 natural, 2 stretched
    // 3 accept (natural size known afterwards), 1 before showing / after
    // stopping, 5 play, 11 stop.
    void command(int c);
    QString status() const;          // "PLAYING" while playing
    void set_mute(bool on);
    void set_border(const control_border& b);
    void set_standard_palette(bool on);
    QSize natural_size() const;
    bool muted() const;

    QImage render_face() override;

protected:
    bool live_face() const override;

private:
    bool load_fresh();   // opens the file's pipeline anew, paused at its start
    void take_news();    // frames, the end or a refusal from the playing pipeline
    QRect frame_rect(const QRect& inner) const;   // where frames go inside the border
    struct impl;
    std::unique_ptr<impl> d_;
    int open_result_ = 0;
    int size_mode_ = 1;
    control_border border_;
};

}  // namespace lv
