#include "cli/build_tuning.h"

namespace tpjconv {

// The ThreadSanitizer build compiles this file alone with TPJCONV_SINK_PIECE and
// TPJCONV_WRITER_START_AFTER, so every program of one build agrees on them.
OutputTuning build_tuning() {
  OutputTuning tuning;
#ifdef TPJCONV_SINK_PIECE
  tuning.piece = TPJCONV_SINK_PIECE;
#endif
#ifdef TPJCONV_WRITER_START_AFTER
  tuning.writer_start_after = TPJCONV_WRITER_START_AFTER;
#endif
  return tuning;
}

}  // namespace tpjconv
