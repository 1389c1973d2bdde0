// The Adler-32 that the setup program's inflate checks each stream with. zlib's own unrolls its
// loop sixteen times, some 700 bytes of a download for no speed that shows next to inflating:
// this one adds a byte at a time and reduces only as often as the sums could overflow.

#include <zlib.h>

namespace {

constexpr uInt ADLER_MODULUS = 65521;
// The most bytes that can be added before the second sum could pass 32 bits.
constexpr uInt ADLER_RUN = 5552;

}  // namespace

// It runs once for every byte of the payload: built for speed where the rest of the program is
// built for size, which would keep the second sum in memory, a store and a load for each byte
// (under Wine it took a fifth of the extraction's processor time).
extern "C" __attribute__((optimize("O2"))) uLong adler32(uLong adler, const Bytef* buffer,
                                                         uInt length) {
    if (buffer == nullptr) {
        return 1;  // zlib's way to ask for the initial value
    }
    uInt sum1 = adler & 0xFFFF;
    uInt sum2 = (adler >> 16) & 0xFFFF;
    const Bytef* end = buffer + length;
    while (buffer != end) {
        auto left = static_cast<uInt>(end - buffer);
        const Bytef* runEnd = buffer + (left < ADLER_RUN ? left : ADLER_RUN);
        do {
            sum1 += *buffer++;
            sum2 += sum1;
        } while (buffer != runEnd);
        sum1 %= ADLER_MODULUS;
        sum2 %= ADLER_MODULUS;
    }
    return (uLong{sum2} << 16) | sum1;
}
