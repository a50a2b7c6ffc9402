// Writes the JavaScript client's TypeScript declarations from the control's
// method table, at build time: make_declarations OUT.d.ts
#include <cstdio>
#include <fstream>

#include "bridge/method_table.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_declarations OUT.d.ts\n");
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << bridge::typescriptDeclarations();
    return out.good() ? 0 : 1;
}
