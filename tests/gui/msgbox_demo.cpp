// Shows one warning box (caption and text from the command line) and prints
// the button that closed it; the message box helper's own test uses it.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: msgbox_demo CAPTION TEXT\n");
        return 2;
    }
    int answer = MessageBoxA(nullptr, argv[2], argv[1], MB_OK | MB_ICONWARNING);
    std::printf("answer %d\n", answer);
    return answer == IDOK ? 0 : 1;
}
