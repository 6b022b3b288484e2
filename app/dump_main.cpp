#include "app/dump_entry_point.h"

int main(int argc, char** argv) {
    return RunTarvikDump(argc, argv);
}
