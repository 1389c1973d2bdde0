#pragma once

// Where the runtime redistributable's stand-in marks the runtime as installed, below the Windows
// folder; the sample service that needs the runtime looks for it there.
inline constexpr const char* SAMPLE_RUNTIME_MARKER = "\\System32\\msvcr_zil.marker";
