#pragma once

// The extractor's callback while a sequence extracts the archive: keeps the window responsive,
// names each entry in the lower bar's label and drives both bars. context is the sequence's
// SequenceObserver. The result means nothing; the extractor ignores it.
int ExtractCallback(int code, void* param, void* context);
