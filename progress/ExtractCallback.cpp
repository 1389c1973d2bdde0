#include "progress/ExtractCallback.h"

#include "progress/SequenceObserver.h"
#include "sfx/SfxExtractor.h"

int ExtractCallback(int code, void* param, void* context) {
    SequenceObserver& observer = *static_cast<SequenceObserver*>(context);
    // The sequence runs on the dialog's thread: this is the only place where the window gets
    // its messages while the archive is inflated. Progress comes every few kilobytes, far more
    // often than a look at an empty queue is worth; an entry's start and end always look.
    if (code == EXTRACT_PROGRESS) {
        observer.PumpMessagesIfDue();
    } else {
        observer.PumpMessages();
    }
    switch (code) {
        case EXTRACT_ENTRY_BEGIN:
            observer.SetCurrentLabel("Extracting " +
                                     static_cast<const ArchiveEntry*>(param)->m_name);
            observer.Refresh();
            break;
        case EXTRACT_ENTRY_DONE:
            observer.StepTotal();
            break;
        case EXTRACT_PROGRESS:
            observer.SetCurrentPos(*static_cast<const int*>(param) / 2);
            break;
        default:
            break;
    }
    return 0;
}
