// A loadable library that is no COM server: it exports none of the four server functions.
extern "C" __attribute__((visibility("default"))) int ZephraTestNotAServer() {
    return 42;
}
