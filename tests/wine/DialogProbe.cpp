// Tells the Wine checks where the dialog's controls are on the screen and what they say, so
// that a click lands on a button and a screenshot can be cut into its controls.
//   DialogProbe.exe CAPTION ID...   one line per control: "ID LEFT TOP RIGHT BOTTOM TEXT"
// ID 0 is the dialog's own window, frame included.
// Exits 1 when no top-level window has the caption, 2 when a control is missing.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: DialogProbe CAPTION ID...\n");
        return 1;
    }
    HWND dialog = FindWindowA(nullptr, argv[1]);
    if (dialog == nullptr) {
        std::fprintf(stderr, "DialogProbe: no window \"%s\"\n", argv[1]);
        return 1;
    }
    int missing = 0;
    for (int i = 2; i < argc; ++i) {
        int id = std::atoi(argv[i]);
        HWND control = id == 0 ? dialog : GetDlgItem(dialog, id);
        RECT rect{};
        if (control == nullptr || !GetWindowRect(control, &rect)) {
            std::printf("%d missing\n", id);
            missing = 2;
            continue;
        }
        char text[512] = {};
        GetWindowTextA(control, text, sizeof(text));
        std::printf("%d %ld %ld %ld %ld %s\n", id, rect.left, rect.top, rect.right, rect.bottom,
                    text);
    }
    return missing;
}
