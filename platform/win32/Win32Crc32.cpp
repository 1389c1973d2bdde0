// zlib's inflate links its CRC-32 for gzip streams, which this program never reads (its streams
// carry an Adler-32): the library's table-driven CRC-32 would add some 8 KB of tables and code
// to the setup program. The link hands every call of crc32 to this one (--wrap=crc32), which
// computes the same value a bit at a time.

#include <zlib.h>

extern "C" uLong __wrap_crc32(uLong crc, const Bytef* buffer, uInt length) {
    if (buffer == nullptr) {
        return 0;  // zlib's way to ask for the initial value
    }
    crc = ~crc & 0xFFFFFFFFul;
    while (length-- > 0) {
        crc ^= *buffer++;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
        }
    }
    return ~crc & 0xFFFFFFFFul;
}
