#include "sfx/ExtractOutcome.h"

#include "text/Format.h"
#include "res/StringTable.h"
#include "sfx/SfxExtractor.h"

int ExtractOutcomeStringId(int result) {
    switch (result) {
        case SFX_ERR_SIGNATURE:
        case SFX_ERR_NO_DATA:
            return IDS_EXTRACT_NO_DATA;
        case SFX_ERR_CREATE_OUTPUT:
            return IDS_EXTRACT_CREATE_OUTPUT;
        case SFX_OK:
            return IDS_EXTRACT_OK;
        case SFX_ERR_CORRUPT:
            return IDS_EXTRACT_CORRUPT;
        case SFX_ERR_WRITE:
            return IDS_EXTRACT_WRITE;
        case SFX_ERR_INCOMPLETE:
            return IDS_EXTRACT_INCOMPLETE;
        default:
            return IDS_EXTRACT_INTERNAL;
    }
}

const char* ExtractOutcomeString(int stringId) {
    // Only the extraction entries have an outcome's words; any other id is an internal error.
    bool outcome = stringId >= IDS_EXTRACT_NO_DATA && stringId <= IDS_EXTRACT_INCOMPLETE;
    return StringTableText(outcome ? stringId : IDS_EXTRACT_INTERNAL);
}

String ExtractOutcomeText(int result, int count) {
    // Only the success text holds a "%d"; the others come out as they are.
    return Format(ExtractOutcomeString(ExtractOutcomeStringId(result)), count);
}
