// Build-time helper: writes the empty record database that ships as a template.
#include "store/record_schema.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DATABASE\n", argv[0]);
        return 2;
    }
    const vellumet::Status made = vellumet::store::ensureRecordSchema(argv[1]);
    if (!made) {
        std::fprintf(stderr, "%s\n", made.error().text().c_str());
        return 1;
    }
    return 0;
}
