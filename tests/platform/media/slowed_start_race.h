#pragma once
// Slows down both sides of the race by which a media player's own start can
// deadlock the window's thread inside GStreamer, so that a test meets it
// every time instead of once an hour on a loaded machine.
//
// The race: giving a player its file switches its pipeline to PAUSED and
// then flushes it. The switch starts the decoder's thread, which adds an
// output to the pipeline, links it and sets its state. If the output is
// added while the window's thread is still switching the pipeline's
// elements, the window's thread switches it too and its flush then waits for
// the decoder, while the decoder waits to set the output's state.
//
// While one of these exists, the window's thread dawdles for 30 ms right
// after it started a pipeline's decoder, and every output a decoder's thread
// links into a pipeline sits there for 100 ms before its state is set.
#include <gst/gst.h>

#include <atomic>

namespace lv::test {

class slowed_start_race {
public:
    slowed_start_race() {
        gst_init(nullptr, nullptr);
        gui_thread() = g_thread_self();
        // A tracer cannot be taken back: it stays, idle while no race is slowed.
        static GObject* tracer = static_cast<GObject*>(g_object_new(dawdler_get_type(), nullptr));
        (void)tracer;
        linked_ = g_signal_lookup("linked", GST_TYPE_PAD);
        if (linked_ != 0) hook_ = g_signal_add_emission_hook(linked_, 0, linger_after_linking, nullptr, nullptr);
        on() = true;
    }
    ~slowed_start_race() {
        on() = false;
        if (hook_ != 0) g_signal_remove_emission_hook(linked_, hook_);
    }
    slowed_start_race(const slowed_start_race&) = delete;
    slowed_start_race& operator=(const slowed_start_race&) = delete;

    bool ready() const { return hook_ != 0; }

private:
    static std::atomic<bool>& on() {
        static std::atomic<bool> b{false};
        return b;
    }
    static GThread*& gui_thread() {
        static GThread* t = nullptr;
        return t;
    }

    // A bin that sits right in a pipeline: an output, or a decoder.
    static bool top_level_bin(GstElement* element) {
        if (!GST_IS_BIN(element)) return false;
        GstObject* parent = gst_object_get_parent(GST_OBJECT(element));
        const bool top = parent && GST_IS_PIPELINE(parent);
        if (parent) gst_object_unref(parent);
        return top;
    }

    static gboolean linger_after_linking(GSignalInvocationHint*, guint n_params, const GValue* params, gpointer) {
        if (!on() || n_params < 1 || g_thread_self() == gui_thread()) return TRUE;
        auto* pad = GST_PAD(g_value_get_object(&params[0]));
        if (!GST_PAD_IS_SINK(pad)) return TRUE;
        GstElement* owner = gst_pad_get_parent_element(pad);
        if (!owner) return TRUE;
        if (top_level_bin(owner)) g_usleep(100 * 1000);
        gst_object_unref(owner);
        return TRUE;
    }

    static void dawdle_after_starting(GObject*, GstClockTime, GstElement* element, GstStateChange transition,
                                      GstStateChangeReturn) {
        if (on() && g_thread_self() == gui_thread() && transition == GST_STATE_CHANGE_READY_TO_PAUSED &&
            top_level_bin(element))
            g_usleep(30 * 1000);
    }

    struct Dawdler { GstTracer parent; };
    struct DawdlerClass { GstTracerClass parent_class; };
    static GType dawdler_get_type() {
        static const GType type = [] {
            const GTypeInfo info = {sizeof(DawdlerClass), nullptr, nullptr, nullptr, nullptr, nullptr,
                                    sizeof(Dawdler),      0,       dawdler_init, nullptr};
            return g_type_register_static(GST_TYPE_TRACER, "LumivaneTestDawdler", &info, GTypeFlags(0));
        }();
        return type;
    }
    static void dawdler_init(GTypeInstance* self, gpointer) {
        gst_tracing_register_hook(GST_TRACER(self), "element-change-state-post", G_CALLBACK(dawdle_after_starting));
    }

    guint linked_ = 0;
    gulong hook_ = 0;
};

}  // namespace lv::test
