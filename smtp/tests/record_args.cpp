// Test helper: appends its argument vector to the file named by RECORD_ARGS_FILE, each argument as
// "<length>:<bytes>\n", then a line "--".
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const char* path = std::getenv("RECORD_ARGS_FILE");
    if (path == nullptr) return 2;
    std::FILE* out = std::fopen(path, "ab");
    if (out == nullptr) return 3;
    for (int i = 0; i < argc; ++i) std::fprintf(out, "%zu:%s\n", std::strlen(argv[i]), argv[i]);
    std::fputs("--\n", out);
    return std::fclose(out) == 0 ? 0 : 4;
}
