#include "platform/media/video_probe.h"

#include "platform/picture/picture_decode.h"

#include <QAudioDevice>
#include <QMediaDevices>

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <functional>

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
           pixels * 4 <= l.max_bytes && std::max(w, h) <= video_max_long_side &&
           std::min(w, h) <= video_max_short_side;
}

// Tells the owner, from any thread, that there is something to take; once
// until the owner has looked (took()).
struct news_line {
    std::mutex m;
    std::function<void()> tell;
    std::atomic<bool> pending{false};

    void raise() {
        if (pending.exchange(true)) return;
        std::lock_guard lock(m);
        if (tell) tell();
    }
    void took() { pending = false; }
    void cut() {
        std::lock_guard lock(m);
        tell = nullptr;
    }
};
using news_ref = std::shared_ptr<news_line>;

// Watches the pictures of one player on its streaming threads, for as long
// as it plays. The limits are taken when the player is made: the threads
// read no shared state.
struct frame_guard {
    picture_limits limits;
    std::atomic<bool> refused{false};
    news_ref news;
    // The pictures' own size, as they first come to the frames' way out.
    std::atomic<int> width{0}, height{0};
    // Until told the size they are drawn at, frames go out no larger than
    // this (keeping their shape): a picture far larger than the screen is
    // never converted at its own size.
    QSize fit_within;
    GstElement* filter = nullptr;   // the frames' size and format (not owned)

