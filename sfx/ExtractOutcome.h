#pragma once

#include "text/StringType.h"

// The words for an extraction's result code, as the setup program's string table carries them
// (entries 3 to 8), so that the tool and the setup program's logs say the same thing.
// count is the number of entries, used by the success text.
String ExtractOutcomeText(int result, int count);

// The string table entry that carries the text for a result code: 3 for SFX_ERR_SIGNATURE and
// SFX_ERR_NO_DATA, 4 for SFX_ERR_CREATE_OUTPUT, 6 for SFX_OK ("%d files extracted successfully"),
// 7 for SFX_ERR_CORRUPT, 8 for SFX_ERR_WRITE, 5 for anything else.
int ExtractOutcomeStringId(int result);

// The text of a string table entry between 3 and 8, unformatted.
const char* ExtractOutcomeString(int stringId);
