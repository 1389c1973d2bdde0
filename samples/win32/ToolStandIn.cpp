// Stand-in for one of the product's setup-only helpers (STANDIN_NAME): setup carries it in the
// payload and deletes it after the install; run by hand it only says what it is.
#include <cstdio>

int main(int argc, char** argv) {
    std::printf("%s (stand-in)", STANDIN_NAME);
    for (int i = 1; i < argc; ++i) {
        std::printf(" %s", argv[i]);
    }
    std::printf("\n");
    return 0;
}
