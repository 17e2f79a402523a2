#include "platform/video_probe.h"

#include <gst/gst.h>

#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace lv {

namespace {

// Errors that never reach a player's bus. A decoding bin starts each element
// it picks while holding back the errors that element posts, so that it can
// try another one should the start fail. A demuxer reading a damaged file
// can fail from its own thread while its start is still under way: the start
// then succeeds, the error is dropped, and the player waits for ever. A
// tracer sees every message as it is posted, before any bin can drop it.
struct error_watch {
    std::mutex m;
    // By probing player: the elements inside it that posted an error.
    std::map<GstElement*, std::vector<GstElement*>> failed;
};

error_watch& watch() {
    static auto* w = new error_watch;   // streaming threads may outlive static destruction
    return *w;
}

// The outermost bin that holds e (e itself when none does), with a reference.
GstObject* outermost(GstObject* e) {
    GstObject* top = GST_OBJECT(gst_object_ref(e));
    while (GstObject* parent = gst_object_get_parent(top)) {
        gst_object_unref(top);
        top = parent;
    }
    return top;
}

void note_error(GObject*, GstClockTime, GstElement* poster, GstMessage* message) {
    // Only the first post: bins post the same message again as it rises.
    if (GST_MESSAGE_TYPE(message) != GST_MESSAGE_ERROR || GST_MESSAGE_SRC(message) != GST_OBJECT(poster)) return;
    GstObject* top = outermost(GST_OBJECT(poster));
    {
        std::lock_guard lock(watch().m);
        auto it = watch().failed.find(GST_ELEMENT(top));
        if (it != watch().failed.end()) it->second.push_back(GST_ELEMENT(gst_object_ref(poster)));
    }
    gst_object_unref(top);
}

struct ErrorTracer {
    GstTracer parent;
};
struct ErrorTracerClass {
    GstTracerClass parent_class;
};

void error_tracer_init(GTypeInstance* self, gpointer) {
    gst_tracing_register_hook(GST_TRACER(self), "element-post-message-pre", G_CALLBACK(note_error));
}

// GStreamer up, and the tracer installed (for good: a tracer is never taken back).
bool gstreamer_ready() {
    static const bool ready = [] {
        if (!gst_init_check(nullptr, nullptr, nullptr)) return false;
        const GTypeInfo info = {sizeof(ErrorTracerClass), nullptr, nullptr, nullptr, nullptr, nullptr,
                                sizeof(ErrorTracer),      0,       error_tracer_init, nullptr};
        const GType type = g_type_register_static(GST_TYPE_TRACER, "LumivaneErrorTracer", &info, GTypeFlags(0));
        g_object_new(type, nullptr);
        return true;
    }();
    return ready;
}

// The picture a paused player holds, as 32-bit RGB; null when it holds none.
QImage held_picture(GstElement* playbin) {
    GstCaps* want = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
    GstSample* sample = nullptr;
    g_signal_emit_by_name(playbin, "convert-sample", want, &sample);
    gst_caps_unref(want);
    if (!sample) return {};
    QImage out;
    int w = 0, h = 0;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    const GstStructure* format = caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    GstMapInfo map;
    if (format && buffer && gst_structure_get_int(format, "width", &w) && gst_structure_get_int(format, "height", &h) &&
        w > 0 && h > 0 && gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        const qsizetype stride = qsizetype(map.size) / h;
        if (stride >= qsizetype(w) * 4) out = QImage(map.data, w, h, stride, QImage::Format_RGB32).copy();
        gst_buffer_unmap(buffer, &map);
    }
    gst_sample_unref(sample);
    return out;
}

}  // namespace

struct video_probe::player {
    GstElement* playbin = nullptr;
    GstBus* bus = nullptr;

    // An element that failed and is still at work in the player, its start
    // over: its error was dropped, and nothing will come. (An element whose
    // start failed is taken out and another one tried.)
    bool error_dropped() {
        std::vector<GstElement*> posters;
        {
            std::lock_guard lock(watch().m);
            posters = watch().failed[playbin];
        }
        for (GstElement* e : posters) {
            GstObject* top = outermost(GST_OBJECT(e));
            const bool inside = top == GST_OBJECT(playbin);
            gst_object_unref(top);
            GstState state = GST_STATE_VOID_PENDING;
            if (inside && gst_element_get_state(e, &state, nullptr, 0) == GST_STATE_CHANGE_SUCCESS &&
                state >= GST_STATE_PAUSED)
                return true;
        }
        return false;
    }
};

video_probe::video_probe(const QUrl& url) {
    if (!gstreamer_ready()) {
        outcome_ = outcome::failed;
        return;
    }
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin) {
        outcome_ = outcome::failed;
        return;
    }
    p_ = std::make_unique<player>();
    p_->playbin = GST_ELEMENT(gst_object_ref_sink(playbin));
    p_->bus = gst_element_get_bus(playbin);
    {
        std::lock_guard lock(watch().m);
        watch().failed[playbin];
    }
    // Pictures and sound are decoded and go nowhere; subtitles are left alone.
    constexpr guint video_and_audio = 0x1 | 0x2;
    g_object_set(playbin, "uri", url.toEncoded().constData(), "flags", video_and_audio, "video-sink",
                 gst_element_factory_make("fakesink", nullptr), "audio-sink",
                 gst_element_factory_make("fakesink", nullptr), nullptr);
    if (gst_element_set_state(playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) outcome_ = outcome::failed;
}

video_probe::~video_probe() {
    if (!p_) return;
    GstElement* playbin = p_->playbin;
    std::vector<GstElement*> posters;
    {
        std::lock_guard lock(watch().m);
        posters.swap(watch().failed[playbin]);
        watch().failed.erase(playbin);
    }
    for (GstElement* e : posters) gst_object_unref(e);
    gst_object_unref(p_->bus);
    auto shut = [playbin] {
        gst_element_set_state(playbin, GST_STATE_NULL);
        gst_object_unref(playbin);
    };
    // A player whose outcome is known stops at once. One still opening may
    // hang in its decoder, and stopping it would wait for the decoder: it
    // stops on a thread of its own, not the window's.
    if (outcome_ != outcome::opening)
        shut();
    else
        std::thread(shut).detach();
}

video_probe::outcome video_probe::poll() {
    if (outcome_ != outcome::opening) return outcome_;
    if (GstMessage* m = gst_bus_pop_filtered(
            p_->bus, GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_EOS))) {
        const bool paused = GST_MESSAGE_TYPE(m) == GST_MESSAGE_ASYNC_DONE;
        gst_message_unref(m);
        if (!paused) return outcome_ = outcome::failed;
        gint videos = 0;
        g_object_get(p_->playbin, "n-video", &videos, nullptr);
        has_video_ = videos > 0;
        if (has_video_) first_ = held_picture(p_->playbin);
        return outcome_ = has_video_ && first_.isNull() ? outcome::failed : outcome::ready;
    }
    if (p_->error_dropped()) outcome_ = outcome::failed;
    return outcome_;
}

}  // namespace lv
