# Sourced by the scripts that run sanitizer builds: every report ends the program with a failure.
# Leak reports are on; tests/sanitizers/lsan.supp lists the only leaks let through (system libraries').
# Allocation stacks are unwound the slow way: Qt has no frame pointers, and a leak report that stops
# inside Qt does not say which of our calls made it.
kestrine_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ASAN_OPTIONS="halt_on_error=1:abort_on_error=0:detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:detect_odr_violation=2:fast_unwind_on_malloc=0"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:report_error_type=1"
export LSAN_OPTIONS="suppressions=$kestrine_root/tests/sanitizers/lsan.supp:print_suppressions=0"
unset kestrine_root
