// Sanitizer defaults for test binaries that run Qt WebEngine. Its bundled
// Chromium frees some objects through a base type of another size and keeps
// a few allocations (its own and fontconfig's) until the process ends;
// neither is this program's doing, and left on they fail every test that
// opens a page. Our own code is still checked for everything else.

extern "C" const char* __asan_default_options() { return "new_delete_type_mismatch=0"; }

extern "C" const char* __lsan_default_suppressions() {
    return "leak:libQt6WebEngineCore.so\n"
           "leak:libfontconfig.so\n";
}
