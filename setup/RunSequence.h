#pragma once

#include "setup/Sequence.h"

enum class SequenceKind { Install, Uninstall };

// How every sequence is started, by the dialog's buttons, its command line and the tests alike:
// the sequence runs to its end inside this call.
void RunSequence(SequenceKind kind, const SequenceContext& context);
