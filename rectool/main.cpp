#include "rectool.h"

int main(int argc, char **argv) {
    return RecToolMain(argc, argv, stdout, stderr);
}
