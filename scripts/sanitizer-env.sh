# Sourced by the scripts that run sanitizer builds: every report ends the program with a failure.
# Leak reports are on; tests/sanitizers/lsan.supp lists the only leaks let through (system libraries').
# intercept_tls_get_addr=0: clang 14's runtime can take a dynamic TLS block of glibc >= 2.25 for an
# old-style one and then crash its own leak check ("Tracer caught signal 11"), failing tests that
# did nothing wrong. With it off, the leak check does not scan dynamic TLS blocks.
kestrine_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_odr_violation=2:intercept_tls_get_addr=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"
export LSAN_OPTIONS="suppressions=$kestrine_root/tests/sanitizers/lsan.supp:print_suppressions=0"
unset kestrine_root
