#include "platform/media/video_probe.h"

#include "platform/picture/picture_decode.h"

#include <gst/gst.h>

#include <atomic>
#include <cstring>
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

bool frame_fits(const picture_limits& l, std::int64_t w, std::int64_t h) {
    const std::int64_t pixels = w * h;
    return w <= l.max_side && h <= l.max_side && pixels <= l.max_pixels && pixels <= l.max_kept_pixels &&
           pixels * 4 <= l.max_bytes;
}

// Watches the pictures of one probing player on its streaming threads. The
// limits are taken when the probe is made: the threads read no shared state.
struct frame_guard {
    picture_limits limits;
    std::atomic<bool> refused{false};

    // False, and refused from now on, when a picture of w x h is too large.
    bool admit(std::int64_t w, std::int64_t h) {
        if (!frame_fits(limits, w, h)) refused = true;
        return !refused;
    }
};
using guard_ref = std::shared_ptr<frame_guard>;

void drop_guard_ref(gpointer ref) { delete static_cast<guard_ref*>(ref); }

// The size a JPEG picture declares in its frame header, or an empty size.
// A motion-JPEG stream's container states one size and each picture may
// state another: the decoder goes by the picture's.
QSize jpeg_frame_size(const guint8* d, gsize n) {
    if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) return {};
    gsize i = 2;
    while (i + 4 <= n && d[i] == 0xFF) {
        const guint8 marker = d[i + 1];
        if (marker == 0xFF) {   // fill byte
            ++i;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {   // no length
            i += 2;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) return {};   // no frame header before the data
        const bool frame_header = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame_header) {
            if (i + 9 > n) return {};
            return QSize((d[i + 7] << 8) | d[i + 8], (d[i + 5] << 8) | d[i + 6]);
        }
        i += 2 + ((gsize(d[i + 2]) << 8) | d[i + 3]);
    }
    return {};
}

// The size in caps that state one; an empty size otherwise.
QSize caps_frame_size(GstCaps* caps) {
    const GstStructure* s = caps && gst_caps_get_size(caps) > 0 ? gst_caps_get_structure(caps, 0) : nullptr;
    int w = 0, h = 0;
    if (!s || !gst_structure_get_int(s, "width", &w) || !gst_structure_get_int(s, "height", &h)) return {};
    return QSize(w, h);
}

// Into a video decoder: the size its stream states, and each JPEG picture's
// own. Nothing of a refused stream reaches the decoder.
GstPadProbeReturn check_coded(GstPad*, GstPadProbeInfo* info, gpointer ref) {
    frame_guard& guard = **static_cast<guard_ref*>(ref);
    if (GstEvent* e = GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM ? GST_PAD_PROBE_INFO_EVENT(info)
                                                                                         : nullptr) {
        if (GST_EVENT_TYPE(e) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
        GstCaps* caps = nullptr;
        gst_event_parse_caps(e, &caps);
        const QSize s = caps_frame_size(caps);
        return guard.admit(s.width(), s.height()) ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
    }
    if (guard.refused) return GST_PAD_PROBE_DROP;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_PAD_PROBE_OK;
    const QSize s = jpeg_frame_size(map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    return guard.admit(s.width(), s.height()) ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
}

// Out of a video decoder: the size of its pictures, before anything converts
// or holds them; a stream may state one size and decode to another.
GstPadProbeReturn check_decoded(GstPad*, GstPadProbeInfo* info, gpointer ref) {
    frame_guard& guard = **static_cast<guard_ref*>(ref);
    if (GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_BUFFER)
        return guard.refused ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
    GstEvent* e = GST_PAD_PROBE_INFO_EVENT(info);
    if (!e || GST_EVENT_TYPE(e) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(e, &caps);
    const QSize s = caps_frame_size(caps);
    return guard.admit(s.width(), s.height()) ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
}

gboolean watch_sink_pad(GstElement*, GstPad* pad, gpointer ref) {
    gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_BUFFER), check_coded,
                      new guard_ref(*static_cast<guard_ref*>(ref)), drop_guard_ref);
    return TRUE;
}

gboolean watch_src_pad(GstElement*, GstPad* pad, gpointer ref) {
    gst_pad_add_probe(pad, GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_BUFFER),
                      check_decoded, new guard_ref(*static_cast<guard_ref*>(ref)), drop_guard_ref);
    return TRUE;
}

// Runs as the player adds an element anywhere inside it, before the element
// is linked: every video (or picture) decoder gets the two checks.
void watch_decoder(GstBin*, GstBin*, GstElement* element, gpointer ref) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const gchar* klass = factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    if (!klass || !std::strstr(klass, "Decoder") || (!std::strstr(klass, "Video") && !std::strstr(klass, "Image")))
        return;
    gst_element_foreach_sink_pad(element, watch_sink_pad, ref);
    gst_element_foreach_src_pad(element, watch_src_pad, ref);
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
    guard_ref guard = std::make_shared<frame_guard>();

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
    p_->guard->limits = picture_decode_limits();
    g_signal_connect_data(playbin, "deep-element-added", G_CALLBACK(watch_decoder), new guard_ref(p_->guard),
                          GClosureNotify(+[](gpointer ref, GClosure*) { drop_guard_ref(ref); }), GConnectFlags(0));
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

bool video_frame_fits(QSize frame) {
    return frame.width() >= 0 && frame.height() >= 0 &&
           frame_fits(picture_decode_limits(), frame.width(), frame.height());
}

video_probe::outcome video_probe::poll() {
    if (outcome_ != outcome::opening) return outcome_;
    if (p_->guard->refused) return outcome_ = outcome::failed;
    if (GstMessage* m = gst_bus_pop_filtered(
            p_->bus, GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_EOS))) {
        const bool paused = GST_MESSAGE_TYPE(m) == GST_MESSAGE_ASYNC_DONE;
        gst_message_unref(m);
        if (!paused || p_->guard->refused) return outcome_ = outcome::failed;
        gint videos = 0;
        g_object_get(p_->playbin, "n-video", &videos, nullptr);
        has_video_ = videos > 0;
        if (has_video_) first_ = held_picture(p_->playbin);
        const bool failed = (has_video_ && first_.isNull()) || p_->guard->refused;
        return outcome_ = failed ? outcome::failed : outcome::ready;
    }
    if (p_->error_dropped()) outcome_ = outcome::failed;
    return outcome_;
}

}  // namespace lv
