#pragma once

// Qt Multimedia's GStreamer pipelines (Debian 12's Qt 6.4) hold many more decoded frames than
// a show draws: the H.264 decoder runs a thread per core, each with frames of its own in
// flight, and the two queues Qt puts between decoder and sink take up to 10 MB each, four
// 1080p frames apiece, whether the clip plays or is held paused ahead. From the first player
// on, the host has video decoders run one thread each (clips play side by side on the cores,
// and one thread decodes a 1080p frame in a few milliseconds) unless the stream's size and
// rate, known when its caps reach the decoder, need more (4K: see media_decode_threads.h);
// those queues hold a frame or two, and its sink keeps no frame beside the one Qt holds.
// Found by the names Qt gives its elements and bins; were they to change, pipelines keep Qt's
// limits.
//
// Built without GStreamer's headers, pipelines keep Qt's limits.

namespace pa::host {

// Once, before the first player is made; later calls do nothing.
void limitMediaPipelines();

} // namespace pa::host
