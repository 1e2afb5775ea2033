// tessal-cli: batch use of the engine.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tessal-cli %s\n", TESSAL_VERSION);
        return 0;
    }
    return 2;
}
