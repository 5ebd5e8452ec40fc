// Linked into every program of the sanitizer build. fontconfig keeps parts
// of its parsed configuration for the life of the process; under
// LeakSanitizer those are not leaks of ours.
extern "C" __attribute__((used)) const char *__lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
