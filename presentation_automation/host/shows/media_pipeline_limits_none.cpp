#include "presentation_automation/host/shows/media_pipeline_limits.h"

namespace pa::host {

// Built without GStreamer's headers: Qt's own limits stay.
void limitMediaPipelines() {}

} // namespace pa::host