    // False, and refused from now on, when a picture of w x h is too large.
    bool admit(std::int64_t w, std::int64_t h) {
        if (!frame_fits(limits, w, h) && !refused.exchange(true) && news) news->raise();
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

// A libav decoder starts a thread for every core unless told otherwise, and
// each holds pictures of its own: memory would grow with the machine. It
// reads the bound when its stream's caps arrive, which is where this runs.
void bound_decoder_threads(GstPad* pad, QSize size) {
    GstElement* decoder = gst_pad_get_parent_element(pad);
    if (!decoder) return;
    GstElementFactory* factory = gst_element_get_factory(decoder);
    const gchar* name = factory ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : nullptr;
    if (name && g_str_has_prefix(name, "avdec_") &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(decoder), "max-threads")) {
        // Each frame thread holds pictures of its own: above full HD the
        // threads share the picture, slice by slice.
        const bool up_to_full_hd = std::int64_t(size.width()) * size.height() <= 1920 * 1080;
        g_object_set(decoder, "max-threads", up_to_full_hd ? 4 : 2, nullptr);
        if (!up_to_full_hd && g_object_class_find_property(G_OBJECT_GET_CLASS(decoder), "thread-type"))
            gst_util_set_object_arg(G_OBJECT(decoder), "thread-type", "slice");
    }
    gst_object_unref(decoder);
}

// Into a video decoder: the size its stream states, and each JPEG picture's
// own. Nothing of a refused stream reaches the decoder.
GstPadProbeReturn check_coded(GstPad* pad, GstPadProbeInfo* info, gpointer ref) {
    frame_guard& guard = **static_cast<guard_ref*>(ref);
    if (GstEvent* e = GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM ? GST_PAD_PROBE_INFO_EVENT(info)
                                                                                         : nullptr) {
        if (GST_EVENT_TYPE(e) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
        GstCaps* caps = nullptr;
        gst_event_parse_caps(e, &caps);
        const QSize s = caps_frame_size(caps);
        if (!guard.admit(s.width(), s.height())) return GST_PAD_PROBE_DROP;
        bound_decoder_threads(pad, s);
        return GST_PAD_PROBE_OK;
    }
    if (guard.refused) return GST_PAD_PROBE_DROP;
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    GstMapInfo map;
    if (!buffer || !gst_buffer_map(buffer, &map, GST_MAP_READ)) return GST_PAD_PROBE_OK;
    const QSize s = jpeg_frame_size(map.data, map.size);
    gst_buffer_unmap(buffer, &map);
    return guard.admit(s.width(), s.height()) ? GST_PAD_PROBE_OK : GST_PAD_PROBE_DROP;
}

// Out of a video decoder, and into the frames' way out: the size of the
// pictures, before anything converts or holds them; a stream may state one
// size and decode to another, and raw video has no decoder at all.
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

constexpr auto watched = GstPadProbeType(GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM | GST_PAD_PROBE_TYPE_BUFFER);

gboolean watch_sink_pad(GstElement*, GstPad* pad, gpointer ref) {
    gst_pad_add_probe(pad, watched, check_coded, new guard_ref(*static_cast<guard_ref*>(ref)), drop_guard_ref);
    return TRUE;
}

gboolean watch_src_pad(GstElement*, GstPad* pad, gpointer ref) {
    gst_pad_add_probe(pad, watched, check_decoded, new guard_ref(*static_cast<guard_ref*>(ref)), drop_guard_ref);
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

GstCaps* rgb_caps(QSize size) {
    GstCaps* caps = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx", nullptr);
    if (!size.isEmpty())
        gst_caps_set_simple(caps, "width", G_TYPE_INT, size.width(), "height", G_TYPE_INT, size.height(),
                            "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
    return caps;
}

// Into the frames' way out: the checks of check_decoded, and the pictures'
// own size noted; the first of them sets how large frames go out until the
// size they are drawn at is known.
GstPadProbeReturn check_way_out(GstPad* pad, GstPadProbeInfo* info, gpointer ref) {
    const GstPadProbeReturn r = check_decoded(pad, info, ref);
    frame_guard& guard = **static_cast<guard_ref*>(ref);
    GstEvent* e = GST_PAD_PROBE_INFO_TYPE(info) & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM ? GST_PAD_PROBE_INFO_EVENT(info)
                                                                                     : nullptr;
    if (r != GST_PAD_PROBE_OK || !e || GST_EVENT_TYPE(e) != GST_EVENT_CAPS) return r;
    GstCaps* caps = nullptr;
    gst_event_parse_caps(e, &caps);
    const QSize s = caps_frame_size(caps);
    if (s.isEmpty() || guard.width.exchange(s.width()) != 0) return r;
    guard.height = s.height();
    if (!guard.fit_within.isEmpty() && (s.width() > guard.fit_within.width() || s.height() > guard.fit_within.height())) {
        GstCaps* fitted = rgb_caps(s.scaled(guard.fit_within, Qt::KeepAspectRatio).expandedTo(QSize(1, 1)));
        g_object_set(guard.filter, "caps", fitted, nullptr);
        gst_caps_unref(fitted);
    }
    return r;
}

// The frames' way out of the player: scaled (before the colour conversion,
// which then works on the drawn size only) and converted to 32-bit RGB, into
// a sink that keeps the newest frame alone and drops frames that come late.
GstElement* make_video_out(GstElement** filter, GstElement** sink, const guard_ref& guard) {
    GstElement* bin = gst_bin_new("lumivane-video-out");
    GstElement* scale = gst_element_factory_make("videoscale", nullptr);
    GstElement* convert = gst_element_factory_make("videoconvert", nullptr);
    *filter = gst_element_factory_make("capsfilter", nullptr);
    *sink = gst_element_factory_make("appsink", nullptr);
    if (!bin || !scale || !convert || !*filter || !*sink) {
        for (GstElement* e : {bin, scale, convert, *filter, *sink})
            if (e) gst_object_unref(gst_object_ref_sink(e));
        return nullptr;
    }
    GstCaps* rgb = rgb_caps(QSize());
    g_object_set(*filter, "caps", rgb, nullptr);
    gst_caps_unref(rgb);
    guard->filter = *filter;
    g_object_set(*sink, "max-buffers", 1u, "drop", TRUE, "sync", TRUE, "wait-on-eos", FALSE, "enable-last-sample",
                 FALSE, "qos", TRUE, nullptr);
    gst_bin_add_many(GST_BIN(bin), scale, convert, *filter, *sink, nullptr);
    gst_element_link_many(scale, convert, *filter, *sink, nullptr);
    GstPad* in = gst_element_get_static_pad(scale, "sink");
    gst_pad_add_probe(in, watched, check_way_out, new guard_ref(guard), drop_guard_ref);
    gst_element_add_pad(bin, gst_ghost_pad_new("sink", in));
    gst_object_unref(in);
    return bin;
}

// Copies a sample of 32-bit RGB into `into`, which is made anew only when
// the size changes; false when the sample holds no such frame.
bool copy_frame(GstSample* sample, QImage& into) {
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) || GST_VIDEO_INFO_WIDTH(&info) <= 0 ||
        GST_VIDEO_INFO_HEIGHT(&info) <= 0)
        return false;
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) return false;
    const int w = GST_VIDEO_FRAME_WIDTH(&frame), h = GST_VIDEO_FRAME_HEIGHT(&frame);
    const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    const auto* data = static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    if (into.size() != QSize(w, h) || into.format() != QImage::Format_RGB32) into = QImage(w, h, QImage::Format_RGB32);
    const bool ok = !into.isNull() && stride >= w * 4;
    if (ok)
        for (int y = 0; y < h; ++y) std::memcpy(into.scanLine(y), data + qsizetype(y) * stride, std::size_t(w) * 4);
    gst_video_frame_unmap(&frame);
    return ok;
}

GstBusSyncReply tell_of_message(GstBus*, GstMessage* m, gpointer news) {
    if (GST_MESSAGE_TYPE(m) & (GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR | GST_MESSAGE_EOS))
        (*static_cast<news_ref*>(news))->raise();
    return GST_BUS_PASS;
}

}  // namespace

