// For test programs that run GTK under AddressSanitizer. GTK, Pango and
// fontconfig are built without frame pointers, so only the slow unwinder sees
// which library an allocation came from; the shared suppressions name the
// libraries whose caches live as long as the process.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0:malloc_context_size=12"; }
extern "C" const char* __lsan_default_options() { return "suppressions=" MOONWISP_LSAN_SUPPRESSIONS; }
