// How this build writes the outputs: the default tuning, or, in the ThreadSanitizer build, the
// writer thread started at the first piece and pieces of 4 KiB, so that small runs hand it many.
#pragma once

#include "files/outputs.h"

namespace tpjconv {

OutputTuning build_tuning();

}  // namespace tpjconv