struct video_probe::player {
    GstElement* playbin = nullptr;
    GstElement* filter = nullptr;   // the frames' size and format
    GstElement* sink = nullptr;     // where frames are taken
    GstBus* bus = nullptr;
    news_ref news = std::make_shared<news_line>();
    guard_ref guard = std::make_shared<frame_guard>();
    QSize frame_size;

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

video_probe::video_probe(const QUrl& url, std::function<void()> news, QSize fit_within) {
    if (!gstreamer_ready()) {
        outcome_ = outcome::failed;
        return;
    }
    GstElement* playbin = gst_element_factory_make("playbin", "lumivane-video");
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
    p_->news->tell = std::move(news);
    p_->guard->news = p_->news;
    p_->guard->limits = picture_decode_limits();
    p_->guard->fit_within = fit_within;
    g_signal_connect_data(playbin, "deep-element-added", G_CALLBACK(watch_decoder), new guard_ref(p_->guard),
                          GClosureNotify(+[](gpointer ref, GClosure*) { drop_guard_ref(ref); }), GConnectFlags(0));
    GstElement* video_out = make_video_out(&p_->filter, &p_->sink, p_->guard);
    if (!video_out) {
        outcome_ = outcome::failed;
        return;
    }
    GstAppSinkCallbacks callbacks{};
    callbacks.new_preroll = +[](GstAppSink*, gpointer news) {
        (*static_cast<news_ref*>(news))->raise();
        return GST_FLOW_OK;
    };
    callbacks.new_sample = callbacks.new_preroll;
    gst_app_sink_set_callbacks(GST_APP_SINK(p_->sink), &callbacks, new news_ref(p_->news),
                               +[](gpointer ref) { delete static_cast<news_ref*>(ref); });
    gst_bus_set_sync_handler(p_->bus, tell_of_message, new news_ref(p_->news),
                             +[](gpointer ref) { delete static_cast<news_ref*>(ref); });
    // Without a sound device (a headless session) the sound is played
    // nowhere, in real time, as the sounds of the show are.
    static const bool sound_device = !QMediaDevices::audioOutputs().isEmpty();
    GstElement* audio_out = gst_element_factory_make(sound_device ? "autoaudiosink" : "fakesink", nullptr);
    if (audio_out && !sound_device) g_object_set(audio_out, "sync", TRUE, nullptr);
    // Pictures and sound; volume in software, so that muting works on every
    // device; the frames go to the converter of their own way out as they
    // come from the decoder. Subtitles are left alone.
    constexpr guint video = 0x1, audio = 0x2, soft_volume = 0x10, native_video = 0x40;
    g_object_set(playbin, "uri", url.toEncoded().constData(), "flags", video | audio | soft_volume | native_video,
                 "video-sink", video_out, "audio-sink", audio_out, nullptr);
    if (gst_element_set_state(playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) outcome_ = outcome::failed;
}

video_probe::~video_probe() {
    if (!p_) return;
    p_->news->cut();
    GstElement* playbin = p_->playbin;
    std::vector<GstElement*> posters;
    {
        std::lock_guard lock(watch().m);
        posters.swap(watch().failed[playbin]);
        watch().failed.erase(playbin);
    }
    for (GstElement* e : posters) gst_object_unref(e);
    gst_bus_set_sync_handler(p_->bus, nullptr, nullptr, nullptr);
    gst_object_unref(p_->bus);
    // Stopping waits for the streaming threads, and a decoder may hang (one
    // still opening) or take its time over a large picture: the player
    // stops on a thread of its own, not the window's, which goes on at once.
    std::thread([playbin] {
        gst_element_set_state(playbin, GST_STATE_NULL);
        gst_object_unref(playbin);
    }).detach();
}

video_probe::outcome video_probe::poll() {
    if (outcome_ == outcome::failed) return outcome_;
    p_->news->took();
    if (p_->guard->refused) return outcome_ = outcome::failed;
    const auto wanted = GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_EOS |
                                       (outcome_ == outcome::opening ? GST_MESSAGE_ASYNC_DONE : 0));
    while (GstMessage* m = gst_bus_pop_filtered(p_->bus, wanted)) {
        const GstMessageType type = GST_MESSAGE_TYPE(m);
        gst_message_unref(m);
        if (type == GST_MESSAGE_ERROR || p_->guard->refused) return outcome_ = outcome::failed;
        if (type == GST_MESSAGE_EOS) {
            if (outcome_ == outcome::opening) return outcome_ = outcome::failed;   // ended before a picture
            ended_ = true;
            continue;
        }
        if (outcome_ != outcome::opening) continue;
        gint videos = 0;
        g_object_get(p_->playbin, "n-video", &videos, nullptr);
        has_video_ = videos > 0;
        if (has_video_) {
            if (GstSample* preroll = gst_app_sink_try_pull_preroll(GST_APP_SINK(p_->sink), 0)) {
                copy_frame(preroll, first_);
                gst_sample_unref(preroll);
            }
        }
        natural_ = QSize(p_->guard->width, p_->guard->height);
        if ((has_video_ && (first_.isNull() || natural_.isEmpty())) || p_->guard->refused)
            return outcome_ = outcome::failed;
        outcome_ = outcome::ready;
    }
    if (outcome_ == outcome::opening && p_->error_dropped()) outcome_ = outcome::failed;
    return outcome_;
}

void video_probe::play() {
    if (p_ && outcome_ == outcome::ready) gst_element_set_state(p_->playbin, GST_STATE_PLAYING);
}

void video_probe::pause() {
    if (p_ && outcome_ == outcome::ready) gst_element_set_state(p_->playbin, GST_STATE_PAUSED);
}

void video_probe::set_muted(bool on) {
    if (p_) g_object_set(p_->playbin, "mute", on ? TRUE : FALSE, nullptr);
}

void video_probe::set_frame_size(QSize size) {
    if (!p_ || size == p_->frame_size) return;
    p_->frame_size = size;
    GstCaps* caps = rgb_caps(size);
    g_object_set(p_->filter, "caps", caps, nullptr);
    gst_caps_unref(caps);
}

bool video_probe::position_changed() {
    gint64 now = -1;
    if (!p_ || !gst_element_query_position(p_->playbin, GST_FORMAT_TIME, &now) || now == position_) return false;
    position_ = now;
    return true;
}

namespace {

// A frame of the pipeline's, mapped, for as long as an image shows it.
struct held_frame {
    GstSample* sample;
    GstVideoFrame frame;
};

void release_frame(void* held) {
    auto* h = static_cast<held_frame*>(held);
    gst_video_frame_unmap(&h->frame);
    gst_sample_unref(h->sample);
    delete h;
}

}  // namespace

bool video_probe::take_frame(QImage& into) {
    if (!p_ || outcome_ != outcome::ready) return false;
    p_->news->took();
    GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(p_->sink), 0);
    if (!sample) return false;
    // The image shows the pipeline's own buffer, which goes back to the
    // pipeline when the image is let go of: nothing is copied.
    GstVideoInfo info;
    GstCaps* caps = gst_sample_get_caps(sample);
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    auto* held = new held_frame{sample, {}};
    if (!caps || !buffer || !gst_video_info_from_caps(&info, caps) ||
        GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_BGRx ||
        !gst_video_frame_map(&held->frame, &info, buffer, GST_MAP_READ)) {
        gst_sample_unref(sample);
        delete held;
        return false;
    }
    into = QImage(static_cast<const uchar*>(GST_VIDEO_FRAME_PLANE_DATA(&held->frame, 0)),
                  GST_VIDEO_FRAME_WIDTH(&held->frame), GST_VIDEO_FRAME_HEIGHT(&held->frame),
                  GST_VIDEO_FRAME_PLANE_STRIDE(&held->frame, 0), QImage::Format_RGB32, release_frame, held);
    return !into.isNull();
}

}  // namespace lv
