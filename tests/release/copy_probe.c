/* Payload program of the release tests: copies each file named by one of its
   arguments (relative to its current folder, the work folder) into the folder
   named by KVSFX_COPY_TO under its last name component, and writes the number of arguments it got into
   ran.txt there, so that a test can see that it ran and compare the copies
   with what it packed. Arguments that name no file are passed over. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int copy_file(const char* name, const char* folder) {
    const char* base = name;
    for (const char* p = name; *p; ++p)
        if (*p == '/' || *p == '\\') base = p + 1;
    char target[4096];
    snprintf(target, sizeof target, "%s/%s", folder, base);
    FILE* in = fopen(name, "rb");
    if (!in) return 0;
    FILE* out = fopen(target, "wb");
    if (!out) {
        fclose(in);
        return 1;
    }
    char buffer[65536];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, in)) > 0) fwrite(buffer, 1, count, out);
    fclose(in);
    return fclose(out) != 0;
}

int main(int argc, char** argv) {
    const char* folder = getenv("KVSFX_COPY_TO");
    if (!folder) return 3;
    int failures = 0;
    for (int i = 1; i < argc; ++i) failures += copy_file(argv[i], folder);
    char ran[4096];
    snprintf(ran, sizeof ran, "%s/ran.txt", folder);
    FILE* out = fopen(ran, "w");
    if (!out) return 4;
    fprintf(out, "%d\n", argc - 1);
    fclose(out);
    return failures ? 5 : 0;
}
