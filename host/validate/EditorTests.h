#pragma once

#include "host/validate/Validator.h"

namespace corvane::host::validate {

// The editor, opened without a window as a host shows it. Each notes and passes when the
// module has no editor, or one that does not open in memory.

/** Opening and closing while audio renders leaves nothing behind. */
void EditorOpenClose(TestContext& context);
/** The same in a window of the host's, when there is a display (notes and passes without). */
void EditorWindowOpenClose(TestContext& context);
/** The host's parameter changes reach the open editor's controls by the next tick. */
void EditorParameters(TestContext& context);
/** Pointer gestures on the controls reach the host's automation and move the parameters. */
void EditorGestures(TestContext& context);

}  // namespace corvane::host::validate
