/* Payload program of the empty-root test: prints its current folder and its
   arguments. Linked statically, since the root it runs in holds nothing else. */
#include <stdio.h>
#include <unistd.h>

int main(int argc, char** argv) {
    char folder[4096];
    printf("cwd=%s\n", getcwd(folder, sizeof folder) ? folder : "?");
    for (int i = 1; i < argc; ++i) printf("arg=%s\n", argv[i]);
    return 0;
}
