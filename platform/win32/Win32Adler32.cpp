// The Adler-32 that the setup program's inflate checks each stream with. zlib's own unrolls its
// loop sixteen times, some 700 bytes of a download for no speed that shows next to inflating:
// this one adds a byte at a time and reduces only as often as the sums could overflow.

#include <zlib.h>

namespace {

constexpr unsigned long ADLER_MODULUS = 65521;
// The most bytes that can be added before the second sum could pass 32 bits.
constexpr uInt ADLER_RUN = 5552;

}  // namespace

extern "C" uLong adler32(uLong adler, const Bytef* buffer, uInt length) {
    if (buffer == nullptr) {
        return 1;  // zlib's way to ask for the initial value
    }
    unsigned long sum1 = adler & 0xFFFF;
    unsigned long sum2 = (adler >> 16) & 0xFFFF;
    while (length > 0) {
        uInt run = length < ADLER_RUN ? length : ADLER_RUN;
        length -= run;
        while (run-- > 0) {
            sum1 += *buffer++;
            sum2 += sum1;
        }
        sum1 %= ADLER_MODULUS;
        sum2 %= ADLER_MODULUS;
    }
    return (sum2 << 16) | sum1;
}
