// Entry point of the headless server program.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("corvane-server 0.1.0\n");
            return 0;
        }
    }
    std::printf("Usage: corvane-server --headless [--home DIR]\n");
    return 0;
}
