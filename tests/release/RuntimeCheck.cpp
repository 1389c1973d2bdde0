// Drives the Windows programs' allocation and failure paths, one per run:
//   RuntimeCheck new      asks operator new for more than the address space holds
//   RuntimeCheck string   asks a string for more than its longest length
//   RuntimeCheck vector   asks a vector for more than its largest size
//   RuntimeCheck nothrow  asks the nothrow operator new for too much: prints what it answered
//   RuntimeCheck empty    asks operator new for zero bytes twice
//   RuntimeCheck crc      prints the CRC-32 that zlib's callers get, of "123456789" and of
//                         nothing, in hexadecimal
// A failure path must end the program (exit code 3, as an uncaught exception did); if it
// returns, this prints "returned" and exits with 0, which the check counts as the fault.

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include <zlib.h>

namespace {

// Sizes are read, and blocks kept, through volatiles: the compiler may neither see a request
// fail nor drop an allocation that nothing uses.
volatile std::size_t theHugeSize = SIZE_MAX - 4096;
void* volatile theBlock = nullptr;

int afterFailurePath() {
    std::puts("returned");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: RuntimeCheck new|string|vector|nothrow|empty|crc\n", stderr);
        return 2;
    }
    std::string what = argv[1];
    if (what == "new") {
        theBlock = new char[theHugeSize];
        return afterFailurePath();
    }
    if (what == "string") {
        std::string text;
        text.reserve(text.max_size() + theHugeSize % 2 + 1);
        return afterFailurePath();
    }
    if (what == "vector") {
        std::vector<int> numbers;
        numbers.reserve(numbers.max_size() + theHugeSize % 2 + 1);
        return afterFailurePath();
    }
    if (what == "nothrow") {
        theBlock = new (std::nothrow) char[theHugeSize];
        std::puts(theBlock == nullptr ? "null" : "a block");
        return 0;
    }
    if (what == "empty") {
        // Zero-byte requests are valid and each gets a block of its own.
        void* first = ::operator new(0);
        void* second = ::operator new(0);
        bool distinct = first != nullptr && second != nullptr && first != second;
        ::operator delete(first);
        ::operator delete(second);
        std::puts(distinct ? "distinct" : "same");
        return 0;
    }
    if (what == "crc") {
        const char* check = "123456789";
        uLong crc = crc32(0, nullptr, 0);
        uLong none = crc32(crc, reinterpret_cast<const Bytef*>(check), 0);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(check), 4);
        crc = crc32(crc, reinterpret_cast<const Bytef*>(check + 4), 5);
        std::printf("%08lx %08lx\n", static_cast<unsigned long>(crc),
                    static_cast<unsigned long>(none));
        return 0;
    }
    return 2;
}
