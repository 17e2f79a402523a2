// Starting a media player without deadlocking the window.
//
// Qt Multimedia's GStreamer player, inside QMediaPlayer::setSource, switches
// its pipeline to PAUSED and then flushes it (a flushing seek). The switch
// starts the decoder's thread, which, the moment the decoder finds a stream,
// adds the sound or video output to the pipeline, links it and sets its
// state, all while holding the decoder's stream lock. If the output is added
// while the window's thread is still switching the pipeline's elements, the
// window's thread switches the output as well and its flush then runs
// through it: it holds the output's state lock and waits for the decoder's
// stream lock, while the decoder's thread holds its stream lock and waits for
// the output's state lock.
//
// A flush that finds no output does nothing. So while the window's thread is
// inside setSource, a decoder that wants to hand a new stream to a pipeline
// waits, and links it once setSource is over. A freshly set player plays from
// the start anyway, so the flush it misses changes nothing.

#include "platform/media/audio.h"

#include <QMediaPlayer>
#include <QUrl>

#include <gst/gst.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace lv {
namespace {

struct source_gate {
    std::mutex m;
    std::condition_variable open;
    int inside = 0;                 // setSource calls in progress (they may nest)
    std::thread::id setter;         // the thread making them
};

source_gate& gate() {
    static auto* g = new source_gate;   // decoder threads may outlive static destruction
    return *g;
}

// A last resort only: should setSource ever wait for one of the held
// threads, it gets it back after this long instead of never.
constexpr auto longest_hold = std::chrono::seconds(2);

// Runs on the decoder's thread before any handler of "pad-added". Only the
// pads a pipeline's top-level decoder adds are held: those are what the
// player links its outputs to.
gboolean hold_new_stream(GSignalInvocationHint*, guint n_params, const GValue* params, gpointer) {
    if (n_params < 1 || !G_VALUE_HOLDS_OBJECT(&params[0])) return TRUE;
    auto* element = g_value_get_object(&params[0]);
    if (!GST_IS_ELEMENT(element)) return TRUE;
    GstObject* parent = gst_object_get_parent(GST_OBJECT(element));
    // The video control's own pipelines (video_probe.cpp) have no flush of
    // that kind to race: their streams are never held.
    const bool top_level =
        parent && GST_IS_PIPELINE(parent) && !g_str_has_prefix(GST_OBJECT_NAME(parent), "lumivane-video");
    if (parent) gst_object_unref(parent);
    if (!top_level) return TRUE;
    auto& g = gate();
    std::unique_lock lock(g.m);
    if (g.inside > 0 && std::this_thread::get_id() != g.setter)
        g.open.wait_for(lock, longest_hold, [&] { return g.inside == 0; });
    return TRUE;   // stay installed
}

// The hook is installed once GStreamer is up: the first player brings it up.
// Without GStreamer (another multimedia backend) there is nothing to guard.
bool gate_installed() {
    static const bool installed = [] {
        if (!gst_is_initialized()) return false;
        const guint pad_added = g_signal_lookup("pad-added", GST_TYPE_ELEMENT);
        if (pad_added == 0) return false;
        g_signal_add_emission_hook(pad_added, 0, hold_new_stream, nullptr, nullptr);
        return true;
    }();
    return installed;
}

}  // namespace

void set_media_source(QMediaPlayer& player, const QUrl& url) {
    if (!gate_installed()) {
        player.setSource(url);
        return;
    }
    auto& g = gate();
    {
        std::lock_guard lock(g.m);
        ++g.inside;
        g.setter = std::this_thread::get_id();
    }
    struct leave {
        source_gate& g;
        ~leave() {
            {
                std::lock_guard lock(g.m);
                --g.inside;
            }
            g.open.notify_all();
        }
    } on_leave{g};
    player.setSource(url);
}

}  // namespace lv
