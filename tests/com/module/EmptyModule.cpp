// A shared library that is no server module: it exports none of the entry points.
extern "C" [[gnu::visibility("default")]] int VarnoNotAServer() {
    return 0;
}
