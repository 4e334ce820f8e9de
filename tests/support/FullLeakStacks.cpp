// Linked into the test programs that run Samba's client library, in builds
// with AddressSanitizer. That library's allocator, talloc, is built without
// frame pointers, so the fast unwinder's stacks end inside it and no leak
// it makes could be told from another. The slower unwinder reads the whole
// stack, so tests/lsan.supp can name the one known leak by its caller.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
