#include "sfx/ExtractOutcome.h"

#include <cstdio>

#include "sfx/SfxExtractor.h"

int ExtractOutcomeStringId(int result) {
    switch (result) {
        case SFX_ERR_SIGNATURE:
        case SFX_ERR_NO_DATA:
            return 3;
        case SFX_ERR_CREATE_OUTPUT:
            return 4;
        case SFX_OK:
            return 6;
        case SFX_ERR_CORRUPT:
            return 7;
        case SFX_ERR_WRITE:
            return 8;
        default:
            return 5;
    }
}

const char* ExtractOutcomeString(int stringId) {
    switch (stringId) {
        case 3:
            return "Archive contins no data. Extraction cannot continue.";
        case 4:
            return "Extractor Experienced Problems Creating Output File. Please ensure that you "
                   "have enough space on the target drive.";
        case 6:
            return "%d files extracted successfully";
        case 7:
            return "Archive data is damaged. Extraction cannot continue.";
        case 8:
            return "Extractor could not read the archive or write an output file. Please ensure "
                   "that you have enough space on the target drive.";
        default:
            return "Internal Error";
    }
}

std::string ExtractOutcomeText(int result, int count) {
    int id = ExtractOutcomeStringId(result);
    if (id != 6) {
        return ExtractOutcomeString(id);
    }
    char text[64];
    std::snprintf(text, sizeof(text), ExtractOutcomeString(id), count);
    return text;
}
