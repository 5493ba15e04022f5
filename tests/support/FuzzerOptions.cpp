// Linked into every fuzzer: AddressSanitizer's defaults for long fuzzing runs.
//
// ASan keeps the stack of every allocation in a depot that is never freed, and takes those
// stacks with its frame-pointer unwinder. Debian's libjsoncpp and libstdc++ are built without
// frame pointers, so past the first two frames (the allocator and its caller) the unwinder
// reads whatever the library left in its frame register: for the JSON reader a pointer into
// the text, different for nearly every allocation. Each allocation then stores a new stack,
// and a fuzzer's resident memory grows by megabytes a second while its live heap stays a few
// megabytes, until libFuzzer stops it as out of memory. Two frames are all that can be trusted
// there, and they keep the depot to one entry per allocating call site. The options of the
// environment (ASAN_OPTIONS) still come on top.
extern "C" const char* __asan_default_options()
{
    return "malloc_context_size=2";
}
