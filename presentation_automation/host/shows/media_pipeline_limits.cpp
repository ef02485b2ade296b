#include "presentation_automation/host/shows/media_pipeline_limits.h"

#include "presentation_automation/host/shows/media_decode_threads.h"

#include <gst/gst.h>

#include <cstring>
#include <mutex>

namespace pa::host {

namespace {

// GStreamer tells of each element made and each element put in a bin only to tracers; this
// one sets limits there, before the pipeline first runs.
struct LimitsTracer
{
    GstTracer parent;
};

struct LimitsTracerClass
{
    GstTracerClass parent;
};

G_DEFINE_TYPE(LimitsTracer, limits_tracer, GST_TYPE_TRACER)

void limits_tracer_class_init(LimitsTracerClass *) {}

void limits_tracer_init(LimitsTracer *) {}

const char *factoryName(GstElement *element)
{
    GstElementFactory *factory = gst_element_get_factory(element);
    return factory != nullptr ? gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)) : "";
}

// A libav video decoder opens its codec, with the threads it is set to then, when the stream's
// caps reach it: its size and rate are known from there.
GstPadProbeReturn capsReachDecoder(GstPad *pad, GstPadProbeInfo *info, gpointer)
{
    GstEvent *event = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) {
        return GST_PAD_PROBE_OK;
    }
    GstCaps *caps = nullptr;
    gst_event_parse_caps(event, &caps);
    if (caps == nullptr || gst_caps_get_size(caps) == 0) {
        return GST_PAD_PROBE_OK;
    }
    const GstStructure *stream = gst_caps_get_structure(caps, 0);
    int width = 0;
    int height = 0;
    int numerator = 0;
    int denominator = 1;
    gst_structure_get_int(stream, "width", &width);
    gst_structure_get_int(stream, "height", &height);
    if (!gst_structure_get_fraction(stream, "framerate", &numerator, &denominator) ||
        denominator <= 0) {
        numerator = 0;
        denominator = 1;
    }
    if (GstObject *decoder = gst_pad_get_parent(pad)) {
        g_object_set(decoder, "max-threads",
                     decodeThreadsFor(width, height, double(numerator) / denominator,
                                      decodeThreadsAllowed()),
                     nullptr);
        gst_object_unref(decoder);
    }
    return GST_PAD_PROBE_OK;
}

void elementMade(GObject *, GstClockTime, GstElement *element)
{
    const char *kind = factoryName(element);
    // The libav video decoders; its audio decoders have no threads to set. One thread until
    // the stream says it needs more.
    if (g_str_has_prefix(kind, "avdec_") &&
        g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads") != nullptr) {
        g_object_set(element, "max-threads", 1, nullptr);
        if (GstPad *sink = gst_element_get_static_pad(element, "sink")) {
            gst_pad_add_probe(sink, GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, capsReachDecoder, nullptr,
                              nullptr);
            gst_object_unref(sink);
        }
    }
    // Qt's video sink: a sink keeps the last frame it had for whoever asks for it, and Qt does
    // not; Qt holds the frame it handed over itself.
    if (std::strcmp(kind, "qtvideosink") == 0) {
        g_object_set(element, "enable-last-sample", FALSE, nullptr);
    }
}

void elementAdded(GObject *, GstClockTime, GstBin *bin, GstElement *element, gboolean added)
{
    if (!added || std::strcmp(factoryName(element), "queue") != 0) {
        return;
    }
    // Qt's video output ("videoOutput": queue, converter, sink bin) and its sink's own bin
    // ("videoSinkBin": queue, then the sink). The first queue lets the decoder run a frame
    // or two ahead of the sink; the second is only a thread boundary.
    const char *name = GST_OBJECT_NAME(bin);
    const guint frames = std::strcmp(name, "videoOutput") == 0    ? 2
                         : std::strcmp(name, "videoSinkBin") == 0 ? 1
                                                                  : 0;
    if (frames > 0) {
        g_object_set(element, "max-size-buffers", frames, "max-size-bytes", 0u, "max-size-time",
                     guint64(0), nullptr);
    }
}

} // namespace

void limitMediaPipelines()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // Qt starts GStreamer with its first player; started again, it does nothing.
        gst_init(nullptr, nullptr);
        // Kept for the process: GStreamer holds its hooks until the end.
        auto *tracer = static_cast<GstTracer *>(g_object_new(limits_tracer_get_type(), nullptr));
        gst_tracing_register_hook(tracer, "element-new", G_CALLBACK(elementMade));
        gst_tracing_register_hook(tracer, "bin-add-post", G_CALLBACK(elementAdded));
    });
}

} // namespace pa::host
