// The frame scope and the host's pending GL errors, in an adopted context.
//
// A frame scope (begin_drawing / end_drawing) is one long episode of host-state saving: the
// host's state is saved at the first draw and put back when the scope ends, so the draws inside
// pay for no save and restore of their own (host_state.h).
//
// GL keeps error flags per context, and a call that reads them clears them, so a layer call
// would swallow an error the host left pending and report it as its own. The outermost call
// takes the host's errors first and, as GL offers no way to set a flag directly, raises each
// again when it returns with a command that fails that way and does nothing else.
#pragma once

namespace zorva::layer {

int begin_frame();
int end_frame();

// At the start of the outermost call in an adopted context: takes the pending errors.
void take_host_errors();
// At its end: discards the layer's own leftovers and raises the host's errors again.
void give_back_host_errors();

}  // namespace zorva::layer
